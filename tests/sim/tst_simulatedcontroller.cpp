// The simulated controller, loaded through the real binding and called through the five
// driver functions. Its state is static to the library, so every test opens it and
// cleanup() closes it; its settings are read at each open.
#include "bexorlibrary.h"

#include <QtTest>

class TestSimulatedController : public QObject
{
    Q_OBJECT

    QString loadError;
    const std::unique_ptr<BexorLibrary> sim = BexorLibrary::load(SIM_LIBRARY_PATH, &loadError);
    // The last statistics read: 106 bytes, then a guard that shows any overrun.
    QByteArray buffer;

    int retrieve(short unit = 0, int selector = 15, int length = 106)
    {
        buffer.fill(char(0xAA), 129);
        auto *data = reinterpret_cast<uint8_t *>(buffer.data());
        return sim->retrieveStatistics(unit, selector, data, short(length));
    }
    int count(int offset)
    {
        return retrieve() == 0 ? qFromLittleEndian<qint32>(buffer.constData() + offset) : -1;
    }

private slots:
    void initTestCase() { QVERIFY2(sim, qPrintable(loadError)); }
    // Every row starts from the defaults, then sets its own "NAME=value" setting, if any
    // (NAME without the common BEXOR_SIM_); every test here has a "setting" column.
    void init()
    {
        for (const char *name : {"PRESENT", "OPEN_MS", "OPEN_FAIL", "KICK_FAIL", "STATS_FAIL"})
            qunsetenv(QByteArray("BEXOR_SIM_") + name);
        QFETCH(QByteArray, setting);
        if (const auto eq = setting.indexOf('='); eq > 0)
            qputenv("BEXOR_SIM_" + setting.left(eq), setting.mid(eq + 1));
    }
    void cleanup() { sim->closeBexor(); }

    // A drawer's state code before and after a kick, the kick's status and how much the good
    // (offset 98) and failed (offset 102) counts grow. A kicked drawer stays open 3 s by
    // default, ample for the read right after the kick.
    void kick_data()
    {
        QTest::addColumn<QByteArray>("setting");
        QTest::addColumn<int>("drawer");
        // State, kick, state, good +, failed +.
        QTest::addColumn<QList<int>>("results");
        const auto row = [](const char *name, const char *setting, int drawer, QList<int> results) {
            QTest::newRow(name) << QByteArray(setting) << drawer << results;
        };
        row("drawer 0 closed is 1, not its open code 0", "", 0, {1, 0, 0, 1, 0});
        row("drawer 3 present by default", "", 3, {49, 0, 48, 1, 0});
        row("drawer 4 absent by default", "", 4, {-1, 4, -1, 0, 1});
        row("slot 8", "", 8, {-1, 3, -1, 0, 0});
        row("slot -1", "", -1, {-1, 3, -1, 0, 0});
        row("listed", "PRESENT=1,5", 5, {81, 0, 80, 1, 0});
        row("not listed", "PRESENT=1,5", 0, {-1, 4, -1, 0, 1});
        row("listed with spaces", "PRESENT= 2 , 6 ", 6, {97, 0, 96, 1, 0});
        row("none present", "PRESENT=none", 2, {-1, 4, -1, 0, 1});
        row("unreadable list keeps the default", "PRESENT=0,8", 3, {49, 0, 48, 1, 0});
        row("jammed", "KICK_FAIL=7", 2, {33, 7, 33, 0, 1});
        row("open 0 ms shuts at once", "OPEN_MS=0", 1, {17, 0, 17, 1, 0});
        row("open time negative ignored", "OPEN_MS=-5", 1, {17, 0, 16, 1, 0});
    }
    void kick()
    {
        QFETCH(int, drawer);
        QCOMPARE(sim->openBexor(), 0);
        const int good = count(98), failed = count(102);
        const int before = sim->drawerState(drawer), status = sim->drawerOpen(drawer);
        const int after = sim->drawerState(drawer);
        const QList<int> results{before, status, after, count(98) - good, count(102) - failed};
        QTEST(results, "results");
    }

    // The 106-byte block is written for unit 0 and selector 15 only, once open; anything
    // else gets a status and not a byte. Until an open succeeds, and after a close, every
    // call fails with 1.
    void statistics_data()
    {
        QTest::addColumn<QByteArray>("setting");
        // The statuses of successive opens.
        QTest::addColumn<QList<int>>("opens");
        // Unit, selector, length.
        QTest::addColumn<QList<int>>("request");
        QTest::addColumn<int>("status");
        const auto row = [](const char *name, const char *setting, QList<int> opens,
                            QList<int> request, int status) {
            QTest::newRow(name) << QByteArray(setting) << opens << request << status;
        };
        row("valid", "", {0}, {0, 15, 106}, 0);
        row("short", "", {0}, {0, 15, 105}, 5);
        row("long", "", {0}, {0, 15, 107}, 5);
        row("selector", "", {0}, {0, 14, 106}, 5);
        row("unit", "", {0}, {1, 15, 106}, 5);
        row("injected", "STATS_FAIL=9", {0}, {0, 15, 106}, 9);
        row("injected unreadable", "STATS_FAIL=bad", {0}, {0, 15, 106}, 0);
        row("never opened", "", {}, {0, 15, 106}, 1);
        row("closed again", "", {0}, {0, 15, 106}, 1);
        row("closed after a harmless reopen", "", {0, 0}, {0, 15, 106}, 1);
        row("open fails always", "OPEN_FAIL=always", {2, 2}, {0, 15, 106}, 1);
        // "once" is spent for the whole process: the retry succeeds, and no other row may use it.
        row("open fails once", "OPEN_FAIL=once", {2, 0}, {0, 15, 106}, 0);
        row("unknown open failure ignored", "OPEN_FAIL=sometimes", {0}, {0, 15, 106}, 0);
    }
    void statistics()
    {
        QFETCH(QList<int>, opens);
        QFETCH(QList<int>, request);
        QFETCH(int, status);
        for (int result : opens)
            QCOMPARE(sim->openBexor(), result);
        // A row that expects the controller closed after a successful open closes it.
        if (status == 1 && opens.value(opens.size() - 1, -1) == 0)
            QCOMPARE(sim->closeBexor(), 0);
        QCOMPARE(retrieve(request[0], request[1], request[2]), status);
        const int written = status == 0 ? 106 : 0;
        QCOMPARE(buffer.mid(written), QByteArray(129 - written, char(0xAA)));
        // The shown records, and last the failed count's highest byte.
        if (written)
            QCOMPARE(buffer.mid(46, 44) + buffer.at(105),
                     QByteArray("SIMULATED-0001\0\0" "20240115" "R2.0" "\0\0\0\0\0\0\0\0"
                                "20240301" "\0", 45));
        if (status == 1)
            QCOMPARE(QList<int>({sim->drawerState(0), sim->drawerOpen(0), sim->closeBexor()}),
                     QList<int>({-1, 1, 1}));
        // Never without a buffer.
        QCOMPARE(sim->retrieveStatistics(0, 15, nullptr, 106), status == 1 ? 1 : 5);
    }
};

QTEST_GUILESS_MAIN(TestSimulatedController)
#include "tst_simulatedcontroller.moc"
