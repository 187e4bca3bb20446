#include "report.h"
#include "reportwords.h"

#include <csignal>
#include <ctime>

namespace reportwords {

QString signalName(int signal)
{
    switch (signal) {
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    default:
        return QStringLiteral("signal %1").arg(signal);
    }
}

QString readingWord(DrawerReading reading)
{
    switch (reading) {
    case DrawerReading::Open:
        return QStringLiteral("open");
    case DrawerReading::Closed:
        return QStringLiteral("closed");
    case DrawerReading::NotPresent:
        return QStringLiteral("not present");
    case DrawerReading::NotRead:
        break;
    }
    return QStringLiteral("not read");
}

QString readingKey(DrawerReading reading)
{
    return readingWord(reading).replace(QLatin1Char(' '), QLatin1Char('-'));
}

QString deviceKey(DeviceState device)
{
    switch (device) {
    case DeviceState::Open:
        return QStringLiteral("open");
    case DeviceState::DidNotOpen:
        return QStringLiteral("did-not-open");
    case DeviceState::NotOpened:
        return QStringLiteral("not-opened");
    case DeviceState::NotBound:
        break;
    }
    return QStringLiteral("not-bound");
}

QString outcomeKey(StatisticsResult::Outcome outcome)
{
    switch (outcome) {
    case StatisticsResult::Outcome::Read:
        return QStringLiteral("read");
    case StatisticsResult::Outcome::Refused:
        return QStringLiteral("refused");
    case StatisticsResult::Outcome::Overrun:
        return QStringLiteral("overrun");
    case StatisticsResult::Outcome::NotRead:
        break;
    }
    return QStringLiteral("not-read");
}

QString openResultsText(const QList<int32_t> &results)
{
    QStringList numbers;
    for (const int32_t result : results)
        numbers << QString::number(result);
    return numbers.join(QStringLiteral(", then "));
}

// Why a statistics read shows nothing, or an empty string when it does.
QString statisticsFailure(const StatisticsResult &statistics)
{
    if (statistics.outcome == StatisticsResult::Outcome::Refused)
        return QStringLiteral("RetrieveStatistics returned %1").arg(statistics.status);
    if (statistics.outcome == StatisticsResult::Outcome::Overrun)
        return QStringLiteral("the driver wrote past the statistics buffer");
    return {};
}

// The statistics the counts and counters come from: the last read that gave values.
const StatisticsResult &latestStatistics(const Report &report)
{
    return report.kickAsked && report.statisticsAfterKicks.hasValues()
            ? report.statisticsAfterKicks
            : report.found.statistics;
}

std::optional<std::pair<qint64, qint64>> countChange(const Report &report)
{
    if (!report.kickAsked || !report.found.statistics.hasValues()
        || !report.statisticsAfterKicks.hasValues())
        return std::nullopt;
    const auto &before = report.found.statistics.values;
    const auto &after = report.statisticsAfterKicks.values;
    const auto goodBefore = countValue(before[GoodOpens]), goodAfter = countValue(after[GoodOpens]);
    const auto failedBefore = countValue(before[FailedOpens]),
               failedAfter = countValue(after[FailedOpens]);
    if (!goodBefore || !goodAfter || !failedBefore || !failedAfter)
        return std::nullopt;
    return std::pair{qint64(*goodAfter) - qint64(*goodBefore),
                     qint64(*failedAfter) - qint64(*failedBefore)};
}

QString signedNumber(qint64 value)
{
    return (value > 0 ? QStringLiteral("+") : QString()) + QString::number(value);
}

QString statusMeaning(int status)
{
    switch (status) {
    case ExitStatus::AllWell:
        return QStringLiteral("all well");
    case ExitStatus::DriverNotBound:
        return QStringLiteral("driver library missing or damaged");
    case ExitStatus::DidNotOpen:
        return QStringLiteral("controller did not open");
    case ExitStatus::StatisticsFailed:
        return QStringLiteral("statistics read failed");
    case ExitStatus::KickFailed:
        return QStringLiteral("a kicked drawer did not open");
    default:
        return QStringLiteral("interrupted");
    }
}

} // namespace reportwords

using namespace reportwords;

std::optional<quint64> countValue(const QString &text)
{
    if (text.isEmpty() || text.size() > 19)
        return std::nullopt;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    return text.toULongLong();
}

QString isoTime(qint64 secondsSince1970)
{
    const std::time_t time = std::time_t(secondsSince1970);
    std::tm parts{};
#ifdef _WIN32
    gmtime_s(&parts, &time);
#else
    gmtime_r(&time, &parts);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return QString::fromLatin1(text);
}

QStringList problemsOf(const Report &report)
{
    QStringList problems;
    if (report.found.device == DeviceState::NotBound && report.origin == ReportOrigin::Check)
        problems << QStringLiteral("The driver library could not be loaded: %1").arg(report.found.bindError);
    if (report.found.device == DeviceState::DidNotOpen)
        problems << QStringLiteral("The controller did not open: OpenBexor returned %1.")
                            .arg(openResultsText(report.found.openResults));
    if (const QString failure = statisticsFailure(report.found.statistics); !failure.isEmpty())
        problems << QStringLiteral("The statistics read failed: %1.").arg(failure);
    for (const KickResult &kick : report.kicks) {
        if (kick.after.reading == DrawerReading::NotRead || kick.opened())
            continue;
        problems << QStringLiteral("Drawer %1 did not open: DrawerOpen returned %2, and it reads %3 "
                                   "after the kick.")
                            .arg(kick.drawer)
                            .arg(kick.status)
                            .arg(readingWord(kick.after.reading));
    }
    if (const QString failure = statisticsFailure(report.statisticsAfterKicks); !failure.isEmpty())
        problems << QStringLiteral("The statistics read after the kicks failed: %1.").arg(failure);
    if (report.interruptedBy != 0)
        problems << QStringLiteral("The check was interrupted by %1 before it finished.")
                            .arg(signalName(report.interruptedBy));
    return problems;
}

int exitStatusOf(const Report &report)
{
    if (report.interruptedBy != 0)
        return 128 + report.interruptedBy;
    if (report.found.device == DeviceState::NotBound)
        return ExitStatus::DriverNotBound;
    if (report.found.device == DeviceState::DidNotOpen || report.found.device == DeviceState::NotOpened)
        return ExitStatus::DidNotOpen;
    if (!statisticsFailure(report.found.statistics).isEmpty()
        || !statisticsFailure(report.statisticsAfterKicks).isEmpty())
        return ExitStatus::StatisticsFailed;
    for (const KickResult &kick : report.kicks)
        if (kick.after.reading != DrawerReading::NotRead && !kick.opened())
            return ExitStatus::KickFailed;
    return ExitStatus::AllWell;
}

