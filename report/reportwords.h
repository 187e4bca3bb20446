// Words and figures every written form of a report uses, the check's log lines included.
#pragma once

#include "report.h"

#include <QtGlobal>

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

} // namespace reportwords
