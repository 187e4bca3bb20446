#include "controller.h"

#include "drawerdriver.h"
#include "logcategories.h"

#include <QStringList>

#include <algorithm>

namespace {

const char *readingWord(DrawerReading reading)
{
    switch (reading) {
    case DrawerReading::Open:
        return "open";
    case DrawerReading::Closed:
        return "closed";
    case DrawerReading::NotPresent:
        return "not present";
    case DrawerReading::NotRead:
        break;
    }
    return "not read";
}

// The outcomes a user sees go to crtest.events, whichever front end asked.
void logOpenOutcome(const QList<int32_t> &results, bool open)
{
    QStringList numbers;
    for (const int32_t result : results)
        numbers << QString::number(result);
    qCInfo(lcEvents, "The controller %s (OpenBexor returned %s)",
           open ? "is open" : "did not open",
           qUtf8Printable(numbers.join(QStringLiteral(", then "))));
}

void logStatistics(const StatisticsResult &statistics)
{
    switch (statistics.outcome) {
    case StatisticsResult::Outcome::Read: {
        QStringList parts;
        for (int i = 0; i < ShownStatisticCount; ++i)
            parts << QStringLiteral("%1 %2").arg(QLatin1String(ShownStatistics[i].logName),
                                                 printableText(statistics.values[i]));
        qCInfo(lcEvents, "Statistics: %s", qUtf8Printable(parts.join(QStringLiteral(", "))));
        break;
    }
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

} // namespace

Controller::Controller(DrawerDriver *driver, const QString &bindError, const QString &driverFile)
    : m_driver(driver)
{
    m_snapshot.device = driver ? DeviceState::NotOpened : DeviceState::NotBound;
    m_snapshot.bindError = driver ? QString() : bindError;
    m_snapshot.driverFile = driver ? driverFile : QString();
    if (!driver && loggingWanted())
        qCInfo(lcEvents, "The driver library could not be loaded: %s", qUtf8Printable(bindError));
}

bool Controller::open(const std::function<bool()> &between)
{
    const auto attempt = [this] {
        m_snapshot.openResults << m_driver->openBexor();
        m_snapshot.device = m_snapshot.openResults.last() == 0 ? DeviceState::Open
                                                               : DeviceState::DidNotOpen;
    };
    if (mayCall())
        attempt();
    if (!between())
        return false;
    if (mayCall() && m_snapshot.device == DeviceState::DidNotOpen)
        attempt();
    if (mayCall() && loggingWanted())
        logOpenOutcome(m_snapshot.openResults, isOpen());
    return true;
}

DrawerRead Controller::readDrawer(int drawer)
{
    if (!mayCall())
        return {};
    const int32_t code = m_driver->drawerState(drawer);
    const DrawerRead read{classifyDrawerState(code, OpenCode[drawer]), code};
    m_snapshot.drawers[drawer] = read;
    if (m_awaitingReadBack[drawer]) {
        m_awaitingReadBack[drawer] = false;
        for (KickResult &kick : m_snapshot.kicks)
            if (kick.drawer == drawer)
                kick.after = read;
    }
    if (loggingWanted())
        qCInfo(lcEvents, "Drawer %d is %s (state code %d)", drawer, readingWord(read.reading),
               int(code));
    return read;
}

int32_t Controller::kick(int drawer)
{
    if (!mayCall())
        return 0;
    const int32_t status = m_driver->drawerOpen(drawer);
    // Only a drawer's last kick is kept: a window kicked all day keeps eight at most.
    m_snapshot.kicks.removeIf([drawer](const KickResult &kick) { return kick.drawer == drawer; });
    m_snapshot.kicks << KickResult{drawer, status, m_snapshot.drawers[drawer].reading, {}};
    m_awaitingReadBack[drawer] = true;
    if (loggingWanted())
        qCInfo(lcEvents, "Drawer %d kicked (DrawerOpen returned %d)", drawer, int(status));
    return status;
}

const StatisticsResult &Controller::readStatistics()
{
    if (!mayCall())
        return m_snapshot.statistics;
    StatisticsBuffer buffer;
    const int32_t status =
            m_driver->retrieveStatistics(StatUnit, StatId, buffer.data(), StatLen[StatId]);
    m_snapshot.statistics = decodeStatistics(buffer, status);
    if (loggingWanted())
        logStatistics(m_snapshot.statistics);
    return m_snapshot.statistics;
}

void Controller::close()
{
    if (!mayCall())
        return;
    m_closed = true;
    m_driver->closeBexor();
}
