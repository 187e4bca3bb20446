// The driver for cash drawers on a receipt printer's drawer-kick connector: the same five
// functions as the controller's driver, spoken in the printers' command language over the
// printer's device node. Drawer 0 is connector pin 2, drawer 1 pin 5; both share the one
// switch input (pin 3), so status is not per drawer. Steered by BEXOR_PRINTER_* settings,
// read when the printer is opened (see README.md for them and the status codes).
#define BEXOR_BUILDING_DRIVER
#include "apideclarations.h"
#include "driversettings.h"

#include "port.h"
#include "statefile.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

enum Status : int32_t {
    Ok = 0,
    NotOpen = 1,
    CannotOpen = 2,
    InUse = 3,
    NoAnswer = 4,
    NotAStatus = 5,
    BadSetting = 6,
    NoSuchDrawer = 7,
    WriteFailed = 8,
    BadStatisticsRequest = 9,
    CountsDamaged = 10,
    CountsUnwritable = 11,
};

constexpr int32_t NotPresent = -1;
constexpr int32_t PrinterDrawers = 2;
constexpr std::size_t StatisticsLength = 106;

// The printers' command language.
constexpr uint8_t Esc = 0x1B, Dle = 0x10, Eot = 0x04, Gs = 0x1D;
constexpr std::array<uint8_t, 3> StatusRequest{Dle, Eot, 1};
// A status byte has bit 1 and bit 4 set and bits 0 and 7 clear; bit 2 is pin 3's level.
constexpr uint8_t FixedMask = 0x93, FixedBits = 0x12, SwitchBit = 0x04;
// Transmit printer ID: the answer is 0x5F, the text, then a zero byte.
constexpr uint8_t FirmwareId = 65, ModelId = 67, SerialId = 68, IdHeader = 0x5F;
constexpr std::size_t LongestId = 80;
// A printer that does not know an ID request stays silent: it is given this long.
constexpr milliseconds IdPatience{200};

// No call may take longer than this because of the printer, whatever it does: under the
// second promised, with room for a busy machine.
constexpr milliseconds CallLimit{900};
// The switch is read this long after a pulse ends: the drawer springs out as the latch lets
// go, and a read during the pulse would find it still shut.
constexpr milliseconds Settle{20};
// The pulse time is a count of 2 ms in one byte: the longest a pin may have to rest after
// its command, on and off, follows from it.
constexpr milliseconds LongestRest{5 * 255 * 2};

struct Settings {
    std::string device = "/dev/usb/lp0";
    unsigned speed = 0; // a termios speed
    int onUnits = 50; // the pulse's on time in 2 ms
    bool openHigh = true;
    milliseconds timeout{500};
    bool debug = false;

    milliseconds on() const { return milliseconds{2 * onUnits}; }
    // Makers ask for a duty cycle of at most 20 %.
    milliseconds off() const { return 4 * on(); }
};

struct Printer {
    Settings settings;
    Port port; // open while the printer is
    // After a request that went unanswered or was answered with garbage: until when its
    // answer may still come, which must not pass for the next one's.
    Clock::time_point lateUntil{};
    // Earliest time each pin may fire again, for this process.
    std::array<Clock::time_point, PrinterDrawers> nextPulse{};
    // Read once an open: a printer's identity does not change while it is in use.
    std::optional<std::array<std::string, 3>> identity;
};

Printer printer;

using driversettings::setting;

// The reason a call failed, for whoever asked with BEXOR_PRINTER_DEBUG; the driver is quiet
// otherwise. One write a line, so it stays whole among the utility's own output.
void debug(const std::string &what)
{
    if (printer.settings.debug)
        std::fputs(("libbexor: " + what + '\n').c_str(), stderr);
}

std::optional<long long> integer(std::string_view text)
{
    long long value = 0;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || stop != text.data() + text.size())
        return std::nullopt;
    return value;
}

// A setting that cannot be read fails the open, said always: a printer configured other
// than the technician believes would give readings that look right and are not.
bool refuse(const char *name, const char *expected)
{
    std::fputs(("libbexor: " + std::string(name) + '=' + std::getenv(name) + " is not "
                + expected + "; the printer is not opened\n").c_str(),
               stderr);
    return false;
}

bool readSettings(Settings &s)
{
    s = Settings{};
    s.debug = setting("BEXOR_PRINTER_DEBUG").has_value();
    s.speed = *serialSpeed(9600);
    if (const auto device = setting("BEXOR_PRINTER_DEVICE"))
        s.device = std::string(*device);
    if (const auto baud = setting("BEXOR_PRINTER_BAUD")) {
        const auto rate = integer(*baud);
        const auto speed = rate ? serialSpeed(*rate) : std::nullopt;
        if (!speed)
            return refuse("BEXOR_PRINTER_BAUD", "one of 1200, 2400, 4800, 9600, 19200, 38400, "
                                                "57600, 115200");
        s.speed = *speed;
    }
    if (const auto pulse = setting("BEXOR_PRINTER_PULSE_MS")) {
        const auto ms = integer(*pulse);
        if (!ms || *ms < 2 || *ms > 510)
            return refuse("BEXOR_PRINTER_PULSE_MS", "milliseconds from 2 to 510");
        s.onUnits = int((*ms + 1) / 2);
    }
    if (const auto level = setting("BEXOR_PRINTER_OPEN_LEVEL")) {
        if (*level != "high" && *level != "low")
            return refuse("BEXOR_PRINTER_OPEN_LEVEL", "high or low");
        s.openHigh = *level == "high";
    }
    if (const auto timeout = setting("BEXOR_PRINTER_TIMEOUT_MS")) {
        const auto ms = integer(*timeout);
        if (!ms || *ms < 1 || *ms > 1000)
            return refuse("BEXOR_PRINTER_TIMEOUT_MS", "milliseconds from 1 to 1000");
        s.timeout = milliseconds{*ms};
    }
    return true;
}

// Sends a request and returns the first byte of its answer, within the call's deadline.
std::optional<uint8_t> ask(const uint8_t *request, std::size_t length, Clock::time_point deadline,
                           milliseconds patience, const char *what)
{
    // A late answer to an earlier request is waited out, leaving this request its own
    // timeout; then whatever else is waiting goes.
    printer.port.discardUntil(
            std::max(Clock::now(), std::min(printer.lateUntil, deadline - printer.settings.timeout)));
    if (!printer.port.write(request, length, deadline)) {
        debug(std::string(what) + ": the request could not be written in time");
        return std::nullopt;
    }
    const auto sent = Clock::now();
    const auto answer = printer.port.read(std::min(sent + patience, deadline));
    if (!answer) {
        // An answer twice as late as this one was given is taken never to come.
        printer.lateUntil = sent + 2 * patience;
        debug(std::string(what) + ": no answer within " + std::to_string(patience.count())
              + " ms");
    }
    return answer;
}

// The real-time status byte, or nullopt (said why, and failure set) when the printer gives
// none that is one.
std::optional<uint8_t> readStatus(Clock::time_point deadline, int32_t *failure = nullptr)
{
    const auto status = ask(StatusRequest.data(), StatusRequest.size(), deadline,
                            printer.settings.timeout, "status");
    if (failure)
        *failure = status ? NotAStatus : NoAnswer;
    if (!status)
        return std::nullopt;
    if ((*status & FixedMask) != FixedBits) {
        // Whatever follows garbage is no more to be trusted than it.
        printer.lateUntil = Clock::now() + printer.settings.timeout;
        char hex[8];
        std::snprintf(hex, sizeof hex, "%02X", *status);
        debug(std::string("status: the answer ") + hex + " is not a status byte");
        return std::nullopt;
    }
    return status;
}

bool switchOpen(uint8_t status)
{
    return ((status & SwitchBit) != 0) == printer.settings.openHigh;
}

// The text of a transmit-printer-ID answer; empty when the printer does not tell.
std::string identify(uint8_t id, Clock::time_point deadline)
{
    const std::array<uint8_t, 3> request{Gs, 'I', id};
    const auto patience = std::min<milliseconds>(IdPatience, printer.settings.timeout);
    if (ask(request.data(), request.size(), deadline, patience, "printer ID") != IdHeader)
        return {};
    std::string text;
    for (;;) {
        const auto byte = printer.port.read(std::min(Clock::now() + patience, deadline));
        if (!byte || (*byte != 0 && (*byte < 0x20 || *byte > 0x7E)) || text.size() > LongestId) {
            printer.lateUntil = Clock::now() + patience;
            debug("printer ID: the answer is cut short or not text");
            return {};
        }
        if (*byte == 0)
            return text;
        text += char(*byte);
    }
}

void putText(uint8_t *block, std::size_t offset, std::size_t length, const std::string &text)
{
    std::memcpy(block + offset, text.data(), std::min(text.size(), length));
}

void putCount(uint8_t *block, std::size_t offset, uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
        block[offset + i] = uint8_t(value >> (8 * i));
}

int64_t nanoseconds(Clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

// When this pin may fire again: after this process's last pulse on it and after the one the
// file remembers from another. A remembered time further off than any rest can be is from
// before a restart of the clock, and means nothing now.
Clock::time_point mayFire(int pin, const PrinterState &state)
{
    const auto now = Clock::now();
    const Clock::time_point remembered{std::chrono::nanoseconds{state.nextPulse[pin]}};
    return std::max(printer.nextPulse[pin], remembered > now + LongestRest ? now : remembered);
}

} // namespace

int32_t BEXOR_CALL OpenBexor(void)
{
    if (printer.port.isOpen())
        return Ok;
    if (!readSettings(printer.settings))
        return BadSetting;
    std::string why;
    switch (printer.port.open(printer.settings.device, printer.settings.speed, why)) {
    case Port::Opened::Yes:
        break;
    case Port::Opened::InUse:
        debug(why);
        return InUse;
    case Port::Opened::CannotOpen:
        debug(why);
        return CannotOpen;
    }
    // A device node can be there with no printer behind it: only an answer proves one. A
    // late answer to the last open's request is still waited out: it is in the device's
    // queue, which outlives the descriptor.
    int32_t failure = Ok;
    if (!readStatus(Clock::now() + CallLimit, &failure)) {
        printer.port.close();
        return failure;
    }
    printer.identity.reset();
    return Ok;
}

int32_t BEXOR_CALL CloseBexor(void)
{
    if (!printer.port.isOpen())
        return NotOpen;
    printer.port.close();
    return Ok;
}

int32_t BEXOR_CALL DrawerOpen(int32_t drawer)
{
    if (!printer.port.isOpen())
        return NotOpen;
    if (drawer < 0 || drawer >= PrinterDrawers)
        return NoSuchDrawer;
    const Settings &s = printer.settings;
    // A damaged file is left for the technician to see; the drawer still fires.
    const StateFile file(stateFolder(), s.device);
    PrinterState state;
    const StateFile::Load loaded = file.load(state);
    if (loaded == StateFile::Load::Damaged)
        debug(file.path() + " is damaged; the kick is not counted");

    std::this_thread::sleep_until(mayFire(drawer, state));
    // ESC p m t1 t2: m 0 is pin 2, 1 is pin 5; on t1 x 2 ms, off t2 x 2 ms, which cannot
    // exceed 255, so long pulses are spaced by the wait above alone.
    const std::array<uint8_t, 5> kick{Esc, 'p', uint8_t(drawer), uint8_t(s.onUnits),
                                      uint8_t(std::min(4 * s.onUnits, 255))};
    const auto start = Clock::now();
    const bool written = printer.port.write(kick.data(), kick.size(), start + s.timeout);
    // Even a command cut short may have fired the solenoid: it rests either way.
    const auto pulseEnd = Clock::now() + s.on();
    printer.nextPulse[drawer] = pulseEnd + s.off();
    if (!written) {
        debug("kick: the command could not be written in time");
        return WriteFailed;
    }

    // Good when the switch reads open after the pulse. Both drawers share it, so a kick while
    // the other drawer stands open counts as good whatever its own solenoid did.
    std::this_thread::sleep_until(pulseEnd + Settle);
    const auto status = readStatus(start + CallLimit);
    const bool good = status && switchOpen(*status);
    if (loaded == StateFile::Load::Damaged)
        return Ok;
    if (loaded == StateFile::Load::Missing)
        state.installed = today();
    ++(good ? state.good : state.failed);
    state.nextPulse[drawer] = nanoseconds(printer.nextPulse[drawer]);
    if (std::string why; !file.save(state, why))
        debug("the kick is not counted: " + why);
    return Ok;
}

int32_t BEXOR_CALL DrawerState(int32_t drawer)
{
    if (!printer.port.isOpen() || drawer < 0 || drawer >= PrinterDrawers)
        return NotPresent;
    // Any other code reads as closed: a printer that gives no status would pass for a shut
    // drawer. Not present says what is true, that the drawer cannot be reached.
    const auto status = readStatus(Clock::now() + CallLimit);
    if (!status)
        return NotPresent;
    return switchOpen(*status) ? 16 * drawer : 16 * drawer + 1;
}

int32_t BEXOR_CALL RetrieveStatistics(int32_t unit, int32_t selector, uint8_t *buffer,
                                      int32_t length)
{
    if (!printer.port.isOpen())
        return NotOpen;
    if (unit != 0 || selector != 15 || buffer == nullptr
        || length != int32_t(StatisticsLength))
        return BadStatisticsRequest;
    const StateFile file(stateFolder(), printer.settings.device);
    PrinterState state;
    switch (file.load(state)) {
    case StateFile::Load::Read:
        break;
    case StateFile::Load::Damaged:
        debug(file.path() + " is damaged or unreadable; it is left as it is");
        return CountsDamaged;
    case StateFile::Load::Missing:
        // First use: the day it was is the installation date from now on.
        state.installed = today();
        if (std::string why; !file.save(state, why)) {
            debug("the counts cannot be kept: " + why);
            return CountsUnwritable;
        }
    }
    if (!printer.identity) {
        const auto deadline = Clock::now() + CallLimit;
        printer.identity = {identify(FirmwareId, deadline), identify(ModelId, deadline),
                            identify(SerialId, deadline)};
    }
    const auto &[firmware, model, serial] = *printer.identity;

    // Records 1 to 14 at these offsets; those a printer cannot tell stay zero, which the
    // utility shows as empty.
    std::array<uint8_t, StatisticsLength> block{};
    putText(block.data(), 14, 16, model);
    putText(block.data(), 46, 16, serial);
    putText(block.data(), 70, 4, firmware); // mechanical revision: the firmware's first four
    putText(block.data(), 82, 8, state.installed);
    putCount(block.data(), 98, state.good);
    putCount(block.data(), 102, state.failed);
    std::memcpy(buffer, block.data(), block.size());
    return Ok;
}

BEXOR_CHECK_DEFINITIONS();
