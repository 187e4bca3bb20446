// Words and figures every written form of a report uses, the check's log lines included.
#pragma once

#include "report.h"

#include <QJsonValue>
#include <QtGlobal>

#include <chrono>
#include <optional>
#include <utility>

namespace reportwords {

QString signalName(int signal);
QString readingWord(DrawerReading reading);
QString readingKey(DrawerReading reading);
QString deviceKey(DeviceState device);
QString outcomeKey(StatisticsResult::Outcome outcome);
QString openResultsText(const QList<int32_t> &results);
QString statisticsFailure(const StatisticsResult &statistics);
const StatisticsResult &latestStatistics(const Report &report);
std::optional<std::pair<qint64, qint64>> countChange(const Report &report);
QString signedNumber(qint64 value);
QString statusMeaning(int status);
// "60 s", "2 min", "250 ms".
QString durationText(std::chrono::milliseconds duration);

// The controller's counts around a cycle run against what the run saw: a good opening for
// every drawer that opened, a failed one for every kick that did not open it.
struct CycleCounts
{
    qint64 goodBefore = 0, goodAfter = 0, failedBefore = 0, failedAfter = 0;
    qint64 opened = 0, notOpened = 0;
    qint64 goodChange() const { return goodAfter - goodBefore; }
    qint64 failedChange() const { return failedAfter - failedBefore; }
    bool agree() const { return goodChange() == opened && failedChange() == notOpened; }
};
// None when either read gave no counts, or the run was interrupted before the second.
std::optional<CycleCounts> cycleCounts(const Report &report);

QJsonValue statisticsJson(const StatisticsResult &statistics);

// The cycle run's parts of the text and JSON reports.
void appendCycleHeader(QStringList &lines, const Report &report);
void appendCycleText(QStringList &lines, const Report &report);
QString cycleVerdict(const Report &report);
QJsonValue cycleJson(const Report &report);

} // namespace reportwords
