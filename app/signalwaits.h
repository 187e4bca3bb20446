// The program's waits during a check. SIGINT and SIGTERM are blocked from the start, so no
// handler ever runs while a driver call is under way; each wait takes them from the kernel
// instead (sigtimedwait), and the check looks for one after every driver call. The check
// then closes the controller and ends in its own time.
#pragma once

#include "check.h"

class SignalWaits final : public CheckWaits
{
public:
    // Blocks SIGINT and SIGTERM for the calling thread and every thread it starts later:
    // made before any other thread exists, so that no thread is left to take them.
    SignalWaits();

    int wait(std::chrono::milliseconds duration) override;
    int pendingSignal() override;
};
