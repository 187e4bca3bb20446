// What a cycle run shows while it goes, and the rows it files. On a terminal, one line on
// standard error redrawn in place a few times a second, naming the drawer to close and
// ringing the bell while one stays open; elsewhere (a service, a pipe) a plain line every
// tenth of the run, for the journal. The CSV file gets each cycle's row as the cycle ends,
// on the disk before the next cycle starts, so that a power cut or kill -9 loses none.
#pragma once

#include "cycles.h"

#include <cstdio>

class CycleOutput final : public CycleWatcher
{
public:
    // progress: the stream the progress goes to, a terminal columns wide if it is one (a line
    // longer than the terminal would wrap, and \r redraw only its last row); csv: the file
    // the rows go to, or null. The CSV header is written at once.
    CycleOutput(std::FILE *progress, bool terminal, std::FILE *csv, int columns = 0);

    void read(const CycleProgress &progress) override;
    void cycleEnded(const CycleRecord &record, const CycleProgress &progress) override;
    // Takes the progress line away before the report is printed.
    void finish();
    // Whether every row reached the file; the first failure is said on the progress stream.
    bool csvWritten() const { return !m_csvFailed; }

private:
    QByteArray line(const CycleProgress &progress) const;
    void writeCsv(const QByteArray &text);

    std::FILE *m_progress;
    bool m_terminal;
    std::FILE *m_csv;
    int m_columns;
    bool m_csvFailed = false;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_drawnAt;
    std::optional<std::chrono::steady_clock::time_point> m_bellsFor;
    long long m_bells = 0;
    int m_tenths = 0;
};
