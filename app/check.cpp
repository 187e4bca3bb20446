#include "check.h"

#include "checkrun.h"

bool CheckRun::readFound(std::chrono::milliseconds interval)
{
    // A signal that came while the library was loading: nothing is opened, only closed.
    if (stopped() || !m_controller.open([this] { return !stopped(); }))
        return false;
    // The retry is a driver call of its own, looked after like any other.
    if ((m_controller.snapshot().openResults.size() > 1 && stopped()) || !m_controller.isOpen())
        return false;
    for (int n = 0; n < DrawerCount; ++n) {
        m_controller.readDrawer(n);
        if (stopped() || paused(interval))
            return false;
    }
    m_controller.readStatistics();
    if (stopped())
        return false;
    // What comes next changes the drawers: what was found stays in the report as it was.
    m_report.found = m_controller.snapshot();
    m_foundKept = true;
    return true;
}

void runOnController(const CheckSetup &setup, CheckWaits &waits, Report &report,
                     const std::function<void(CheckRun &run)> &steps)
{
    Controller controller(setup.driver, setup.bindError, setup.driverFile);
    report.origin = ReportOrigin::Check;
    report.time = setup.time;
    CheckRun run(waits, controller, report);
    // Closed also after a failed open or an unforeseen error, as the window does: the driver
    // may hold half-opened state.
    try {
        if (controller.bound())
            steps(run);
    } catch (...) {
        controller.close();
        throw;
    }
    controller.close();
    if (!run.foundKept())
        report.found = controller.snapshot();
}

Report runCheck(const CheckSetup &setup, CheckWaits &waits)
{
    Report report;
    report.kickAsked = setup.kickAsked;
    runOnController(setup, waits, report, [&](CheckRun &run) {
        if (!run.readFound(Controller::StateReadInterval) || !setup.kickAsked)
            return;
        Controller &controller = run.controller();
        // Released one after another with nothing between, as a till's drawers are.
        for (const int n : setup.kicks) {
            controller.kick(n);
            report.kicks = controller.snapshot().kicks;
            if (run.stopped())
                return;
        }
        if (run.paused(Controller::KickSettleTime))
            return;
        for (const int n : setup.kicks) {
            controller.readDrawer(n);
            report.kicks = controller.snapshot().kicks;
            if (run.stopped() || run.paused(Controller::StateReadInterval))
                return;
        }
        report.statisticsAfterKicks = controller.readStatistics();
        run.stopped();
    });
    return report;
}
