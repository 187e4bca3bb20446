// A cycle run written out: its part of the text and JSON reports, and its CSV rows.
#include "report.h"
#include "reportwords.h"

#include <QJsonArray>
#include <QJsonObject>

namespace reportwords {

namespace {

QString drawerList(const CycleRun &run)
{
    QStringList numbers;
    for (const DrawerCycles &drawer : run.drawers)
        numbers << QString::number(drawer.drawer);
    return numbers.join(QLatin1Char(','));
}

QString readsText(const CycleRun &run)
{
    return run.interval.count() == 0
        ? QStringLiteral("reads back to back")
        : QStringLiteral("one read every %1").arg(durationText(run.interval));
}

// Whole milliseconds at the controller's pace; tenths when reads come faster than 10 ms.
QString msText(const CycleRun &run, Microseconds time)
{
    return QString::number(double(time.count()) / 1000, 'f', run.interval.count() >= 10 ? 0 : 1);
}

void appendTimes(QStringList &lines, const CycleRun &run, const char *title,
                 TimeHistogram DrawerCycles::*times)
{
    lines << QStringLiteral("%1, to within one read (%2), ms:")
                 .arg(QLatin1String(title), readsText(run));
    lines << QStringLiteral("  Drawer       Min    Median  90th pct       Max");
    for (const DrawerCycles &drawer : run.drawers) {
        const TimeHistogram &h = drawer.*times;
        QString line = QStringLiteral("  %1").arg(drawer.drawer, -6);
        if (h.count() == 0)
            line += QStringLiteral("  none");
        else
            for (const Microseconds t : {h.min(), h.percentile(50), h.percentile(90), h.max()})
                line += QStringLiteral("%1").arg(msText(run, t), 10);
        lines << line;
    }
}

QJsonValue timesJson(const TimeHistogram &h)
{
    if (h.count() == 0)
        return QJsonValue();
    const auto ms = [](Microseconds t) { return double(t.count()) / 1000; };
    return QJsonObject {{"min", ms(h.min())},
                        {"median", ms(h.percentile(50))},
                        {"p90", ms(h.percentile(90))},
                        {"max", ms(h.max())}};
}

QString faultKey(int fault)
{
    return QString::fromLatin1(CycleFaultKeys[fault]).replace(QLatin1Char('-'), QLatin1Char('_'));
}

} // namespace

void appendCycleHeader(QStringList &lines, const Report &report)
{
    const CycleRun &run = report.cycles;
    const StatisticsResult &statistics = report.found.statistics;
    if (statistics.hasValues())
        lines << QStringLiteral("Unit: serial number %1, mechanical revision %2")
                     .arg(printableText(statistics.values[shownIndexOf(5)]),
                          printableText(statistics.values[shownIndexOf(7)]));
    lines << QStringLiteral("Health check: %1 (each drawer kicked and read until it opened and "
                            "closed again)")
                 .arg(healthLevel(report));
    lines << QStringLiteral("Asked: %1 cycles of drawers %2, %3, open timeout %4, close timeout %5")
                 .arg(run.cycles)
                 .arg(drawerList(run), readsText(run), durationText(run.openTimeout),
                      durationText(run.closeTimeout));
}

void appendCycleText(QStringList &lines, const Report &report)
{
    const CycleRun &run = report.cycles;
    lines << QStringLiteral("Cycles:");
    lines << QStringLiteral(
        "  Drawer  Done  Opened  Did not open  Did not close  Bounced  Not present");
    for (const DrawerCycles &d : run.drawers)
        lines << QStringLiteral("  %1%2%3%4%5%6%7")
                     .arg(d.drawer, -6)
                     .arg(d.done, 6)
                     .arg(d.opened, 8)
                     .arg(d.faults[0], 14)
                     .arg(d.faults[1], 15)
                     .arg(d.faults[2], 9)
                     .arg(d.faults[3], 13);
    appendTimes(lines, run, "Kick to open", &DrawerCycles::kickToOpen);
    appendTimes(lines, run, "Open time", &DrawerCycles::openTime);
    if (const auto counts = cycleCounts(report))
        lines << QStringLiteral(
                     "Counts: good opens %1 -> %2 (%3, drawers seen opening: %4), failed opens "
                     "%5 -> %6 (%7, kicks seen failing: %8): %9")
                     .arg(counts->goodBefore)
                     .arg(counts->goodAfter)
                     .arg(signedNumber(counts->goodChange()))
                     .arg(counts->opened)
                     .arg(counts->failedBefore)
                     .arg(counts->failedAfter)
                     .arg(signedNumber(counts->failedChange()))
                     .arg(counts->notOpened)
                     .arg(counts->agree() ? QStringLiteral("they agree")
                                          : QStringLiteral("they disagree"));
    else
        lines << QStringLiteral("Counts: not compared (%1)")
                     .arg(report.interruptedBy ? QStringLiteral("interrupted")
                                               : QStringLiteral("a statistics read gave none"));
}

QString cycleVerdict(const Report &report)
{
    const CycleRun &run = report.cycles;
    const qint64 asked = qint64(run.cycles) * run.drawers.size(), done = run.done();
    qint64 failed = 0;
    for (const DrawerCycles &drawer : run.drawers)
        failed += drawer.failed;
    const int status = exitStatusOf(report);
    if (report.interruptedBy)
        return QStringLiteral("Verdict: INTERRUPTED by %1 after %2 of %3 cycles, %4 of them with a "
                              "fault")
            .arg(signalName(report.interruptedBy))
            .arg(done)
            .arg(asked)
            .arg(failed);
    if (status == ExitStatus::AllWell)
        return QStringLiteral("Verdict: PASS: %1 of %2 cycles, each drawer opened and closed, the "
                              "counts agree")
            .arg(done)
            .arg(asked);
    return QStringLiteral("Verdict: FAIL: %1; %2 of %3 cycles done, %4 of them with a fault")
        .arg(statusMeaning(status))
        .arg(done)
        .arg(asked)
        .arg(failed);
}

QJsonValue cycleJson(const Report &report)
{
    const CycleRun &run = report.cycles;
    if (!run.asked)
        return QJsonValue();
    QJsonArray drawers;
    for (const DrawerCycles &d : run.drawers) {
        QJsonObject faults;
        for (int f = 0; f < CycleFaultCount; ++f)
            faults.insert(faultKey(f), d.faults[f]);
        drawers.append(QJsonObject {{"drawer", d.drawer},
                                    {"done", d.done},
                                    {"kicked", d.kicked},
                                    {"opened", d.opened},
                                    {"with_fault", d.failed},
                                    {"faults", faults},
                                    {"not_opened_after_success", d.notOpenedAfterSuccess},
                                    {"stopped", d.stopped},
                                    {"kick_to_open_ms", timesJson(d.kickToOpen)},
                                    {"open_time_ms", timesJson(d.openTime)}});
    }
    QJsonValue counts;
    if (const auto c = cycleCounts(report))
        counts = QJsonObject {{"good_before", c->goodBefore},
                              {"good_after", c->goodAfter},
                              {"failed_before", c->failedBefore},
                              {"failed_after", c->failedAfter},
                              {"opened", c->opened},
                              {"not_opened", c->notOpened},
                              {"agree", c->agree()}};
    return QJsonObject {{"cycles", run.cycles},
                        {"interval_ms", qint64(run.interval.count())},
                        {"open_timeout_ms", qint64(run.openTimeout.count())},
                        {"close_timeout_ms", qint64(run.closeTimeout.count())},
                        {"drawers", drawers},
                        {"statistics_after", statisticsJson(run.statisticsAfter)},
                        {"counts", counts}};
}

} // namespace reportwords

QByteArray cycleCsvHeader()
{
    QByteArray header = "drawer,cycle,kicked_at,kick_status,opened,kick_to_open_ms,open_time_ms";
    for (int f = 0; f < CycleFaultCount; ++f)
        header += ',' + reportwords::faultKey(f).toLatin1();
    return header + '\n';
}

QByteArray cycleCsvRow(const CycleRecord &record)
{
    const auto ms = [](const std::optional<Microseconds> &t) {
        return t ? QByteArray::number(double(t->count()) / 1000, 'f', 3) : QByteArray();
    };
    QByteArray row = QByteArray::number(record.drawer) + ',' + QByteArray::number(record.cycle)
        + ',' + (record.kickStatus ? isoTime(record.kickedAt).toLatin1() : QByteArray()) + ','
        + (record.kickStatus ? QByteArray::number(*record.kickStatus) : QByteArray()) + ','
        + (record.opened() ? "1" : "0") + ',' + ms(record.kickToOpen) + ',' + ms(record.openTime);
    for (const bool fault : record.faults)
        row += fault ? ",1" : ",0";
    return row + '\n';
}
