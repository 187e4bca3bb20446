#include "check.h"

#include "crmodule1.h"
#include "drawerdriver.h"
#include "drawerstate.h"
#include "logcategories.h"
#include "reportwords.h"
#include "statisticsblock.h"

namespace {

using namespace std::chrono_literals;
// The same waits as the window's: the controller needs 100 ms between two state reads, and
// a released drawer 600 ms to spring open.
constexpr auto StateReadInterval = 100ms;
constexpr auto KickSettleTime = 600ms;

} // namespace

DrawerReading readingOf(DrawerCondition condition)
{
    switch (condition) {
    case DrawerCondition::Open:
        return DrawerReading::Open;
    case DrawerCondition::NotPresent:
        return DrawerReading::NotPresent;
    case DrawerCondition::Closed:
        break;
    }
    return DrawerReading::Closed;
}

namespace {

class Check
{
public:
    Check(const CheckSetup &setup, CheckWaits &waits, Report &report)
        : m_driver(*setup.driver), m_waits(waits), m_report(report), m_kicks(setup.kicks)
    {
    }

    // Gathers what it can; returns early once a signal has arrived or the controller is shut.
    void gather()
    {
        // A signal that came while the library was loading: nothing is opened, only closed.
        m_report.device = DeviceState::NotOpened;
        if (stopped())
            return;
        m_report.device = DeviceState::DidNotOpen;
        // A controller just plugged in may refuse the first open; one retry at once tells
        // that from a missing one, as at the window's start-up.
        for (int attempt = 0; attempt < 2 && m_report.device != DeviceState::Open; ++attempt) {
            m_report.openResults << m_driver.openBexor();
            if (m_report.openResults.last() == 0)
                m_report.device = DeviceState::Open;
            if (stopped())
                return;
        }
        logOpenOutcome(m_report.openResults);
        if (m_report.device != DeviceState::Open)
            return;

        for (int n = 0; n < DrawerCount; ++n) {
            m_report.drawers[n] = readDrawer(n, &m_report.stateCodes[n]);
            if (stopped() || paused(StateReadInterval))
                return;
        }
        m_report.statistics = readStatistics(m_driver);
        logStatistics(m_report.statistics);
        if (stopped() || !m_report.kickAsked)
            return;

        // Released one after another with nothing between, as a till's drawers are.
        for (const int n : m_kicks) {
            KickResult kick{.drawer = n,
                            .status = m_driver.drawerOpen(n),
                            .before = m_report.drawers[n]};
            m_report.kicks << kick;
            logKick(n, kick.status);
            if (stopped())
                return;
        }
        if (paused(KickSettleTime))
            return;
        for (KickResult &kick : m_report.kicks) {
            kick.after = readDrawer(kick.drawer, &kick.codeAfter);
            if (stopped() || paused(StateReadInterval))
                return;
        }
        m_report.statisticsAfterKicks = readStatistics(m_driver);
        logStatistics(m_report.statisticsAfterKicks);
        stopped();
    }

private:
    // The reading of drawer n, its code written where the report keeps this reading's:
    // the first pass's beside the drawers, a kicked drawer's read-back beside its kick.
    DrawerReading readDrawer(int n, std::optional<int32_t> *codeKept)
    {
        const int32_t code = m_driver.drawerState(n);
        *codeKept = code;
        const DrawerReading reading = readingOf(classifyDrawerState(code, OpenCode[n]));
        logDrawerReading(n, code, reading);
        return reading;
    }
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

    DrawerDriver &m_driver;
    CheckWaits &m_waits;
    Report &m_report;
    const QList<int> m_kicks;
};

} // namespace

Report runCheck(const CheckSetup &setup, CheckWaits &waits)
{
    Report report;
    report.origin = ReportOrigin::Check;
    report.time = setup.time;
    report.kickAsked = setup.kickAsked;
    if (!setup.driver) {
        report.device = DeviceState::NotBound;
        report.bindError = setup.bindError;
        if (loggingWanted())
            qCInfo(lcEvents, "The driver library could not be loaded: %s",
               qUtf8Printable(setup.bindError));
        return report;
    }
    report.driverFile = setup.driverFile;
    // Also after a failed open or an unforeseen error, as the window does: the driver may
    // hold half-opened state.
    try {
        Check(setup, waits, report).gather();
    } catch (...) {
        setup.driver->closeBexor();
        throw;
    }
    setup.driver->closeBexor();
    return report;
}

StatisticsResult readStatistics(DrawerDriver &driver)
{
    StatisticsBuffer buffer;
    StatisticsResult result;
    result.status = driver.retrieveStatistics(StatUnit, StatId, buffer.data(), StatLen[StatId]);
    // An overrun is checked first: whatever the status, bytes past the buffer mean the
    // driver cannot be trusted with what it wrote inside it either.
    if (buffer.overrun()) {
        result.outcome = StatisticsResult::Outcome::Overrun;
        return result;
    }
    if (result.status != 0) {
        result.outcome = StatisticsResult::Outcome::Refused;
        return result;
    }
    const std::array<QByteArray, 15> records = cutRecords(buffer);
    result.outcome = StatisticsResult::Outcome::Read;
    result.values = {recordText(records[5]),
                     recordText(records[6]),
                     recordText(records[7]),
                     recordText(records[10]),
                     crModule1::decodeCount(records[13]),
                     crModule1::decodeCount(records[14])};
    return result;
}

void logOpenOutcome(const QList<int32_t> &results)
{
    if (!loggingWanted())
        return;
    QStringList numbers;
    for (const int32_t result : results)
        numbers << QString::number(result);
    if (!results.isEmpty() && results.last() == 0)
        qCInfo(lcEvents, "The controller is open (OpenBexor returned %s)",
               qUtf8Printable(numbers.join(QStringLiteral(", then "))));
    else
        qCInfo(lcEvents, "The controller did not open (OpenBexor returned %s)",
               qUtf8Printable(numbers.join(QStringLiteral(", then "))));
}

void logDrawerReading(int drawer, int32_t code, DrawerReading reading)
{
    if (!loggingWanted())
        return;
    qCInfo(lcEvents, "Drawer %d is %s (state code %d)", drawer,
           qUtf8Printable(reportwords::readingWord(reading)), int(code));
}

void logStatistics(const StatisticsResult &statistics)
{
    if (!loggingWanted())
        return;
    const StatisticsValues &v = statistics.values;
    switch (statistics.outcome) {
    case StatisticsResult::Outcome::Read:
    case StatisticsResult::Outcome::Shown:
        qCInfo(lcEvents,
               "Statistics: serial number %s, manufactured %s, revision %s, installed %s, "
               "good opens %s, failed opens %s",
               qUtf8Printable(printableText(v.serialNumber)),
               qUtf8Printable(printableText(v.manufactureDate)),
               qUtf8Printable(printableText(v.mechanicalRevision)),
               qUtf8Printable(printableText(v.installationDate)),
               qUtf8Printable(printableText(v.goodOpens)),
               qUtf8Printable(printableText(v.failedOpens)));
        break;
    case StatisticsResult::Outcome::Refused:
        qCInfo(lcEvents, "The statistics read failed: RetrieveStatistics returned %d",
               int(statistics.status));
        break;
    case StatisticsResult::Outcome::Overrun:
        qCInfo(lcEvents, "The statistics read failed: the driver wrote past the buffer");
        break;
    case StatisticsResult::Outcome::NotRead:
        break;
    }
}

void logKick(int drawer, int32_t status)
{
    if (!loggingWanted())
        return;
    qCInfo(lcEvents, "Drawer %d kicked (DrawerOpen returned %d)", drawer, int(status));
}
