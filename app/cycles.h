// crtest --check --kick LIST --cycles N: the check, then each listed drawer kicked and read
// until it opens and closes again, N times over, in turns, with what it took and what went
// wrong. Every step is the controller model's, as in the check and the window; only the pace
// is the run's own: a read every interval, and the timeouts.
#pragma once

#include "check.h"

#include <chrono>

struct CycleSetup
{
    CheckSetup check; // its kicks are the drawers to cycle, in their order
    int cycles = 1;
    std::chrono::milliseconds interval = Controller::StateReadInterval;
    std::chrono::milliseconds openTimeout {2000};
    std::chrono::milliseconds closeTimeout {60000};
};

// Where the run stands, for whoever shows it.
struct CycleProgress
{
    const CycleRun *run = nullptr;
    int cycle = 0, drawer = 0; // under way
    // Cycles of every drawer, ended and still to come: a billion each of eight drawers
    // outgrows an int.
    qint64 done = 0, total = 0;
    qint64 opened = 0, failed = 0; // so far
    std::chrono::steady_clock::time_point now, started;
    // While the drawer under way is open and a person may have to close it: since when.
    std::optional<std::chrono::steady_clock::time_point> openSince;
};

// Told of every read and every cycle's end, in the run's own thread: keeps the progress line,
// the bell and the CSV file. Whatever it does adds to every read, so it is kept cheap.
class CycleWatcher
{
public:
    virtual ~CycleWatcher() = default;
    virtual void read(const CycleProgress &progress) = 0;
    virtual void cycleEnded(const CycleRecord &record, const CycleProgress &progress) = 0;
};

// Runs the check and the cycles. Once a driver is bound, CloseBexor is its last call, made
// exactly once on every path; a signal ends the run at its next read, and the cycle under way
// is left out of the report.
Report runCycles(const CycleSetup &setup, CheckWaits &waits, CycleWatcher &watcher);
