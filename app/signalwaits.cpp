#include "signalwaits.h"

#ifdef _WIN32
#  include <thread>

// Windows has no such signals for a console program to block; the check only waits there.
SignalWaits::SignalWaits() = default;

int SignalWaits::wait(std::chrono::milliseconds duration)
{
    std::this_thread::sleep_for(duration);
    return 0;
}

int SignalWaits::pendingSignal()
{
    return 0;
}
#else
#  include <cerrno>
#  include <csignal>
#  include <ctime>

namespace {

sigset_t stopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

// A signal taken within timeout, or 0.
int takeSignal(const timespec &timeout)
{
    const sigset_t set = stopSignals();
    for (;;) {
        const int signal = sigtimedwait(&set, nullptr, &timeout);
        if (signal > 0)
            return signal;
        if (errno != EINTR)
            return 0;
    }
}

} // namespace

SignalWaits::SignalWaits()
{
    const sigset_t set = stopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int SignalWaits::wait(std::chrono::milliseconds duration)
{
    // The end is fixed up front: a wait woken early by anything but our signals goes back
    // to sleep for what is left, never for the whole duration again.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + duration;
    for (Clock::time_point now = Clock::now(); now < end; now = Clock::now()) {
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(end - now).count();
        const timespec timeout{time_t(left / 1000000000), long(left % 1000000000)};
        if (const int signal = takeSignal(timeout))
            return signal;
    }
    return 0;
}

int SignalWaits::pendingSignal()
{
    return takeSignal(timespec{0, 0});
}
#endif
