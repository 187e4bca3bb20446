// The cycle run on a scripted driver, with a clock that only its waits move: for each way a
// drawer can fail, the faults counted, the problem named, the exit status, what the terminal
// was shown and the CSV rows filed.
#include "cycleoutput.h"
#include "drawerdriver.h"

#include <QTest>
#include <QtEndian>

#include <csignal>
#include <cstdio>

using namespace std::chrono_literals;

namespace {

// Each drawer reads as its script says, one letter a read (c closed, o open, n not present),
// closed once the script runs out. Counts grow as a controller's do, unless told to miss. The
// clock moves only with the run's waits; a signal may come in the n-th wait.
struct Scripted : DrawerDriver, CheckWaits
{
    std::array<QByteArray, DrawerCount> reads;
    int32_t kickStatus = 0;
    bool missCounts = false;
    quint32 good = 100, failed = 0;
    QByteArray calls;
    std::chrono::steady_clock::time_point clock;
    int waits = 0, signalAt = 0;

    int32_t openBexor() override { return 0; }
    int32_t closeBexor() override { return calls += " Close", 0; }
    int32_t drawerOpen(int32_t drawer) override
    {
        calls += " Kick" + QByteArray::number(drawer);
        kickStatus == 0 ? good += !missCounts : ++failed;
        return kickStatus;
    }
    int32_t drawerState(int32_t drawer) override
    {
        const char read = reads[drawer].isEmpty() ? 'c' : reads[drawer].front();
        reads[drawer].remove(0, 1);
        return read == 'n' ? -1 : 16 * drawer + (read == 'c');
    }
    int32_t retrieveStatistics(int16_t, int32_t, uint8_t *buffer, int16_t) override
    {
        std::fill(buffer, buffer + 106, 0);
        qToLittleEndian(good, buffer + 98);
        qToLittleEndian(failed, buffer + 102);
        return 0;
    }
    int wait(std::chrono::milliseconds duration) override
    {
        clock += duration;
        return ++waits == signalAt ? SIGINT : 0;
    }
    int pendingSignal() override { return 0; }
    std::chrono::steady_clock::time_point now() override { return clock; }
};

// A run: a read every 100 ms, 300 ms to open. Each script begins after the check's own read
// of the drawer; a signal may come in the n-th wait.
struct Run
{
    int cycles = 1;
    QList<int> drawers {0};
    QByteArrayList scripts;
    int32_t kickStatus = 0;
    bool missCounts = false;
    int signalAt = 0;
    std::chrono::milliseconds closeTimeout = 1s;

    Report on(Scripted &driver, CycleWatcher &output) const
    {
        for (int i = 0; i < drawers.size(); ++i)
            driver.reads[drawers[i]] = "c" + scripts[i];
        driver.kickStatus = kickStatus;
        driver.missCounts = missCounts;
        driver.signalAt = signalAt;
        const CycleSetup setup {{&driver, {}, "scripted", true, drawers, 0}, cycles, 100ms, 300ms,
                                closeTimeout};
        return runCycles(setup, driver, output);
    }
};

// Percentiles are kept to within 1.6 %: whole tens of milliseconds tell the ranks apart.
QString tenMs(Microseconds time)
{
    return QString::number(qRound(double(time.count()) / 10000) * 10);
}

QByteArray contents(std::FILE *file)
{
    QByteArray text(1 << 16, '\0');
    std::rewind(file);
    text.resize(qsizetype(std::fread(text.data(), 1, std::size_t(text.size()), file)));
    std::fclose(file);
    return text;
}

} // namespace

Q_DECLARE_METATYPE(Run)

class CyclesTest : public QObject
{
    Q_OBJECT

private slots:
    // What each drawer's cycles found, in the order kicked: done, opened, the cycles with each
    // fault (did not open, did not close, bounced, not present), kick to open min, median, 90th
    // percentile and max, the median open time; then the exit status and the CSV rows (drawer,
    // cycle); and the problems the report names.
    void faults_data()
    {
        QTest::addColumn<Run>("run");
        QTest::addColumn<QString>("found");
        QTest::addColumn<QStringList>("problems");
        const auto row = [](const char *name, const Run &run, const char *found,
                            const QStringList &problems = {}) {
            QTest::newRow(name) << run << QString(found) << problems;
        };
        const QString notOpened = "Drawer 0 did not open within 300 ms in %1 of %1 cycles, first "
                                  "in cycle 1: DrawerOpen returned %2.";
        // In turns, in the order given. Times to open of 100, 200 and 300 ms: the median and
        // the 90th percentile are taken by rank; open 100 ms each, closed on two reads.
        row("two drawers, three cycles", {3, {1, 0}, {"coccccocccccocc", "cocccocccocc"}},
            "1: 3 done 3 opened 0000 100/200/300/300 100 | 0: 3 done 3 opened 0000 "
            "100/100/100/100 100 => 0: 1,1 0,1 1,2 0,2 1,3 0,3");
        // A dead solenoid: nothing counted either, where a failed opening should have been.
        row("kicked, stays shut", {2, {0}, {""}, 0, true}, "0: 2 done 0 opened 2000 => 6: 0,1 0,2",
            {notOpened.arg(2).arg("0 each time: the driver reported a failure as a success"),
             "The controller's counts disagree with what was seen: good opens 0 against 0 "
             "openings, failed opens 0 against 2 kicks that did not open."});
        row("kick refused", {2, {0}, {""}, 7}, "0: 2 done 0 opened 2000 => 6: 0,1 0,2",
            {notOpened.arg(2).arg("7 the last time")});
        row("reads closed, then open again", {2, {0}, {"cocoooocccocc"}},
            "0: 2 done 2 opened 0010 100/100/100/100 100 => 8: 0,1 0,2",
            {"Drawer 0's sensor bounced (it read closed, then open again) in 1 of 2 cycles, first "
             "in cycle 1."});
        // Open from 100 ms to past 1100 ms; never kicked again.
        row("left open", {3, {0}, {"c" + QByteArray(12, 'o')}},
            "0: 1 done 1 opened 0100 100/100/100/100 => 7: 0,1",
            {"Drawer 0 did not close within 1 s in cycle 1; its cycles stopped there."});
        row("gone in the middle", {3, {0}, {"cocccon"}},
            "0: 2 done 2 opened 0001 100/100/100/100 100 => 10: 0,1 0,2",
            {"Drawer 0 read not present in cycle 2; its cycles stopped there."});
        row("a missed count", {2, {0}, {"cocccocc"}, 0, true},
            "0: 2 done 2 opened 0000 100/100/100/100 100 => 9: 0,1 0,2",
            {"The controller's counts disagree with what was seen: good opens 0 against 2 "
             "openings, failed opens 0 against 0 kicks that did not open."});
        // Eight waits for the check's reads, four a cycle: the 18th is in the third cycle, which
        // is left out; the counts are not compared.
        row("SIGINT in the third cycle", {5, {0}, {"cocccocccocc"}, 0, false, 18},
            "0: 2 done 2 opened 0000 100/100/100/100 100 => 130: 0,1 0,2");
    }
    void faults()
    {
        QFETCH(Run, run);
        QFETCH(QStringList, problems);
        Scripted driver;
        std::FILE *progress = std::tmpfile(), *csv = std::tmpfile();
        CycleOutput output(progress, false, csv);
        const Report report = run.on(driver, output);
        contents(progress);

        QStringList found;
        for (const DrawerCycles &d : report.cycles.drawers) {
            const TimeHistogram &opening = d.kickToOpen;
            found << QString("%1: %2 done %3 opened ").arg(d.drawer).arg(d.done).arg(d.opened);
            for (const int f : d.faults)
                found.last() += QString::number(f);
            if (opening.count())
                found.last() += QString(" %1/%2/%3/%4")
                                        .arg(tenMs(opening.min()), tenMs(opening.percentile(50)),
                                             tenMs(opening.percentile(90)), tenMs(opening.max()));
            if (d.openTime.count())
                found.last() += ' ' + tenMs(d.openTime.percentile(50));
        }
        // A row for each cycle that ended, in the order they ended, under the header.
        QByteArrayList rows = contents(csv).split('\n');
        QCOMPARE(rows.takeFirst(), cycleCsvHeader().trimmed());
        for (QByteArray &row : rows)
            row = row.left(row.indexOf(',', row.indexOf(',') + 1));
        QTEST(QString("%1 => %2: %3")
                      .arg(found.join(" | "))
                      .arg(exitStatusOf(report))
                      .arg(rows.join(' ').trimmed()),
              "found");
        for (const QString &problem : problems)
            QVERIFY2(problemsOf(report).contains(problem), qPrintable(problemsOf(report).join('\n')));
        QVERIFY(driver.calls.endsWith(" Close") && driver.calls.count("Close") == 1);
    }

    // On a terminal 50 columns wide: the line is redrawn at most four times a second, cut to
    // the width, names the drawer to close, and rings the bell every 5 s while it stays open:
    // here 12 s before its kick.
    void terminal()
    {
        Scripted driver;
        std::FILE *progress = std::tmpfile();
        CycleOutput output(progress, true, nullptr, 50);
        const Run run {1, {3}, {QByteArray(120, 'o') + "cocc"}, 0, false, 0, 1min};
        QCOMPARE(exitStatusOf(run.on(driver, output)), 0);
        output.finish();
        const QByteArray shown = contents(progress);
        QCOMPARE(shown.count('\a'), 2);
        QVERIFY(shown.contains("\rcycle 1 of 1, drawer 3 open 5 s, close it: opened\x1b[K\a"));
        QVERIFY(shown.count('\r') <= 4 * 13 + 2);
        QVERIFY(shown.endsWith("\r\x1b[K"));
    }
};

QTEST_GUILESS_MAIN(CyclesTest)
#include "tst_cycles.moc"
