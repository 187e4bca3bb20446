// What a cycle run found: per drawer, how many cycles it went through, how many opened, each
// fault, and its times. A run may last days, so nothing grows with its cycles: the times
// are counted into fixed histograms and each cycle's row leaves at once (to the CSV file).
#pragma once

#include "controller.h"

#include <QList>
#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>

using Microseconds = std::chrono::microseconds;

// Times counted in buckets 1/64 of their size wide: percentiles to within 1.6 %, far finer
// than one read per interval, in some 9 KiB whatever the number of times.
class TimeHistogram
{
public:
    void add(Microseconds time);
    quint64 count() const { return m_count; }
    Microseconds min() const { return Microseconds(m_min); }
    Microseconds max() const { return Microseconds(m_max); }
    // The least time that percent of those added do not exceed (nearest rank), as the middle
    // of its bucket, kept within min and max; 0 when nothing was added.
    Microseconds percentile(int percent) const;

private:
    static constexpr int SubBits = 6, Sub = 1 << SubBits;
    // Exact below 64 µs, then 64 buckets for every doubling up to 2^40 µs (twelve days).
    static constexpr int Buckets = Sub + (40 - SubBits) * Sub;
    static int bucketOf(quint64 us);
    static quint64 bucketLow(int bucket);

    std::array<quint32, Buckets> m_counts {};
    quint64 m_count = 0;
    qint64 m_min = 0, m_max = 0;
};

enum class CycleFault { DidNotOpen, DidNotClose, Bounced, NotPresent };
inline constexpr int CycleFaultCount = 4;

// The kick-to-open histogram's buckets in the metrics, around the controller's pace: a read
// every 100 ms, 600 ms for a released drawer to spring open.
inline constexpr std::array<int, 11> KickToOpenBucketsMs {50,  100, 200,  300,  400, 500,
                                                          600, 800, 1000, 2000, 5000};

// One cycle of one drawer, as the CSV file gets it.
struct CycleRecord
{
    int drawer = 0;
    int cycle = 0; // counted from 1
    qint64 kickedAt = 0; // seconds since 1970; 0 when it was not kicked
    std::optional<int32_t> kickStatus; // what DrawerOpen returned, if it was kicked
    std::optional<Microseconds> kickToOpen, openTime;
    std::array<bool, CycleFaultCount> faults {};
    bool opened() const { return kickToOpen.has_value(); }
    bool failed() const;
};

struct DrawerCycles
{
    int drawer = 0;
    int done = 0, kicked = 0, opened = 0, failed = 0;
    // Cycles with each fault, and the first of them.
    std::array<int, CycleFaultCount> faults {}, firstFault {};
    // Of those that did not open: how many DrawerOpen called a success, and the last refusal.
    int notOpenedAfterSuccess = 0;
    int32_t lastRefusal = 0;
    // A drawer left open or gone missing cannot be kicked again: its cycles end there.
    bool stopped = false;
    TimeHistogram kickToOpen, openTime;
    std::array<quint32, KickToOpenBucketsMs.size()> kickToOpenAtMost {};
    quint64 kickToOpenTotalUs = 0;

    void add(const CycleRecord &record);
};

struct CycleRun
{
    bool asked = false;
    int cycles = 0; // asked of each drawer
    std::chrono::milliseconds interval {0}, openTimeout {0}, closeTimeout {0};
    QList<DrawerCycles> drawers; // in the order they are kicked
    TimeHistogram kickToOpen; // every drawer's
    StatisticsResult statisticsAfter;

    qint64 done() const;
};

inline constexpr const char *CycleFaultKeys[CycleFaultCount] {"did-not-open", "did-not-close",
                                                              "bounced", "not-present"};
