// The simulated controller through the five driver functions, loaded through the real
// binding: what the window does not show of it. Its default drawers and block are proven
// through the window. Its state is static to the library, so every row opens it and ends
// closing it; its settings are read at each open.
#include "bexorlibrary.h"

#include <QtTest>

#include <cstdio>
#include <unistd.h>

class SimulatedControllerTest : public QObject
{
    Q_OBJECT

    QString loadError;
    const std::unique_ptr<BexorLibrary> sim = BexorLibrary::load(SIM_LIBRARY_PATH, &loadError);
    QByteArray buffer; // the last statistics read: 106 bytes, then a guard that shows any overrun

    // A read's status, or INT_MIN if it wrote beyond the 106 bytes asked, or wrote at all
    // without succeeding.
    int retrieve(short unit = 0, int selector = 15, int length = 106)
    {
        buffer.fill(char(0xAA), 129);
        const int status = sim->retrieveStatistics(
            unit, selector, reinterpret_cast<uint8_t *>(buffer.data()), short(length));
        const int written = status == 0 ? 106 : 0;
        return buffer.mid(written) == QByteArray(129 - written, char(0xAA)) ? status : INT_MIN;
    }
    int count(int offset)
    {
        return retrieve() == 0 ? qFromLittleEndian<qint32>(buffer.constData() + offset) : -1;
    }

private slots:
    void initTestCase() { QVERIFY2(sim, qPrintable(loadError)); }
    void cleanup() { sim->closeBexor(); }

    // Each row starts from the defaults, then sets its own "NAME=value" settings, if any,
    // separated by ";" (NAME without the common BEXOR_SIM_). Two opens, a drawer's state code
    // before and after its kick, the kick's status, how much the good (offset 98) and failed
    // (offset 102) counts grew, and the status of a read. A kicked drawer stays open 3 s by
    // default, ample for the read right after the kick; counts that cannot be read show no
    // growth. Last, the settings the opens reported on standard error as ignored, a line each.
    void controller_data()
    {
        QTest::addColumn<QByteArray>("setting");
        QTest::addColumn<int>("drawer");
        QTest::addColumn<QList<int>>("results");
        QTest::addColumn<QByteArrayList>("ignored");
        const auto row = [](const char *name, const char *setting, int drawer, QList<int> results,
                            QByteArrayList ignored = {}) {
            QTest::newRow(name) << QByteArray(setting) << drawer << results << ignored;
        };
        row("listed, spaces around", "PRESENT= 1 , 5 ", 5, {0, 0, 81, 0, 80, 1, 0, 0});
        row("not listed", "PRESENT=1,5", 0, {0, 0, -1, 4, -1, 0, 1, 0});
        row("none present", "PRESENT=none", 2, {0, 0, -1, 4, -1, 0, 1, 0});
        row("empty item ignored", "PRESENT=1,,5", 5, {0, 0, -1, 4, -1, 0, 1, 0}, {"PRESENT"});
        // Ignored: drawer 3 is present as by default, and stays open after its kick.
        row("slot 8, open time negative", "PRESENT=0,8;OPEN_MS=-5", 3, {0, 0, 49, 0, 48, 1, 0, 0},
            {"PRESENT", "OPEN_MS"});
        row("jammed", "KICK_FAIL=7", 2, {0, 0, 33, 7, 33, 0, 1, 0});
        row("open 0 ms shuts at once", "OPEN_MS=0", 1, {0, 0, 17, 0, 17, 1, 0, 0});
        // A blank setting is unset, without a word: the drawer stays open the default time.
        row("read failure injected, blank open time", "STATS_FAIL=9;OPEN_MS= ", 1,
            {0, 0, 17, 0, 16, 0, 0, 9});
        row("open time and failure past 32 bits", "OPEN_MS=2147483648;STATS_FAIL=4294967296", 1,
            {0, 0, 17, 0, 16, 1, 0, 0}, {"OPEN_MS", "STATS_FAIL"});
        row("open fails always", "OPEN_FAIL=always", 1, {2, 2, -1, 1, -1, 0, 0, 1});
        // "once" is spent for the whole process: the retry succeeds, and no other row may use it.
        row("open fails once", "OPEN_FAIL=once", 1, {2, 0, 17, 0, 16, 1, 0, 0});
        // Spelt exactly or ignored; a line for each, in the order they are read, and the good
        // setting still applies.
        row("three ignored, one applied", "OPEN_FAIL=Always;PRESENT=3;OPEN_MS=0ms;KICK_FAIL=x", 3,
            {0, 0, 49, 0, 48, 1, 0, 0}, {"OPEN_FAIL", "OPEN_MS", "KICK_FAIL"});
        // The faults a cycle run looks for: a kick that reports success and moves nothing, a
        // drawer still shut just after its kick, a good opening left uncounted.
        row("dead solenoid", "DEAD=0,2", 2, {0, 0, 33, 0, 33, 0, 0, 0});
        row("slow to open", "OPEN_LATENCY_MS=60000", 1, {0, 0, 17, 0, 17, 1, 0, 0});
        row("every opening uncounted", "COUNT_SKIP=1", 1, {0, 0, 17, 0, 16, 0, 0, 0});
        row("four faults ignored", "BOUNCE=8;DEAD=all;OPEN_LATENCY_MS=1s;COUNT_SKIP=-2", 2,
            {0, 0, 33, 0, 32, 1, 0, 0}, {"BOUNCE", "DEAD", "OPEN_LATENCY_MS", "COUNT_SKIP"});
    }
    void controller()
    {
        QFETCH(QByteArray, setting);
        QFETCH(int, drawer);
        QFETCH(QByteArrayList, ignored);
        for (const char *name : {"PRESENT", "OPEN_MS", "OPEN_FAIL", "KICK_FAIL", "STATS_FAIL", "BOUNCE",
                                 "DEAD", "OPEN_LATENCY_MS", "COUNT_SKIP"})
            qunsetenv(QByteArray("BEXOR_SIM_") + name);
        for (const QByteArray &one : setting.split(';'))
            if (const auto eq = one.indexOf('='); eq > 0)
                qputenv("BEXOR_SIM_" + one.left(eq), one.mid(eq + 1));
        // The simulator shares standard error with the test: catch what the opens write there.
        std::FILE *captured = std::tmpfile();
        const int saved = dup(2);
        dup2(fileno(captured), 2);
        const int first = sim->openBexor(), second = sim->openBexor();
        dup2(saved, 2);
        close(saved);
        QFile said;
        QVERIFY(said.open(captured, QIODevice::ReadOnly, QFile::AutoCloseHandle) && said.seek(0));
        const int good = count(98), failed = count(102); // in the order listed
        QTEST((QList<int> {first, second, sim->drawerState(drawer), sim->drawerOpen(drawer),
                           sim->drawerState(drawer), count(98) - good, count(102) - failed,
                           retrieve()}),
              "results");
        // A line for each, naming it and its value, then what is done instead.
        QString expected;
        for (const QByteArray &one : setting.split(';'))
            if (ignored.contains(one.left(one.indexOf('='))))
                expected += QRegularExpression::escape("BEXOR_SIM_" + one + " ignored: ") + ".+\n";
        const QString written = said.readAll();
        QVERIFY2(QRegularExpression('^' + expected + '$').match(written).hasMatch(),
                 qPrintable(written));
        // While open, a read of another unit, selector or length, or without a buffer, is
        // refused.
        QCOMPARE((QList<int>{retrieve(1), retrieve(0, 14), retrieve(0, 15, 105), retrieve(0, 15, 107),
                             sim->retrieveStatistics(0, 15, nullptr, 106)}),
                 QList<int>(5, second == 0 ? 5 : 1));
        // Once closed, or never opened, every call fails.
        QCOMPARE(sim->closeBexor(), second == 0 ? 0 : 1);
        QCOMPARE((QList<int>{sim->drawerState(drawer), sim->drawerOpen(drawer), retrieve(),
                             sim->closeBexor()}),
                 (QList<int>{-1, 1, 1, 1}));
    }
};

QTEST_GUILESS_MAIN(SimulatedControllerTest)
#include "tst_simulatedcontroller.moc"
