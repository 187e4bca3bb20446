// The Windows driver binding and help launcher, linked as the program links them and run
// under Wine by check.sh, one case per process: a library once loaded stays mapped, so a
// second case in the same process would find it already there.
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

int passes = 0;
int failures = 0;

void expect(bool good, const std::string &what)
{
    std::printf("%s - %s\n", good ? "ok" : "FAIL", what.c_str());
    ++(good ? passes : failures);
}

template <typename T>
void expectEqual(const T &actual, const T &expected, const std::string &what)
{
    if constexpr (std::is_integral_v<T>)
        expect(actual == expected,
               what + ": " + std::to_string(actual) + ", expected " + std::to_string(expected));
    else
        expect(actual == expected, what + ": \"" + actual + "\", expected \"" + expected + "\"");
}

std::string utf8(const wchar_t *text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    return result;
}

// The file the process mapped as bexor.dll, empty when none is mapped.
std::string mappedDriver()
{
    HMODULE module = GetModuleHandleW(L"bexor.dll");
    wchar_t path[MAX_PATH] = L"";
    if (module)
        GetModuleFileNameW(module, path, MAX_PATH);
    return utf8(path);
}

uint32_t countAt(const uint8_t *block, int offset)
{
    return uint32_t(block[offset]) | uint32_t(block[offset + 1]) << 8
            | uint32_t(block[offset + 2]) << 16 | uint32_t(block[offset + 3]) << 24;
}

// The simulated controller with its default settings, apart from BEXOR_SIM_OPEN_MS, which
// check.sh sets long enough that a kicked drawer is still open when it is read back.
void bound(const std::string &file)
{
    DriverFunctions driver;
    std::string error;
    const bool loaded = loadDriver("bexor.dll", &driver, &error);
    expect(loaded, "bexor.dll is bound" + (loaded ? std::string() : ": " + error));
    if (!loaded)
        return;
    const std::string mapped = mappedDriver();
    expect(_stricmp(mapped.c_str(), file.c_str()) == 0, "loaded from " + mapped + ", expected " + file);

    expectEqual(driver.OpenBexor(), 0, "OpenBexor");
    const struct
    {
        int32_t drawer, state;
    } before[] = {{0, 1}, {3, 49}, {4, -1}, {7, -1}, {8, -1}};
    for (const auto &[drawer, state] : before)
        expectEqual(driver.DrawerState(drawer), state, "DrawerState(" + std::to_string(drawer) + ")");
    const struct
    {
        int32_t drawer, status;
    } kicks[] = {{2, 0}, {5, 4}, {8, 3}, {-1, 3}};
    for (const auto &[drawer, status] : kicks)
        expectEqual(driver.DrawerOpen(drawer), status, "DrawerOpen(" + std::to_string(drawer) + ")");
    expectEqual(driver.DrawerState(2), 32, "DrawerState(2) after its kick");

    // 106 bytes and a guard that shows an overrun.
    uint8_t block[107];
    std::memset(block, 0xAA, sizeof block);
    expectEqual(driver.RetrieveStatistics(0, 15, block, 106), 0, "RetrieveStatistics(0, 15, 106)");
    expectEqual(std::string(reinterpret_cast<char *>(block + 46)), std::string("SIMULATED-0001"),
                "serial number");
    expectEqual(std::string(reinterpret_cast<char *>(block + 62), 8), std::string("20240115"),
                "manufacture date");
    expectEqual(countAt(block, 98), 1201u, "good opens after one kick");
    expectEqual(countAt(block, 102), 4u, "failed opens after one absent drawer");
    expectEqual(int(block[106]), 0xAA, "byte after the block");
    // The driver sees all 32 bits: none of these is unit 0, selector 15, length 106.
    const struct
    {
        int32_t unit, selector, length;
    } refused[] = {{0, 15, 105}, {0, 15, 106 + 65536}, {65536, 15, 106}, {1, 15, 106}, {0, 14, 106}};
    for (const auto &[unit, selector, length] : refused) {
        std::memset(block, 0xAA, sizeof block);
        expectEqual(driver.RetrieveStatistics(unit, selector, block, length), 5,
                    "RetrieveStatistics(" + std::to_string(unit) + ", " + std::to_string(selector)
                            + ", " + std::to_string(length) + ")");
        expectEqual(int(block[0]), 0xAA, "nothing written for a refused request");
    }

    expectEqual(driver.CloseBexor(), 0, "CloseBexor");
    expectEqual(driver.CloseBexor(), 1, "CloseBexor again");
    expectEqual(driver.DrawerState(0), -1, "DrawerState(0) once closed");
}

void refused(const std::string &reason)
{
    DriverFunctions driver;
    std::string error;
    const bool loaded = loadDriver("bexor.dll", &driver, &error);
    expect(!loaded, "bexor.dll is refused");
    expect(error.rfind(reason, 0) == 0 && error.size() > reason.size(),
           "reason \"" + error + "\" begins with \"" + reason + "\" and goes on");
    expect(!driver.OpenBexor && !driver.CloseBexor && !driver.DrawerOpen && !driver.DrawerState
                   && !driver.RetrieveStatistics,
           "no driver function handed out");
    // A library refused for a missing function stays mapped; the fault driver notes every
    // call it received.
    HMODULE module = GetModuleHandleW(L"bexor.dll");
    auto *script = module
            ? reinterpret_cast<FaultScript *>(GetProcAddress(module, "faultScript"))
            : nullptr;
    if (script)
        expectEqual(script->calls, std::string(), "calls the refused driver received");
}

bool fileExists(const wchar_t *name)
{
    return GetFileAttributesW(name) != INVALID_FILE_ATTRIBUTES;
}

void help()
{
    DeleteFileW(L"help-record.txt");
    // The stand-in editor writes its record only once this is set, or after 15 s.
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, L"crtest-help-release");
    std::string command;
    const bool started = startHelpEditor(&command);
    expect(started, "the editor is started");
    expectEqual(command, std::string("NOTEPAD.EXE Readme.Txt"), "command line reported");
    expect(!fileExists(L"help-record.txt"), "the launcher returns while the editor runs");
    SetEvent(release);

    std::string record;
    for (const ULONGLONG deadline = GetTickCount64() + 20000; GetTickCount64() < deadline;) {
        if (FILE *file = _wfopen(L"help-record.txt", L"rb")) {
            char text[512] = "";
            record.assign(text, std::fread(text, 1, sizeof text, file));
            std::fclose(file);
            break;
        }
        Sleep(20);
    }
    expectEqual(record, std::string("command NOTEPAD.EXE Readme.Txt\nshow 4\nreleased\n"),
                "what the editor was given");
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
    std::printf("%d passed, %d failed\n", passes, failures);
    return failures == 0 ? 0 : 1;
}
