// The statistics a technician sees: which records of the block they are, how each is
// written out, and one read of them decoded. Every front end, report and log line takes
// its statistics from here, so a new one is a row of ShownStatistics and nothing else.
#pragma once

#include "statisticsblock.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

struct ShownStatistic
{
    int record; // its number in the block, 1 to 14
    bool count; // a count, decoded to decimal; otherwise text up to its first zero byte
    const char *caption; // in the text report
    const char *key; // in the JSON report
    const char *logName; // in the crtest.events line
};

// In the order the window's boxes are filled.
inline constexpr std::array<ShownStatistic, 6> ShownStatistics{{
        {5, false, "Serial number", "serial_number", "serial number"},
        {6, false, "Manufacture date", "manufacture_date", "manufactured"},
        {7, false, "Mechanical revision", "mechanical_revision", "revision"},
        {10, false, "Installation date", "installation_date", "installed"},
        {13, true, "Good opens", "good_opens", "good opens"},
        {14, true, "Failed opens", "failed_opens", "failed opens"},
}};
inline constexpr int ShownStatisticCount = int(ShownStatistics.size());

// Where a statistic stands in ShownStatistics, by its record number; -1 if not shown.
constexpr int shownIndexOf(int record)
{
    for (int i = 0; i < ShownStatisticCount; ++i)
        if (ShownStatistics[i].record == record)
            return i;
    return -1;
}
inline constexpr int GoodOpens = shownIndexOf(13);
inline constexpr int FailedOpens = shownIndexOf(14);
static_assert(GoodOpens >= 0 && FailedOpens >= 0 && ShownStatistics[GoodOpens].count
              && ShownStatistics[FailedOpens].count);

struct StatisticsResult
{
    enum class Outcome {
        NotRead,
        Read, // values hold what the driver wrote, decoded
        Refused, // RetrieveStatistics returned status; nothing is shown
        Overrun, // the driver wrote past the buffer; nothing is shown
    };
    Outcome outcome = Outcome::NotRead;
    int32_t status = 0;
    // Entry i belongs to ShownStatistics[i]: the record's bytes as the driver wrote them,
    // and its value as it is shown.
    std::array<QByteArray, ShownStatisticCount> raw{};
    std::array<QString, ShownStatisticCount> values{};

    bool hasValues() const { return outcome == Outcome::Read; }
};

// What one read gave: status is what RetrieveStatistics returned into buffer.
StatisticsResult decodeStatistics(const StatisticsBuffer &buffer, int32_t status);

// Driver bytes reach the texts of reports and logs: control characters would move a
// terminal's cursor or worse, so they are written as \xHH, and a backslash as \\ to keep
// that unambiguous.
QString printableText(const QString &text);
