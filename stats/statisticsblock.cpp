#include "statisticsblock.h"

#include <algorithm>
#include <numeric>

namespace {
constexpr uint8_t GuardByte = 0xA5;
}

StatisticsBuffer::StatisticsBuffer()
    : m_bytes(StatisticsBufferSize + GuardSize, 0)
{
    std::fill(m_bytes.begin() + StatisticsBufferSize, m_bytes.end(), GuardByte);
}

bool StatisticsBuffer::overrun() const
{
    return std::any_of(m_bytes.begin() + StatisticsBufferSize, m_bytes.end(),
                       [](uint8_t b) { return b != GuardByte; });
}

std::array<QByteArray, 15> cutRecords(const StatisticsBuffer &buffer)
{
    std::array<QByteArray, 15> records;
    const char *block = reinterpret_cast<const char *>(buffer.data());
    int offset = 0;
    for (int n = 1; n <= 14; ++n) {
        const int length = std::min<int>(StatLen[n], StatisticsBlockTextSize - offset);
        records[n] = QByteArray(block + offset, std::max(length, 0));
        offset += std::max(length, 0);
    }
    return records;
}

QString recordText(const QByteArray &record)
{
    const qsizetype end = record.indexOf('\0');
    return QString::fromLatin1(record.constData(), end < 0 ? record.size() : end);
}
