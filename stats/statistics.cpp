#include "statistics.h"

#include "crmodule1.h"

StatisticsResult decodeStatistics(const StatisticsBuffer &buffer, int32_t status)
{
    StatisticsResult result;
    result.status = status;
    // An overrun is checked first: whatever the status, bytes past the buffer mean the
    // driver cannot be trusted with what it wrote inside it either.
    if (buffer.overrun()) {
        result.outcome = StatisticsResult::Outcome::Overrun;
        return result;
    }
    if (status != 0) {
        result.outcome = StatisticsResult::Outcome::Refused;
        return result;
    }
    const std::array<QByteArray, 15> records = cutRecords(buffer);
    result.outcome = StatisticsResult::Outcome::Read;
    for (int i = 0; i < ShownStatisticCount; ++i) {
        const ShownStatistic &shown = ShownStatistics[i];
        result.raw[i] = records[shown.record];
        result.values[i] = shown.count ? crModule1::decodeCount(result.raw[i])
                                       : recordText(result.raw[i]);
    }
    return result;
}

QString printableText(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u < 0xA0))
            out += QStringLiteral("\\x%1").arg(QString::number(u, 16).toUpper(), 2, QLatin1Char('0'));
        else if (u == u'\\')
            out += QLatin1String("\\\\");
        else
            out += c;
    }
    return out;
}
