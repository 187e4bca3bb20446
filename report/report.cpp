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
    if (report.kickAsked && report.statisticsAfterKicks.hasValues())
        return report.statisticsAfterKicks;
    if (report.cycles.asked && report.cycles.statisticsAfter.hasValues())
        return report.cycles.statisticsAfter;
    return report.found.statistics;
}

namespace {

// Good and failed opens in each read, if both reads gave them.
std::optional<std::array<qint64, 4>> countsAround(const StatisticsResult &before,
                                                  const StatisticsResult &after)
{
    if (!before.hasValues() || !after.hasValues())
        return std::nullopt;
    std::array<qint64, 4> counts{};
    int i = 0;
    for (const auto *read : {&before, &after})
        for (const int count : {GoodOpens, FailedOpens}) {
            const auto value = countValue(read->values[count]);
            if (!value)
                return std::nullopt;
            counts[i++] = qint64(*value);
        }
    return counts;
}

} // namespace

std::optional<std::pair<qint64, qint64>> countChange(const Report &report)
{
    if (!report.kickAsked)
        return std::nullopt;
    const auto counts = countsAround(report.found.statistics, report.statisticsAfterKicks);
    if (!counts)
        return std::nullopt;
    return std::pair{(*counts)[2] - (*counts)[0], (*counts)[3] - (*counts)[1]};
}

std::optional<CycleCounts> cycleCounts(const Report &report)
{
    if (!report.cycles.asked)
        return std::nullopt;
    const auto counts = countsAround(report.found.statistics, report.cycles.statisticsAfter);
    if (!counts)
        return std::nullopt;
    CycleCounts result{(*counts)[0], (*counts)[2], (*counts)[1], (*counts)[3], 0, 0};
    for (const DrawerCycles &drawer : report.cycles.drawers) {
        result.opened += drawer.opened;
        result.notOpened += drawer.kicked - drawer.opened;
    }
    return result;
}

QString durationText(std::chrono::milliseconds duration)
{
    const qint64 ms = duration.count();
    if (ms >= 60000 && ms % 60000 == 0)
        return QStringLiteral("%1 min").arg(ms / 60000);
    if (ms >= 1000 && ms % 1000 == 0)
        return QStringLiteral("%1 s").arg(ms / 1000);
    return QStringLiteral("%1 ms").arg(ms);
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
    case ExitStatus::DidNotClose:
        return QStringLiteral("a drawer did not close in time");
    case ExitStatus::SensorBounced:
        return QStringLiteral("a drawer's sensor bounced");
    case ExitStatus::CountsDisagree:
        return QStringLiteral("the controller's counts disagree with the openings seen");
    case ExitStatus::WentMissing:
        return QStringLiteral("a drawer read not present during the cycles");
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

QString healthLevel(const Report &report)
{
    return report.kickAsked || report.cycles.asked || !report.kicks.isEmpty()
            ? QStringLiteral("external")
            : QStringLiteral("internal");
}

namespace {

QString didNotOpenWhy(const DrawerCycles &drawer)
{
    const int failed = drawer.faults[int(CycleFault::DidNotOpen)];
    if (drawer.notOpenedAfterSuccess == failed)
        return QStringLiteral("DrawerOpen returned 0 each time: the driver reported a failure as a "
                              "success");
    if (drawer.notOpenedAfterSuccess == 0)
        return QStringLiteral("DrawerOpen returned %1%2")
                .arg(drawer.lastRefusal)
                .arg(failed > 1 ? QStringLiteral(" the last time") : QString());
    return QStringLiteral("DrawerOpen returned 0 in %1 of them, the driver reporting a failure as a "
                          "success, and %2 the last time it refused")
            .arg(drawer.notOpenedAfterSuccess)
            .arg(drawer.lastRefusal);
}

void appendCycleProblems(QStringList &problems, const Report &report)
{
    const CycleRun &run = report.cycles;
    for (const DrawerCycles &d : run.drawers) {
        const auto count = [&](CycleFault fault) { return d.faults[int(fault)]; };
        const auto first = [&](CycleFault fault) { return d.firstFault[int(fault)]; };
        if (const int n = count(CycleFault::DidNotOpen))
            problems << QStringLiteral("Drawer %1 did not open within %2 in %3 of %4 cycles, first "
                                       "in cycle %5: %6.")
                                .arg(d.drawer)
                                .arg(durationText(run.openTimeout))
                                .arg(n)
                                .arg(d.done)
                                .arg(first(CycleFault::DidNotOpen))
                                .arg(didNotOpenWhy(d));
        if (count(CycleFault::DidNotClose))
            problems << QStringLiteral("Drawer %1 did not close within %2 in cycle %3; its cycles "
                                       "stopped there.")
                                .arg(d.drawer)
                                .arg(durationText(run.closeTimeout))
                                .arg(first(CycleFault::DidNotClose));
        if (const int n = count(CycleFault::Bounced))
            problems << QStringLiteral("Drawer %1's sensor bounced (it read closed, then open "
                                       "again) in %2 of %3 cycles, first in cycle %4.")
                                .arg(d.drawer)
                                .arg(n)
                                .arg(d.done)
                                .arg(first(CycleFault::Bounced));
        if (count(CycleFault::NotPresent))
            problems << QStringLiteral("Drawer %1 read not present in cycle %2; its cycles stopped "
                                       "there.")
                                .arg(d.drawer)
                                .arg(first(CycleFault::NotPresent));
    }
    if (const QString failure = statisticsFailure(run.statisticsAfter); !failure.isEmpty())
        problems << QStringLiteral("The statistics read after the cycles failed: %1.").arg(failure);
    if (const auto counts = cycleCounts(report); counts && !counts->agree())
        problems << QStringLiteral("The controller's counts disagree with what was seen: good "
                                   "opens %1 against %2 openings, failed opens %3 against %4 kicks "
                                   "that did not open.")
                            .arg(signedNumber(counts->goodChange()))
                            .arg(counts->opened)
                            .arg(signedNumber(counts->failedChange()))
                            .arg(counts->notOpened);
}

// The lowest status the cycles call for, or 0.
int cycleStatus(const Report &report)
{
    const std::pair<CycleFault, int> statuses[] = {
            {CycleFault::DidNotOpen, ExitStatus::KickFailed},
            {CycleFault::DidNotClose, ExitStatus::DidNotClose},
            {CycleFault::Bounced, ExitStatus::SensorBounced},
    };
    for (const auto &[fault, status] : statuses)
        for (const DrawerCycles &drawer : report.cycles.drawers)
            if (drawer.faults[int(fault)])
                return status;
    if (const auto counts = cycleCounts(report); counts && !counts->agree())
        return ExitStatus::CountsDisagree;
    for (const DrawerCycles &drawer : report.cycles.drawers)
        if (drawer.faults[int(CycleFault::NotPresent)])
            return ExitStatus::WentMissing;
    return ExitStatus::AllWell;
}

} // namespace

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
    appendCycleProblems(problems, report);
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
        || !statisticsFailure(report.statisticsAfterKicks).isEmpty()
        || !statisticsFailure(report.cycles.statisticsAfter).isEmpty())
        return ExitStatus::StatisticsFailed;
    for (const KickResult &kick : report.kicks)
        if (kick.after.reading != DrawerReading::NotRead && !kick.opened())
            return ExitStatus::KickFailed;
    return cycleStatus(report);
}

