// A stand-in for the controller's driver library, so the utility can be run and tested
// with no drawer on the bench. It keeps a small model of the controller in memory and is
// steered by BEXOR_SIM_* environment variables, read whenever the controller is opened
// (see README.md for the settings and the status codes).
#define BEXOR_BUILDING_DRIVER
#include "apideclarations.h"
#include "driversettings.h"

#include <array>
#include <charconv>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace {

using Clock = std::chrono::steady_clock;

// The README lists these values; the utility shows them to the technician as they are.
enum Status : int32_t {
    Ok = 0,
    NotOpen = 1,
    NoController = 2,
    NoSuchSlot = 3,
    DrawerAbsent = 4,
    BadStatisticsRequest = 5,
};

constexpr int32_t SlotCount = 8;
constexpr int32_t AbsentState = -1;
constexpr int32_t StatisticsUnit = 0;
constexpr int32_t StatisticsSelector = 15;
constexpr std::size_t StatisticsLength = 106;
constexpr std::chrono::milliseconds DefaultOpenTime{3000};

struct Drawer {
    bool present = false;
    bool kicked = false;
    Clock::time_point kickedAt;
    // Faults of its own: a sensor that bounces once each time the drawer springs open, and a
    // solenoid that never fires.
    bool bounces = false;
    bool dead = false;
    // Reads since it last sprang open; a bouncing sensor reads closed on the second.
    int readsOpen = 0;
};

// Not guarded: the utility, the check and the tests each call the driver from one thread.
struct Controller {
    bool open = false;
    // BEXOR_SIM_OPEN_FAIL=once must fail a single open per process, not one per open.
    bool openFailureSpent = false;
    std::array<Drawer, SlotCount> drawers;
    std::chrono::milliseconds openTime = DefaultOpenTime;
    // A kicked drawer reads closed this long before it reads open.
    std::chrono::milliseconds openLatency{0};
    // Every n-th good opening since the open goes uncounted; 0 counts them all.
    int64_t countSkip = 0;
    int64_t goodKicks = 0;
    int32_t kickFailure = Ok;
    int32_t statisticsFailure = Ok;
    // The counters belong to the controller, not to a session: they survive a close and
    // reopen, and start where a drawer that has seen some use would be.
    uint32_t goodOpens = 1200;
    uint32_t failedOpens = 3;
};

Controller sim;

using driversettings::setting;
using driversettings::trimmed;

// A mistyped setting would otherwise look like a simulator that does not listen: say
// which one was dropped and what happens instead. One write per line, so that the line
// stays whole among the utility's own messages.
void reportIgnored(const char *name, std::string_view why)
{
    std::string line = name;
    line += '=';
    line += std::getenv(name);
    line += " ignored: ";
    line += why;
    line += '\n';
    std::fputs(line.c_str(), stderr);
}

std::optional<int64_t> integer(std::string_view text)
{
    int64_t value = 0;
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc{} || stop != end)
        return std::nullopt;
    return value;
}

// A comma separated list of slots, or "none". Anything unreadable keeps the default
// rather than a half-applied list, which would be harder to notice.
std::array<bool, SlotCount> slotList(const char *name, std::array<bool, SlotCount> fallback,
                                     std::string_view fallbackMeaning)
{
    auto text = setting(name);
    if (!text)
        return fallback;
    std::array<bool, SlotCount> listed{};
    if (*text == "none")
        return listed;
    for (std::string_view rest = *text;;) {
        const auto comma = rest.find(',');
        const auto slot = integer(trimmed(rest.substr(0, comma)));
        if (!slot || *slot < 0 || *slot >= SlotCount) {
            reportIgnored(name, "not slot numbers 0 to 7 separated by commas, nor none; "
                                        + std::string(fallbackMeaning));
            return fallback;
        }
        listed[static_cast<std::size_t>(*slot)] = true;
        if (comma == std::string_view::npos)
            return listed;
        rest.remove_prefix(comma + 1);
    }
}

// A number from 0 to 2147483647 (what says of what); nothing when unset or unreadable.
std::optional<int64_t> number(const char *name, std::string_view what,
                              std::string_view fallbackMeaning)
{
    const auto text = setting(name);
    if (!text)
        return std::nullopt;
    const auto value = integer(*text);
    if (!value || *value < 0 || *value > INT32_MAX) {
        reportIgnored(name, "not " + std::string(what) + " from 0 to 2147483647; "
                                    + std::string(fallbackMeaning));
        return std::nullopt;
    }
    return *value;
}

// The status an injected failure returns; 0 (no failure) when unset or unreadable.
int32_t injectedFailure(const char *name)
{
    const auto text = setting(name);
    if (!text)
        return Ok;
    const auto status = integer(*text);
    if (!status || *status < INT32_MIN || *status > INT32_MAX) {
        reportIgnored(name, "not a status from -2147483648 to 2147483647; no failure is injected");
        return Ok;
    }
    return static_cast<int32_t>(*status);
}

enum class OpenFailure { Never, Once, Always };

// Spelt exactly as documented: "Always" is reported, not guessed at.
OpenFailure openFailure()
{
    const auto text = setting("BEXOR_SIM_OPEN_FAIL");
    if (!text)
        return OpenFailure::Never;
    if (*text == "always")
        return OpenFailure::Always;
    if (*text == "once")
        return OpenFailure::Once;
    reportIgnored("BEXOR_SIM_OPEN_FAIL", "neither once nor always; the controller opens");
    return OpenFailure::Never;
}

bool validSlot(int32_t drawer)
{
    return drawer >= 0 && drawer < SlotCount;
}

// Text records are zero padded; a text as long as its record has no terminator.
void putText(uint8_t *block, std::size_t offset, std::size_t length, std::string_view text)
{
    std::memcpy(block + offset, text.data(), text.size() < length ? text.size() : length);
}

void putCount(uint8_t *block, std::size_t offset, uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
        block[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

} // namespace

int32_t BEXOR_CALL OpenBexor(void)
{
    if (sim.open)
        return Ok;
    const auto failure = openFailure();
    if (failure == OpenFailure::Always)
        return NoController;
    if (failure == OpenFailure::Once && !sim.openFailureSpent) {
        sim.openFailureSpent = true;
        return NoController;
    }
    const auto present = slotList("BEXOR_SIM_PRESENT", {true, true, true, true},
                                  "drawers 0 to 3 are present");
    const auto bouncing = slotList("BEXOR_SIM_BOUNCE", {}, "no sensor bounces");
    const auto dead = slotList("BEXOR_SIM_DEAD", {}, "every solenoid fires");
    for (std::size_t slot = 0; slot < SlotCount; ++slot)
        sim.drawers[slot] = Drawer{present[slot], false, {}, bouncing[slot], dead[slot], 0};
    sim.openTime = std::chrono::milliseconds{
            number("BEXOR_SIM_OPEN_MS", "milliseconds", "a kicked drawer stays open 3000 ms")
                    .value_or(DefaultOpenTime.count())};
    sim.openLatency = std::chrono::milliseconds{
            number("BEXOR_SIM_OPEN_LATENCY_MS", "milliseconds", "a kicked drawer opens at once")
                    .value_or(0)};
    sim.countSkip = number("BEXOR_SIM_COUNT_SKIP", "a count", "every good opening is counted")
                            .value_or(0);
    sim.goodKicks = 0;
    sim.kickFailure = injectedFailure("BEXOR_SIM_KICK_FAIL");
    sim.statisticsFailure = injectedFailure("BEXOR_SIM_STATS_FAIL");
    sim.open = true;
    return Ok;
}

int32_t BEXOR_CALL CloseBexor(void)
{
    if (!sim.open)
        return NotOpen;
    sim.open = false;
    return Ok;
}

int32_t BEXOR_CALL DrawerOpen(int32_t drawer)
{
    if (!sim.open)
        return NotOpen;
    if (!validSlot(drawer))
        return NoSuchSlot;
    Drawer &slot = sim.drawers[static_cast<std::size_t>(drawer)];
    // The controller fires the solenoid before it can tell that nothing moved, so both
    // an empty slot and a jammed kick count as failed opens.
    if (!slot.present) {
        ++sim.failedOpens;
        return DrawerAbsent;
    }
    if (sim.kickFailure != Ok) {
        ++sim.failedOpens;
        return sim.kickFailure;
    }
    // A dead solenoid: the controller believes it fired, and nothing moves or is counted.
    if (slot.dead)
        return Ok;
    slot.kicked = true;
    slot.kickedAt = Clock::now();
    slot.readsOpen = 0;
    if (sim.countSkip == 0 || ++sim.goodKicks % sim.countSkip != 0)
        ++sim.goodOpens;
    return Ok;
}

int32_t BEXOR_CALL DrawerState(int32_t drawer)
{
    if (!sim.open || !validSlot(drawer))
        return AbsentState;
    Drawer &slot = sim.drawers[static_cast<std::size_t>(drawer)];
    if (!slot.present)
        return AbsentState;
    // No timer thread: a kicked drawer is simply pushed shut once its open time has
    // passed by the time anyone looks.
    if (slot.kicked) {
        const auto since = Clock::now() - slot.kickedAt;
        if (since < sim.openLatency)
            return 16 * drawer + 1;
        if (since < sim.openLatency + sim.openTime)
            return slot.bounces && ++slot.readsOpen == 2 ? 16 * drawer + 1 : 16 * drawer;
    }
    slot.kicked = false;
    // Any code but 16 * drawer and -1 reads as closed; 0 would be drawer 0's open code.
    return 16 * drawer + 1;
}

int32_t BEXOR_CALL RetrieveStatistics(int32_t unit, int32_t selector, uint8_t *buffer,
                                      int32_t length)
{
    if (!sim.open)
        return NotOpen;
    if (unit != StatisticsUnit || selector != StatisticsSelector || buffer == nullptr
        || length != static_cast<int32_t>(StatisticsLength))
        return BadStatisticsRequest;
    if (sim.statisticsFailure != Ok)
        return sim.statisticsFailure;

    // Built aside and copied in one go, so the caller's buffer is written exactly once
    // and never beyond the block.
    std::array<uint8_t, StatisticsLength> block{};
    // Records the utility does not show carry harmless content: texts that say where they
    // come from, zero counters (records at 74, 78, 90 and 94 stay zero).
    putText(block.data(), 0, 4, "SIM");
    putText(block.data(), 4, 10, "SIMULATED");
    putText(block.data(), 14, 16, "SIMULATED");
    putText(block.data(), 30, 16, "SIMULATED");
    putText(block.data(), 46, 16, "SIMULATED-0001"); // serial number
    putText(block.data(), 62, 8, "20240115");        // manufacture date
    putText(block.data(), 70, 4, "R2.0");            // mechanical revision
    putText(block.data(), 82, 8, "20240301");        // installation date
    putCount(block.data(), 98, sim.goodOpens);
    putCount(block.data(), 102, sim.failedOpens);
    std::memcpy(buffer, block.data(), block.size());
    return Ok;
}

BEXOR_CHECK_DEFINITIONS();
