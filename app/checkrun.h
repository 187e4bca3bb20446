// What every run of the check has in common, whether it then kicks drawers once or cycles
// them: the controller opened as start-up opens it, every drawer and the statistics read,
// a look for a signal after every driver call, waits that a signal ends, and the close.
#pragma once

#include "check.h"
#include "controller.h"

#include <functional>

class CheckRun
{
public:
    CheckRun(CheckWaits &waits, Controller &controller, Report &report)
        : m_waits(waits)
        , m_controller(controller)
        , m_report(report)
    { }

    // Opens the controller and reads every drawer, interval apart, and the statistics, which
    // the report keeps as what was found. False once a signal has come or it did not open.
    bool readFound(std::chrono::milliseconds interval);

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

    Controller &controller() { return m_controller; }
    CheckWaits &waits() { return m_waits; }
    Report &report() { return m_report; }
    bool foundKept() const { return m_foundKept; }

private:
    CheckWaits &m_waits;
    Controller &m_controller;
    Report &m_report;
    bool m_foundKept = false;
};

// Runs steps on the controller bound to setup's driver, if one is, into report. Once a driver
// is bound, CloseBexor is its last call, made exactly once on every path, a signal and an
// exception included; nothing is called after it.
void runOnController(const CheckSetup &setup, CheckWaits &waits, Report &report,
                     const std::function<void(CheckRun &run)> &steps);
