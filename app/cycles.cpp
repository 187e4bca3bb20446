#include "cycles.h"

#include "checkrun.h"

#include <algorithm>
#include <ctime>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::duration_cast;

class Cycles
{
public:
    Cycles(const CycleSetup &setup, CheckRun &run, CycleWatcher &watcher)
        : m_setup(setup)
        , m_run(run)
        , m_watcher(watcher)
        , m_results(run.report().cycles)
    {
        m_progress.run = &m_results;
        m_progress.total = qint64(setup.cycles) * m_results.drawers.size();
        m_progress.started = m_lastCall = run.waits().now();
    }

    // Round after round, each drawer in its turn; the statistics once the last has ended.
    void run()
    {
        for (int cycle = 1; cycle <= m_setup.cycles; ++cycle)
            for (DrawerCycles &drawer : m_results.drawers)
                if (!drawer.stopped && !cycleOf(drawer, cycle))
                    return;
        m_results.statisticsAfter = m_run.controller().readStatistics();
        m_run.stopped();
    }

private:
    // One cycle, false once a signal has come.
    bool cycleOf(DrawerCycles &drawer, int cycle)
    {
        m_progress.cycle = cycle;
        m_progress.drawer = drawer.drawer;
        CycleRecord record {drawer.drawer, cycle, 0, std::nullopt, std::nullopt, std::nullopt, {}};
        const auto fault = [&](CycleFault f, bool stops = false) {
            record.faults[int(f)] = true;
            drawer.stopped = drawer.stopped || stops;
            return end(drawer, record);
        };

        // Only a closed drawer is kicked: one left open waits for a person to close it.
        for (const Clock::time_point since = now();;) {
            const auto reading = read(drawer.drawer);
            if (!reading)
                return false;
            if (*reading == DrawerReading::Closed)
                break;
            if (*reading == DrawerReading::NotPresent)
                return fault(CycleFault::NotPresent, true);
            m_progress.openSince = since;
            if (now() - since >= m_setup.closeTimeout)
                return fault(CycleFault::DidNotClose, true);
        }

        record.kickStatus = m_run.controller().kick(drawer.drawer);
        const Clock::time_point kicked = m_lastCall = now();
        record.kickedAt = qint64(std::time(nullptr));
        if (m_run.stopped())
            return false;
        Clock::time_point opened;
        for (;;) {
            const auto reading = read(drawer.drawer);
            if (!reading)
                return false;
            if (*reading == DrawerReading::Open) {
                opened = now();
                record.kickToOpen = duration_cast<Microseconds>(opened - kicked);
                break;
            }
            if (*reading == DrawerReading::NotPresent)
                return fault(CycleFault::NotPresent, true);
            if (now() - kicked >= m_setup.openTimeout)
                return fault(CycleFault::DidNotOpen);
        }

        // Closed means closed on two reads in a row; open again after a closed read is the
        // sensor bouncing, whether the drawer was still open or had just shut.
        m_progress.openSince = opened;
        Clock::time_point closed;
        for (int closedReads = 0; closedReads < 2;) {
            const auto reading = read(drawer.drawer);
            if (!reading)
                return false;
            if (*reading == DrawerReading::NotPresent)
                return fault(CycleFault::NotPresent, true);
            if (*reading == DrawerReading::Closed) {
                if (closedReads++ == 0)
                    closed = now();
                continue;
            }
            record.faults[int(CycleFault::Bounced)]
                = record.faults[int(CycleFault::Bounced)] || closedReads > 0;
            closedReads = 0;
            if (now() - opened >= m_setup.closeTimeout)
                return fault(CycleFault::DidNotClose, true);
        }
        record.openTime = duration_cast<Microseconds>(closed - opened);
        return end(drawer, record);
    }

    // The drawer read once the controller's interval has passed since the last call, or
    // nothing once a signal has come. The run's own work (the tallies, the progress line, a
    // row synced to disk) is done inside the interval, not added to it.
    std::optional<DrawerReading> read(int drawer)
    {
        const auto left = std::max(m_lastCall + m_setup.interval - now(), Clock::duration::zero());
        if (m_run.paused(std::chrono::ceil<std::chrono::milliseconds>(left)))
            return std::nullopt;
        const DrawerReading reading = m_run.controller().readDrawer(drawer).reading;
        m_lastCall = now();
        if (m_run.stopped())
            return std::nullopt;
        m_progress.now = m_lastCall;
        m_watcher.read(m_progress);
        return reading;
    }

    bool end(DrawerCycles &drawer, const CycleRecord &record)
    {
        drawer.add(record);
        if (record.kickToOpen)
            m_results.kickToOpen.add(*record.kickToOpen);
        ++m_progress.done;
        m_progress.opened += record.opened();
        m_progress.failed += record.failed();
        m_progress.openSince.reset();
        // A drawer whose cycles stopped takes its remaining ones out of the run.
        if (drawer.stopped)
            m_progress.total -= m_setup.cycles - record.cycle;
        m_progress.now = now();
        m_watcher.cycleEnded(record, m_progress);
        return true;
    }

    Clock::time_point now() { return m_run.waits().now(); }

    const CycleSetup &m_setup;
    CheckRun &m_run;
    CycleWatcher &m_watcher;
    CycleRun &m_results;
    CycleProgress m_progress;
    Clock::time_point m_lastCall;
};

} // namespace

Report runCycles(const CycleSetup &setup, CheckWaits &waits, CycleWatcher &watcher)
{
    Report report;
    CycleRun &results = report.cycles;
    results.asked = true;
    results.cycles = setup.cycles;
    results.interval = setup.interval;
    results.openTimeout = setup.openTimeout;
    results.closeTimeout = setup.closeTimeout;
    for (const int drawer : setup.check.kicks) {
        results.drawers.append(DrawerCycles());
        results.drawers.last().drawer = drawer;
    }
    runOnController(setup.check, waits, report, [&](CheckRun &run) {
        if (run.readFound(setup.interval))
            Cycles(setup, run, watcher).run();
    });
    return report;
}
