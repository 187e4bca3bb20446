// The Windows driver binding and help launcher, linked as the program links them and run
// under Wine by check.sh, one case per process: a library once loaded stays mapped, so a
// second case in the same process would find it already there. What the simulator answers
// is proven on Linux; here, that each function is bound and reached with its arguments whole.
//
//   windows_check bound <file>       bexor.dll is found as <file> and answers as the simulator
//   windows_check refused <reason>   binding fails with a reason that begins with <reason>,
//                                    before any driver function was called
//   windows_check help               the help launcher starts the editor without waiting
#include "driverloader.h"
#include "faultscript.h"
#include "helplauncher.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>

// The statistics unit and length reach the driver as 32-bit values.
static_assert(std::is_same_v<RetrieveStatisticsFn,
                             int32_t(BEXOR_CALL *)(int32_t, int32_t, uint8_t *, int32_t)>);

namespace {

int failures = 0;

void expect(bool good, const std::string &what)
{
    std::printf("%s - %s\n", good ? "ok" : "FAIL", what.c_str());
    failures += !good;
}

void expectEqual(const std::string &what, const std::string &got, const std::string &expected)
{
    expect(got == expected, what + ": \"" + got + "\", expected \"" + expected + "\"");
}

// The simulated controller with its default settings, apart from BEXOR_SIM_OPEN_MS, which
// check.sh sets long enough that a kicked drawer is still open when it is read back.
void bound(const std::string &file)
{
    DriverFunctions driver;
    std::string error;
    if (!loadDriver("bexor.dll", &driver, &error))
        return expect(false, "bexor.dll is bound: " + error);
    char mapped[MAX_PATH] = "";
    GetModuleFileNameA(GetModuleHandleW(L"bexor.dll"), mapped, MAX_PATH);
    expect(_stricmp(mapped, file.c_str()) == 0,
           std::string("loaded from ") + mapped + ", expected " + file);

    std::string got = std::to_string(driver.OpenBexor());
    const auto note = [&got](int64_t value) { got += ' ' + std::to_string(value); };
    note(driver.DrawerState(3)), note(driver.DrawerState(4));
    note(driver.DrawerOpen(2)), note(driver.DrawerOpen(5)), note(driver.DrawerOpen(8));
    note(driver.DrawerState(2));
    // 106 bytes and a guard that shows an overrun.
    uint8_t block[107];
    uint32_t counts[2];
    std::memset(block, 0xAA, sizeof block);
    note(driver.RetrieveStatistics(0, 15, block, 106));
    std::memcpy(counts, block + 98, sizeof counts);
    got += ' ' + std::string(reinterpret_cast<char *>(block + 46));
    note(counts[0]), note(counts[1]), note(block[106]);
    // Neither is unit 0 and length 106 once the driver sees all 32 bits.
    std::memset(block, 0xAA, sizeof block);
    note(driver.RetrieveStatistics(0, 15, block, 106 + 65536));
    note(driver.RetrieveStatistics(65536, 15, block, 106)), note(block[0]);
    note(driver.CloseBexor()), note(driver.CloseBexor()), note(driver.DrawerState(0));
    expectEqual("OpenBexor; DrawerState 3, 4; DrawerOpen 2, 5, 8; DrawerState 2; "
                "RetrieveStatistics: status, serial number, good and failed opens, the guard; "
                "refused with length 106 + 65536, with unit 65536, the first byte; "
                "CloseBexor twice; DrawerState 0",
                got, "0 49 -1 0 4 3 32 0 SIMULATED-0001 1201 4 170 5 5 170 0 1 -1");
}

void refused(const std::string &reason)
{
    DriverFunctions driver;
    std::string error;
    expect(!loadDriver("bexor.dll", &driver, &error), "bexor.dll is refused");
    expect(error.rfind(reason, 0) == 0 && error.size() > reason.size(),
           "reason \"" + error + "\" begins with \"" + reason + "\" and goes on");
    expect(!driver.OpenBexor && !driver.CloseBexor && !driver.DrawerOpen && !driver.DrawerState
               && !driver.RetrieveStatistics,
           "no driver function handed out");
    // A library refused for a missing function stays mapped; the fault driver notes every
    // call it received.
    const HMODULE module = GetModuleHandleW(L"bexor.dll");
    if (auto *script = reinterpret_cast<FaultScript *>(
                module ? GetProcAddress(module, "faultScript") : nullptr))
        expectEqual("calls the refused driver received", script->calls, "");
}

void help()
{
    DeleteFileW(L"help-record.txt");
    // The stand-in editor writes its record only once this is set, or after 15 s.
    const HANDLE release = CreateEventW(nullptr, TRUE, FALSE, L"crtest-help-release");
    std::string command;
    expect(startHelpEditor(&command), "the editor is started");
    expectEqual("command line reported", command, "NOTEPAD.EXE Readme.Txt");
    expect(GetFileAttributesW(L"help-record.txt") == INVALID_FILE_ATTRIBUTES,
           "the launcher returns while the editor runs");
    SetEvent(release);
    char record[512] = "";
    for (const ULONGLONG end = GetTickCount64() + 20000; GetTickCount64() < end; Sleep(20))
        if (FILE *file = _wfopen(L"help-record.txt", L"rb")) {
            std::fread(record, 1, sizeof record - 1, file);
            std::fclose(file);
            break;
        }
    expectEqual("what the editor was given", record,
                "command NOTEPAD.EXE Readme.Txt\nshow 4\nreleased\n");
    CloseHandle(release);
}

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "bound" && argc == 3)
        bound(argv[2]);
    else if (mode == "refused" && argc == 3)
        refused(argv[2]);
    else if (mode == "help" && argc == 2)
        help();
    else {
        std::fprintf(stderr, "usage: windows_check bound FILE | refused REASON | help\n");
        return 2;
    }
    return failures == 0 ? 0 : 1;
}
