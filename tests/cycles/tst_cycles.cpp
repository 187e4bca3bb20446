// The cycle run on a scripted driver, with a clock that only its waits move: for each way a
// drawer can fail, the faults counted, the problem named, the exit status, what the terminal
// was shown and the CSV rows filed.
#include "cycleoutput.h"
#include "drawerdriver.h"

#include <QTest>
#include <QtEndian>

#include <csignal>
#include <cstdio>

namespace {

// Each drawer reads as its script says, one letter a read (c closed, o open, n not present),
// closed once the script runs out. Counts grow as a controller's do, unless told to miss.
struct ScriptedDriver : DrawerDriver
{
    std::array<QByteArray, DrawerCount> reads;
    std::array<int, DrawerCount> next {};
    int32_t kickStatus = 0;
    bool missCounts = false;
    quint32 good = 100, failed = 0;
    QByteArray calls;

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
        const char read = next[drawer] < reads[drawer].size() ? reads[drawer][next[drawer]++] : 'c';
        return read == 'n' ? -1 : 16 * drawer + (read == 'c');
    }
    int32_t retrieveStatistics(int16_t, int32_t, uint8_t *buffer, int16_t) override
    {
        std::fill(buffer, buffer + 106, 0);
        qToLittleEndian(good, buffer + 98);
        qToLittleEndian(failed, buffer + 102);
        return 0;
    }
};

struct ScriptedWaits : CheckWaits
{
    std::chrono::steady_clock::time_point clock;
    int waits = 0, signalAt = 0;
    int wait(std::chrono::milliseconds duration) override
    {
        clock += duration;
        return ++waits == signalAt ? SIGINT : 0;
    }
    int pendingSignal() override { return 0; }
    std::chrono::steady_clock::time_point now() override { return clock; }
};

// Percentiles are kept to within 1.6 %: whole tens of milliseconds tell the ranks apart.
int tenMs(Microseconds time)
{
    return qRound(double(time.count()) / 10000) * 10;
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

class CyclesTest : public QObject
{
    Q_OBJECT

private slots:
    // A read every 100 ms; 300 ms to open, 1 s to close. Each script begins after the
    // check's own read of the drawer.
    void faults_data()
    {
        QTest::addColumn<int>("cycles");
        QTest::addColumn<QList<int>>("drawers");
        QTest::addColumn<QByteArrayList>("scripts");
        QTest::addColumn<int>("kickStatus");
        QTest::addColumn<bool>("missCounts");
        QTest::addColumn<int>("signalAt");
        QTest::addColumn<QString>("found");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("rows");
        const auto row = [](const char *name, int cycles, QList<int> drawers,
                            QByteArrayList scripts, int kick, bool miss, int signal, QString found,
                            QString problem, int status, QByteArray rows) {
            QTest::newRow(name) << cycles << drawers << scripts << kick << miss << signal << found
                                << problem << status << rows;
        };
        // In turns, in the order given. Times to open of 100, 200 and 300 ms: the median and
        // the 90th percentile are taken by rank; open 100 ms each, closed on two reads.
        row("two drawers, three cycles", 3, {1, 0}, {"coccccocccccocc", "cocccocccocc"}, 0, false,
            0,
            "0: 3 done 3 opened 0000 100/100/100/100 100 | 1: 3 done 3 opened 0000 100/200/300/300 "
            "100",
            "", 0, "1,1 0,1 1,2 0,2 1,3 0,3");
        row("kicked, stays shut", 2, {0}, {""}, 0, false, 0, "0: 2 done 0 opened 2000",
            "Drawer 0 did not open within 300 ms in 2 of 2 cycles, first in cycle 1: DrawerOpen "
            "returned 0 each time: the driver reported a failure as a success.",
            6, "0,1 0,2");
        row("kick refused", 1, {0}, {"c"}, 7, false, 0, "0: 1 done 0 opened 1000",
            "Drawer 0 did not open within 300 ms in 1 of 1 cycles, first in cycle 1: DrawerOpen "
            "returned 7.",
            6, "0,1");
        row("reads closed, then open again", 2, {0}, {"cocoooocccocc"}, 0, false, 0,
            "0: 2 done 2 opened 0010 100/100/100/100 100",
            "Drawer 0's sensor bounced (it read closed, then open again) in 1 of 2 cycles, first "
            "in "
            "cycle 1.",
            8, "0,1 0,2");
        // Open from 100 ms to past 1100 ms; never kicked again.
        row("left open", 3, {0}, {"c" + QByteArray(12, 'o')}, 0, false, 0,
            "0: 1 done 1 opened 0100 100/100/100/100",
            "Drawer 0 did not close within 1 s in cycle 1; "
            "its cycles stopped there.",
            7, "0,1");
        row("gone in the middle", 3, {0}, {"cocccon"}, 0, false, 0,
            "0: 2 done 2 opened 0001 100/100/100/100 100",
            "Drawer 0 read not present in cycle 2; its "
            "cycles stopped there.",
            10, "0,1 0,2");
        row("a missed count", 2, {0}, {"cocccocc"}, 0, true, 0,
            "0: 2 done 2 opened 0000 100/100/100/100 100",
            "The controller's counts disagree with what was seen: good opens 0 against 2 openings, "
            "failed opens 0 against 0 kicks that did not open.",
            9, "0,1 0,2");
        // Eight waits for the check's reads, four a cycle: the 18th is in the third cycle, which
        // is left out; the counts are not compared.
        row("SIGINT in the third cycle", 5, {0}, {"cocccocccocc"}, 0, false, 18,
            "0: 2 done 2 opened 0000 100/100/100/100 100", "", 130, "0,1 0,2");
    }
    void faults()
    {
        QFETCH(int, cycles);
        QFETCH(QList<int>, drawers);
        QFETCH(QByteArrayList, scripts);
        ScriptedDriver driver;
        for (int i = 0; i < drawers.size(); ++i)
            driver.reads[drawers[i]] = "c" + scripts[i];
        QFETCH(int, kickStatus);
        driver.kickStatus = kickStatus;
        QFETCH(bool, missCounts);
        driver.missCounts = missCounts;
        ScriptedWaits waits;
        QFETCH(int, signalAt);
        waits.signalAt = signalAt;
        std::FILE *progress = std::tmpfile(), *csv = std::tmpfile();
        CycleOutput output(progress, false, csv);
        const CycleSetup setup {{&driver, {}, "scripted", true, drawers, 0},
                                cycles,
                                std::chrono::milliseconds(100),
                                std::chrono::milliseconds(300),
                                std::chrono::milliseconds(1000)};
        const Report report = runCycles(setup, waits, output);

        QStringList found;
        for (int n = 0; n < DrawerCount; ++n)
            for (const DrawerCycles &d : report.cycles.drawers) {
                if (d.drawer != n)
                    continue;
                QString text = QString("%1: %2 done %3 opened ").arg(n).arg(d.done).arg(d.opened);
                for (const int f : d.faults)
                    text += QString::number(f);
                if (const TimeHistogram &h = d.kickToOpen; h.count())
                    text += QString(" %1/%2/%3/%4")
                                .arg(tenMs(h.min()))
                                .arg(tenMs(h.percentile(50)))
                                .arg(tenMs(h.percentile(90)))
                                .arg(tenMs(h.max()));
                if (d.openTime.count())
                    text += QString(" %1").arg(tenMs(d.openTime.percentile(50)));
                found << text;
            }
        QTEST(found.join(" | "), "found");
        QFETCH(QString, problem);
        if (!problem.isEmpty())
            QVERIFY2(problemsOf(report).contains(problem),
                     qPrintable(problemsOf(report).join('\n')));
        QTEST(exitStatusOf(report), "status");
        QVERIFY(driver.calls.endsWith(" Close") && driver.calls.count("Close") == 1);
        // A row for each cycle that ended, in the order they ended, under the header.
        QByteArrayList rows = contents(csv).split('\n');
        QCOMPARE(rows.takeFirst(), cycleCsvHeader().trimmed());
        for (QByteArray &row : rows)
            row = row.left(row.indexOf(',', row.indexOf(',') + 1));
        QTEST(rows.join(' ').trimmed(), "rows");
        contents(progress);
    }

    // On a terminal 50 columns wide: the line is redrawn at most four times a second, cut to
    // the width, names the drawer to close, and rings the bell every 5 s while it stays open:
    // here 12 s before its kick.
    void terminal()
    {
        ScriptedDriver driver;
        driver.reads[3] = "c" + QByteArray(120, 'o') + "cocc";
        ScriptedWaits waits;
        std::FILE *progress = std::tmpfile();
        CycleOutput output(progress, true, nullptr, 50);
        const CycleSetup setup {{&driver, {}, "scripted", true, {3}, 0},
                                1,
                                std::chrono::milliseconds(100),
                                std::chrono::milliseconds(300),
                                std::chrono::minutes(1)};
        QCOMPARE(exitStatusOf(runCycles(setup, waits, output)), 0);
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
