// The printer's device node, a USB printer (/dev/usb/lp0) or a serial port (/dev/ttyUSB0).
// Nothing here ever blocks past the deadline it is given: a printer that is switched off or
// unplugged makes a call fail in time instead of hanging the window.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

using Clock = std::chrono::steady_clock;

class Port
{
public:
    enum class Opened { Yes, CannotOpen, InUse };

    Port() = default;
    Port(const Port &) = delete;
    Port &operator=(const Port &) = delete;
    ~Port() { close(); }

    // A serial port is set to raw 8N1 at baud; another device is left as it is. why says
    // what went wrong.
    Opened open(const std::string &path, unsigned baud, std::string &why);
    void close();
    bool isOpen() const { return m_fd >= 0; }

    // All of it by the deadline, or false.
    bool write(const uint8_t *bytes, std::size_t count, Clock::time_point deadline);
    // The next byte, if one comes by the deadline.
    std::optional<uint8_t> read(Clock::time_point deadline);
    // Throws away whatever is waiting and whatever comes until then.
    void discardUntil(Clock::time_point until);

private:
    int m_fd = -1;
};

// The termios speed for a rate in bits per second; nullopt for a rate a port cannot take.
std::optional<unsigned> serialSpeed(long long bitsPerSecond);
