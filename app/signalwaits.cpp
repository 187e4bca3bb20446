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
#  include <algorithm>
#  include <cerrno>
#  include <csignal>
#  include <ctime>

namespace {

using Clock = std::chrono::steady_clock;

sigset_t stopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

// A signal taken before end, or 0. Another signal's handler ends sigtimedwait early (EINTR):
// it goes back to sleep for what is left until end, never for the whole time again, so a
// stream of such signals cannot stretch the wait.
int takeSignal(Clock::time_point end)
{
    const sigset_t set = stopSignals();
    for (;;) {
        const long long left = std::max(std::chrono::nanoseconds(end - Clock::now()),
                                        std::chrono::nanoseconds::zero())
                                   .count();
        const timespec timeout {time_t(left / 1000000000), long(left % 1000000000)};
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
    return takeSignal(Clock::now() + duration);
}

int SignalWaits::pendingSignal()
{
    return takeSignal(Clock::now());
}
#endif
