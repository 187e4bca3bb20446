#include "check.h"

#include "controller.h"

namespace {

class Check
{
public:
    Check(const CheckSetup &setup, CheckWaits &waits, Controller &controller, Report &report)
        : m_setup(setup), m_waits(waits), m_controller(controller), m_report(report)
    {
    }

    // Gathers what it can; returns early once a signal has arrived or the controller is shut.
    // What was found before the kicks stays in the report as it was then.
    void gather()
    {
        // A signal that came while the library was loading: nothing is opened, only closed.
        if (stopped() || !m_controller.open([this] { return !stopped(); }))
            return;
        // The retry is a driver call of its own, looked after like any other.
        if ((m_controller.snapshot().openResults.size() > 1 && stopped()) || !m_controller.isOpen())
            return;
        for (int n = 0; n < DrawerCount; ++n) {
            m_controller.readDrawer(n);
            if (stopped() || paused(Controller::StateReadInterval))
                return;
        }
        m_controller.readStatistics();
        if (stopped() || !m_setup.kickAsked)
            return;

        m_report.found = m_controller.snapshot();
        m_kicked = true;
        // Released one after another with nothing between, as a till's drawers are.
        for (const int n : m_setup.kicks) {
            m_controller.kick(n);
            m_report.kicks = m_controller.snapshot().kicks;
            if (stopped())
                return;
        }
        if (paused(Controller::KickSettleTime))
            return;
        for (const int n : m_setup.kicks) {
            m_controller.readDrawer(n);
            m_report.kicks = m_controller.snapshot().kicks;
            if (stopped() || paused(Controller::StateReadInterval))
                return;
        }
        m_report.statisticsAfterKicks = m_controller.readStatistics();
        stopped();
    }

    bool kicked() const { return m_kicked; }

private:
    // Looked at after every driver call: a signal is never acted on inside a handler.
    bool stopped()
    {
        if (m_report.interruptedBy == 0)
            m_report.interruptedBy = m_waits.pendingSignal();
        return m_report.interruptedBy != 0;
    }
    bool paused(std::chrono::milliseconds duration)
    {
        m_report.interruptedBy = m_waits.wait(duration);
        return m_report.interruptedBy != 0;
    }

    const CheckSetup &m_setup;
    CheckWaits &m_waits;
    Controller &m_controller;
    Report &m_report;
    bool m_kicked = false;
};

} // namespace

Report runCheck(const CheckSetup &setup, CheckWaits &waits)
{
    Controller controller(setup.driver, setup.bindError, setup.driverFile);
    Report report;
    report.origin = ReportOrigin::Check;
    report.time = setup.time;
    report.kickAsked = setup.kickAsked;
    Check check(setup, waits, controller, report);
    // Closed also after a failed open or an unforeseen error, as the window does: the driver
    // may hold half-opened state.
    try {
        if (controller.bound())
            check.gather();
    } catch (...) {
        controller.close();
        throw;
    }
    controller.close();
    if (!check.kicked())
        report.found = controller.snapshot();
    return report;
}
