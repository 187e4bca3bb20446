#include "cycleoutput.h"

#include <cerrno>
#include <cstring>
#ifndef _WIN32
#    include <unistd.h>
#endif

namespace {

using namespace std::chrono_literals;

// At most four redraws a second: the line stays readable and costs the reads nothing.
constexpr auto RedrawEvery = 250ms;
// A drawer open this long waits for a person: the bell asks for one, and again as long.
constexpr auto BellAfter = 5s;

QByteArray spanText(std::chrono::steady_clock::duration span)
{
    const long long s = std::chrono::duration_cast<std::chrono::seconds>(span).count();
    if (s >= 3600)
        return QByteArray::number(s / 3600) + " h " + QByteArray::number(s / 60 % 60) + " min";
    if (s >= 60)
        return QByteArray::number(s / 60) + " min " + QByteArray::number(s % 60) + " s";
    return QByteArray::number(s) + " s";
}

} // namespace

CycleOutput::CycleOutput(std::FILE *progress, bool terminal, std::FILE *csv, int columns)
    : m_progress(progress)
    , m_terminal(terminal)
    , m_csv(csv)
    , m_columns(columns)
{
    if (m_csv)
        writeCsv(cycleCsvHeader());
}

QByteArray CycleOutput::line(const CycleProgress &p) const
{
    QByteArray text = "cycle " + QByteArray::number(p.cycle) + " of "
        + QByteArray::number(p.run->cycles) + ", drawer " + QByteArray::number(p.drawer);
    if (p.openSince && p.now - *p.openSince >= 1s)
        text += " open " + spanText(p.now - *p.openSince) + ", close it";
    text += ": opened " + QByteArray::number(p.opened) + ", failed " + QByteArray::number(p.failed);
    if (p.run->kickToOpen.count() > 0)
        text += ", median kick to open "
            + QByteArray::number(double(p.run->kickToOpen.percentile(50).count()) / 1000, 'f', 0)
            + " ms";
    if (p.done > 0)
        text += ", about "
            + spanText(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                (p.now - p.started) * (double(p.total - p.done) / double(p.done))))
            + " left";
    return text;
}

void CycleOutput::read(const CycleProgress &p)
{
    if (!m_terminal)
        return;
    if (p.openSince != m_bellsFor) {
        m_bellsFor = p.openSince;
        m_bells = 0;
    }
    bool bell = false;
    if (p.openSince) {
        const long long due = (p.now - *p.openSince) / BellAfter;
        bell = due > m_bells;
        m_bells = std::max(m_bells, due);
    }
    if (!bell && m_drawn && p.now - m_drawnAt < RedrawEvery)
        return;
    m_drawn = true;
    m_drawnAt = p.now;
    QByteArray shown = line(p);
    if (m_columns > 1)
        shown.truncate(m_columns - 1);
    const QByteArray text = '\r' + shown + "\x1b[K" + (bell ? "\a" : "");
    std::fwrite(text.constData(), 1, std::size_t(text.size()), m_progress);
    std::fflush(m_progress);
}

void CycleOutput::cycleEnded(const CycleRecord &record, const CycleProgress &p)
{
    if (m_csv)
        writeCsv(cycleCsvRow(record));
    if (m_terminal) {
        read(p);
        return;
    }
    const int tenths = p.total > 0 ? int(p.done * 10 / p.total) : 10;
    if (tenths <= m_tenths)
        return;
    m_tenths = tenths;
    const QByteArray text = "crtest: " + QByteArray::number(p.done) + " of "
        + QByteArray::number(p.total) + " cycles done; " + line(p) + '\n';
    std::fwrite(text.constData(), 1, std::size_t(text.size()), m_progress);
    std::fflush(m_progress);
}

void CycleOutput::finish()
{
    if (m_terminal && m_drawn) {
        std::fputs("\r\x1b[K", m_progress);
        std::fflush(m_progress);
    }
}

void CycleOutput::writeCsv(const QByteArray &text)
{
    if (m_csvFailed)
        return;
    bool written = std::fwrite(text.constData(), 1, std::size_t(text.size()), m_csv)
            == std::size_t(text.size())
        && std::fflush(m_csv) == 0;
#ifndef _WIN32
    // A pipe or a terminal cannot be synced, and needs not be.
    written = written && (fdatasync(fileno(m_csv)) == 0 || errno == EINVAL);
#endif
    if (written)
        return;
    m_csvFailed = true;
    finish();
    std::fprintf(m_progress, "crtest: the CSV file could not be written: %s\n",
                 std::strerror(errno));
}
