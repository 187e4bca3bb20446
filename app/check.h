// crtest --check: the controller opened as start-up opens it, every drawer read, the
// statistics read once, the asked drawers kicked and read back, the controller closed, and
// all of it gathered into a Report. Every step is the controller model's, as in the window;
// only the pace is the check's own, with waits that a signal ends.
#pragma once

#include "report.h"

#include <chrono>

class DrawerDriver;

// The check's waits, and the signals that may end it early. The program's waits block in the
// kernel until the time is up or SIGINT/SIGTERM arrives; tests script both.
class CheckWaits
{
public:
    virtual ~CheckWaits() = default;
    // Waits for duration. Returns the signal that ended the wait early, or 0.
    virtual int wait(std::chrono::milliseconds duration) = 0;
    // Returns a signal that arrived since the last look without waiting, or 0.
    virtual int pendingSignal() = 0;
    // The clock the cycles' times are taken from; tests run it as their waits go by.
    virtual std::chrono::steady_clock::time_point now() { return std::chrono::steady_clock::now(); }
};

struct CheckSetup
{
    DrawerDriver *driver = nullptr; // null when the library could not be bound
    QString bindError;
    QString driverFile;
    bool kickAsked = false;
    QList<int> kicks; // drawer numbers, in the order they are kicked
    qint64 time = 0; // when the check started, seconds since 1970
};

// Runs the check. Once a driver is bound, CloseBexor is its last call, made exactly once on
// every path, a signal included; nothing is called after it.
Report runCheck(const CheckSetup &setup, CheckWaits &waits);
