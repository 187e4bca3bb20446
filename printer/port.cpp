#include "port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// poll() on one descriptor until the deadline; a signal does not cut the wait short.
bool ready(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd entry{fd, events, 0};
        const int n = ::poll(&entry, 1, int(std::max<long long>(0, left.count())));
        if (n > 0)
            return (entry.revents & events) != 0;
        if (n == 0 || errno != EINTR)
            return false;
    }
}

} // namespace

std::optional<unsigned> serialSpeed(long long bitsPerSecond)
{
    switch (bitsPerSecond) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return std::nullopt;
    }
}

Port::Opened Port::open(const std::string &path, unsigned baud, std::string &why)
{
    close();
    // Non-blocking, so that an open or a write never waits on the device, and no
    // controlling terminal, so that a serial port's hang-up never signals the utility.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = path + ": " + std::strerror(errno);
        return Opened::CannotOpen;
    }
    // Two programs on one printer would read each other's answers and break each other's
    // pulse spacing: the second is refused.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        why = path + " is in use by another program";
        ::close(fd);
        return Opened::InUse;
    }
    termios mode{};
    if (::isatty(fd) && ::tcgetattr(fd, &mode) == 0) {
        // Raw: no byte of a command may be translated (a pulse time of 10 is a line feed),
        // nor an answer held back for a line end.
        ::cfmakeraw(&mode);
        mode.c_cflag &= ~tcflag_t(CSTOPB | PARENB | CRTSCTS);
        mode.c_cflag |= CS8 | CLOCAL | CREAD;
        mode.c_cc[VMIN] = 0;
        mode.c_cc[VTIME] = 0;
        ::cfsetispeed(&mode, speed_t(baud));
        ::cfsetospeed(&mode, speed_t(baud));
        if (::tcsetattr(fd, TCSANOW, &mode) != 0) {
            why = path + ": cannot be set to raw 8N1: " + std::strerror(errno);
            ::close(fd);
            return Opened::CannotOpen;
        }
        ::tcflush(fd, TCIOFLUSH);
    }
    m_fd = fd;
    return Opened::Yes;
}

void Port::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool Port::write(const uint8_t *bytes, std::size_t count, Clock::time_point deadline)
{
    while (count > 0) {
        const ssize_t n = ::write(m_fd, bytes, count);
        if (n > 0) {
            bytes += n;
            count -= std::size_t(n);
        } else if ((n < 0 && errno != EAGAIN && errno != EINTR) || Clock::now() >= deadline
                   || !ready(m_fd, POLLOUT, deadline)) {
            return false;
        }
    }
    return true;
}

std::optional<uint8_t> Port::read(Clock::time_point deadline)
{
    for (;;) {
        uint8_t byte = 0;
        const ssize_t n = ::read(m_fd, &byte, 1);
        if (n == 1)
            return byte;
        // 0 is end of file on a USB printer with nothing to say yet; wait as for EAGAIN.
        if ((n < 0 && errno != EAGAIN && errno != EINTR) || Clock::now() >= deadline
            || !ready(m_fd, POLLIN, deadline))
            return std::nullopt;
    }
}

void Port::discardUntil(Clock::time_point until)
{
    // A device that never stops sending is given a few milliseconds, not the call's time:
    // the answer read after it will tell that the line is not quiet.
    const auto stop = std::max(until, Clock::now() + std::chrono::milliseconds(5));
    uint8_t junk[64];
    while (Clock::now() < stop) {
        if (::read(m_fd, junk, sizeof junk) <= 0 && (Clock::now() >= until || !ready(m_fd, POLLIN, until)))
            return;
    }
}
