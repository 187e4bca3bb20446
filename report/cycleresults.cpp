#include "cycleresults.h"

#include <algorithm>
#include <bit>

int TimeHistogram::bucketOf(quint64 us)
{
    if (us < quint64(Sub))
        return int(us);
    const int power = std::bit_width(us) - 1;
    const int bucket = Sub + (power - SubBits) * Sub + int((us >> (power - SubBits)) - Sub);
    return std::min(bucket, Buckets - 1);
}

quint64 TimeHistogram::bucketLow(int bucket)
{
    if (bucket < Sub)
        return quint64(bucket);
    const int power = (bucket - Sub) / Sub + SubBits;
    return quint64(Sub + (bucket - Sub) % Sub) << (power - SubBits);
}

void TimeHistogram::add(Microseconds time)
{
    const qint64 us = std::max<qint64>(0, time.count());
    ++m_counts[bucketOf(quint64(us))];
    m_min = m_count == 0 ? us : std::min(m_min, us);
    m_max = m_count == 0 ? us : std::max(m_max, us);
    ++m_count;
}

Microseconds TimeHistogram::percentile(int percent) const
{
    if (m_count == 0)
        return Microseconds(0);
    const quint64 rank = std::max<quint64>(1, (m_count * quint64(percent) + 99) / 100);
    quint64 seen = 0;
    int bucket = 0;
    while (seen + m_counts[bucket] < rank)
        seen += m_counts[bucket++];
    const quint64 low = bucketLow(bucket);
    const quint64 high = bucket + 1 < Buckets ? bucketLow(bucket + 1) : low + 1;
    return Microseconds(std::clamp<qint64>(qint64(low + (high - 1 - low) / 2), m_min, m_max));
}

bool CycleRecord::failed() const
{
    return std::find(faults.begin(), faults.end(), true) != faults.end();
}

void DrawerCycles::add(const CycleRecord &record)
{
    ++done;
    kicked += record.kickStatus.has_value();
    failed += record.failed();
    for (int f = 0; f < CycleFaultCount; ++f)
        if (record.faults[f] && faults[f]++ == 0)
            firstFault[f] = record.cycle;
    if (record.faults[int(CycleFault::DidNotOpen)] && record.kickStatus) {
        if (*record.kickStatus == 0)
            ++notOpenedAfterSuccess;
        else
            lastRefusal = *record.kickStatus;
    }
    if (record.openTime)
        openTime.add(*record.openTime);
    if (!record.kickToOpen)
        return;
    ++opened;
    kickToOpen.add(*record.kickToOpen);
    kickToOpenTotalUs += quint64(std::max<qint64>(0, record.kickToOpen->count()));
    for (std::size_t b = 0; b < KickToOpenBucketsMs.size(); ++b)
        if (*record.kickToOpen <= std::chrono::milliseconds(KickToOpenBucketsMs[b]))
            ++kickToOpenAtMost[b];
}

qint64 CycleRun::done() const
{
    qint64 total = 0;
    for (const DrawerCycles &drawer : drawers)
        total += drawer.done;
    return total;
}
