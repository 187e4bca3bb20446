// A driver library that misbehaves on demand. The test that loads it scripts every answer
// through FaultDriverScript and reads back, through FaultDriverLog, every call it received,
// so a fault can be injected behind the real loading path and the window's reaction
// checked call by call. Built once whole and once for each of the five functions with that
// one renamed, so the library lacks it.
#define BEXOR_BUILDING_DRIVER
#include "apideclarations.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Script
{
    // Successive OpenBexor results; the last one repeats.
    std::vector<int32_t> open{0};
    int32_t close = 0;
    int32_t kick = 0;
    // DrawerState of each drawer. A kick answered 0 opens a present drawer, as hardware would.
    std::array<int32_t, 8> state{1, 17, 33, 49, -1, -1, -1, -1};
    int32_t statistics = 0;
    // Written to the caller's buffer as given, whatever length it asked for.
    std::vector<uint8_t> block;
};

Script script;
std::size_t openCalls = 0;
std::string callLog;

void record(const char *format, long a = 0, long b = 0, long c = 0)
{
    char entry[96];
    std::snprintf(entry, sizeof entry, format, a, b, c);
    callLog += entry;
    callLog += '\n';
}

std::vector<int32_t> numbers(const std::string &text)
{
    std::vector<int32_t> values;
    const char *p = text.c_str();
    while (*p) {
        char *end = nullptr;
        const long long value = std::strtoll(p, &end, 10);
        if (end == p)
            break;
        values.push_back(static_cast<int32_t>(value));
        p = *end == ',' ? end + 1 : end;
    }
    return values;
}

std::vector<uint8_t> hexBytes(const std::string &text)
{
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
    return bytes;
}

// "key=value;key=value": open=5,0  close=-1  kick=3  state=v0,...,v7  stat=7  bytes=<hex>.
// Keys left out keep the answers of a healthy controller.
Script parse(const char *text)
{
    Script parsed;
    std::string rest = text ? text : "";
    while (!rest.empty()) {
        const std::size_t semicolon = rest.find(';');
        const std::string item = rest.substr(0, semicolon);
        rest = semicolon == std::string::npos ? std::string() : rest.substr(semicolon + 1);
        const std::size_t eq = item.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = item.substr(0, eq);
        const std::string value = item.substr(eq + 1);
        const std::vector<int32_t> values
                = key == "bytes" ? std::vector<int32_t>() : numbers(value);
        if (key == "open" && !values.empty())
            parsed.open = values;
        else if (key == "close" && !values.empty())
            parsed.close = values.front();
        else if (key == "kick" && !values.empty())
            parsed.kick = values.front();
        else if (key == "stat" && !values.empty())
            parsed.statistics = values.front();
        else if (key == "state")
            for (std::size_t n = 0; n < values.size() && n < parsed.state.size(); ++n)
                parsed.state[n] = values[n];
        else if (key == "bytes")
            parsed.block = hexBytes(value);
    }
    return parsed;
}

} // namespace

extern "C" {

// Replaces the answers; the calls recorded so far are kept.
BEXOR_EXPORT void FaultDriverScript(const char *text) { script = parse(text); }

// Forgets the calls and the answers, as a freshly loaded library would.
BEXOR_EXPORT void FaultDriverReset(void)
{
    script = Script();
    openCalls = 0;
    callLog.clear();
}

// One line per call received, in order; valid until the next call into the library.
BEXOR_EXPORT const char *FaultDriverLog(void) { return callLog.c_str(); }

BEXOR_EXPORT int32_t BEXOR_CALL OpenBexor(void)
{
    record("OpenBexor");
    const std::size_t n = openCalls++;
    return script.open[n < script.open.size() ? n : script.open.size() - 1];
}

BEXOR_EXPORT int32_t BEXOR_CALL CloseBexor(void)
{
    record("CloseBexor");
    return script.close;
}

BEXOR_EXPORT int32_t BEXOR_CALL DrawerOpen(int32_t drawer)
{
    record("DrawerOpen(%ld)", drawer);
    if (script.kick == 0 && drawer >= 0 && drawer < 8 && script.state[drawer] != -1)
        script.state[drawer] = 16 * drawer;
    return script.kick;
}

BEXOR_EXPORT int32_t BEXOR_CALL DrawerState(int32_t drawer)
{
    record("DrawerState(%ld)", drawer);
    return drawer >= 0 && drawer < 8 ? script.state[drawer] : -1;
}

BEXOR_EXPORT int32_t BEXOR_CALL RetrieveStatistics(
        int16_t unit, int32_t selector, uint8_t *buffer, int16_t length)
{
    record("RetrieveStatistics(%ld,%ld,%ld)", unit, selector, length);
    if (buffer && !script.block.empty())
        std::memcpy(buffer, script.block.data(), script.block.size());
    return script.statistics;
}

} // extern "C"
