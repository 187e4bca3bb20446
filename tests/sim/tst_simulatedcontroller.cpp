// The simulated controller through the five driver functions, loaded through the real
// binding: what the window does not show of it. Its default drawers and block are proven
// through the window. Its state is static to the library, so every row opens it and ends
// closing it; its settings are read at each open.
#include "bexorlibrary.h"

#include <QtTest>

#include <cstdio>
#ifdef _WIN32
#  include <io.h>
#else
#  include <unistd.h>
#endif

// What the process writes to its standard error while this lives: the simulator shares the
// descriptor with the test, so its reports land here instead of the terminal.
class StandardErrorCapture
{
    std::FILE *file = std::tmpfile();
    int saved = -1;

public:
    StandardErrorCapture()
    {
        std::fflush(stderr);
        saved = dup(2);
        dup2(fileno(file), 2);
    }
    ~StandardErrorCapture()
    {
        restore();
        std::fclose(file);
    }
    void restore()
    {
        if (saved < 0)
            return;
        std::fflush(stderr);
        dup2(saved, 2);
        close(saved);
        saved = -1;
    }
    // Everything written so far; ends the capture.
    QByteArray text()
    {
        restore();
        QByteArray text;
        std::rewind(file);
        char chunk[512];
        while (const auto read = std::fread(chunk, 1, sizeof chunk, file))
            text.append(chunk, qsizetype(read));
        return text;
    }
};

class SimulatedControllerTest : public QObject
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
    // Every row starts from the defaults, then sets its own "NAME=value" settings, if any,
    // separated by ";" (NAME without the common BEXOR_SIM_).
    void init()
    {
        for (const char *name : {"PRESENT", "OPEN_MS", "OPEN_FAIL", "KICK_FAIL", "STATS_FAIL"})
            qunsetenv(QByteArray("BEXOR_SIM_") + name);
        QFETCH(QByteArray, setting);
        for (const QByteArray &one : setting.split(';'))
            if (const auto eq = one.indexOf('='); eq > 0)
                qputenv("BEXOR_SIM_" + one.left(eq), one.mid(eq + 1));
    }
    void cleanup() { sim->closeBexor(); }

    // Two opens, a drawer's state code before and after its kick, the kick's status, how much
    // the good (offset 98) and failed (offset 102) counts grew, and the status of a read of
    // the given unit, selector and length. A kicked drawer stays open 3 s by default, ample
    // for the read right after the kick; counts that cannot be read show no growth. Last, all
    // that the simulator wrote to standard error meanwhile: a line per setting it ignored.
    void controller_data()
    {
        QTest::addColumn<QByteArray>("setting");
        QTest::addColumn<int>("drawer");
        QTest::addColumn<QList<int>>("request");
        QTest::addColumn<QList<int>>("results");
        QTest::addColumn<QByteArray>("report");
        const auto row = [](const char *name, const char *setting, int drawer, QList<int> request,
                            QList<int> results, const QByteArray &report = {}) {
            QTest::newRow(name) << QByteArray(setting) << drawer << request << results << report;
        };
        const QList<int> valid{0, 15, 106};
        const QByteArray badList = " ignored: not slot numbers 0 to 7 separated by commas, nor "
                                   "none; drawers 0 to 3 are present\n";
        const QByteArray badTime = " ignored: not milliseconds from 0 to 2147483647; a kicked "
                                   "drawer stays open 3000 ms\n";
        const QByteArray badStatus = " ignored: not a status from -2147483648 to 2147483647; no "
                                     "failure is injected\n";
        const QByteArray badOpenFailure =
            " ignored: neither once nor always; the controller opens\n";
        row("present drawer opens", "", 3, valid, {0, 0, 49, 0, 48, 1, 0, 0});
        row("absent drawer", "", 4, valid, {0, 0, -1, 4, -1, 0, 1, 0});
        row("listed, spaces around", "PRESENT= 1 , 5 ", 5, valid, {0, 0, 81, 0, 80, 1, 0, 0});
        row("not listed", "PRESENT=1,5", 0, valid, {0, 0, -1, 4, -1, 0, 1, 0});
        row("none present", "PRESENT=none", 2, valid, {0, 0, -1, 4, -1, 0, 1, 0});
        row("empty list is unset", "PRESENT=", 3, valid, {0, 0, 49, 0, 48, 1, 0, 0});
        row("blank list is unset", "PRESENT=  ", 3, valid, {0, 0, 49, 0, 48, 1, 0, 0});
        row("slot 8 ignored", "PRESENT=0,8", 3, valid, {0, 0, 49, 0, 48, 1, 0, 0},
            "BEXOR_SIM_PRESENT=0,8" + badList);
        row("slot 9 ignored", "PRESENT=0,9", 0, valid, {0, 0, 1, 0, 0, 1, 0, 0},
            "BEXOR_SIM_PRESENT=0,9" + badList);
        row("empty item ignored", "PRESENT=1,,5", 5, valid, {0, 0, -1, 4, -1, 0, 1, 0},
            "BEXOR_SIM_PRESENT=1,,5" + badList);
        row("word list ignored", "PRESENT=all", 3, valid, {0, 0, 49, 0, 48, 1, 0, 0},
            "BEXOR_SIM_PRESENT=all" + badList);
        row("jammed", "KICK_FAIL=7", 2, valid, {0, 0, 33, 7, 33, 0, 1, 0});
        row("jam as a word ignored", "KICK_FAIL=seven", 2, valid, {0, 0, 33, 0, 32, 1, 0, 0},
            "BEXOR_SIM_KICK_FAIL=seven" + badStatus);
        row("no jam", "KICK_FAIL=0", 2, valid, {0, 0, 33, 0, 32, 1, 0, 0});
        row("open 0 ms shuts at once", "OPEN_MS=0", 1, valid, {0, 0, 17, 0, 17, 1, 0, 0});
        row("blank open time is unset", "OPEN_MS= ", 1, valid, {0, 0, 17, 0, 16, 1, 0, 0});
        row("open time negative ignored", "OPEN_MS=-5", 1, valid, {0, 0, 17, 0, 16, 1, 0, 0},
            "BEXOR_SIM_OPEN_MS=-5" + badTime);
        row("open time with unit ignored", "OPEN_MS=0ms", 1, valid, {0, 0, 17, 0, 16, 1, 0, 0},
            "BEXOR_SIM_OPEN_MS=0ms" + badTime);
        row("open time too long ignored", "OPEN_MS=2147483648", 1, valid,
            {0, 0, 17, 0, 16, 1, 0, 0}, "BEXOR_SIM_OPEN_MS=2147483648" + badTime);
        row("read failure injected", "STATS_FAIL=9", 1, valid, {0, 0, 17, 0, 16, 0, 0, 9});
        row("unreadable failure ignored", "STATS_FAIL=bad", 1, valid, {0, 0, 17, 0, 16, 1, 0, 0},
            "BEXOR_SIM_STATS_FAIL=bad" + badStatus);
        row("failure beyond 32 bits ignored", "STATS_FAIL=4294967296", 1, valid,
            {0, 0, 17, 0, 16, 1, 0, 0}, "BEXOR_SIM_STATS_FAIL=4294967296" + badStatus);
        row("open fails always", "OPEN_FAIL=always", 1, valid, {2, 2, -1, 1, -1, 0, 0, 1});
        // "once" is spent for the whole process: the retry succeeds, and no other row may use it.
        row("open fails once", "OPEN_FAIL=once", 1, valid, {2, 0, 17, 0, 16, 1, 0, 0});
        row("unknown open failure", "OPEN_FAIL=sometimes", 1, valid, {0, 0, 17, 0, 16, 1, 0, 0},
            "BEXOR_SIM_OPEN_FAIL=sometimes" + badOpenFailure);
        row("open failure in capitals", "OPEN_FAIL=Always", 1, valid, {0, 0, 17, 0, 16, 1, 0, 0},
            "BEXOR_SIM_OPEN_FAIL=Always" + badOpenFailure);
        // One line for each, in the order they are read; the good setting still applies.
        row("two ignored, one applied", "OPEN_FAIL=Always;PRESENT=3;OPEN_MS=soon;KICK_FAIL=x", 3,
            valid, {0, 0, 49, 0, 48, 1, 0, 0},
            "BEXOR_SIM_OPEN_FAIL=Always" + badOpenFailure + "BEXOR_SIM_OPEN_MS=soon" + badTime
                + "BEXOR_SIM_KICK_FAIL=x" + badStatus);
        row("read too short", "", 1, {0, 15, 105}, {0, 0, 17, 0, 16, 1, 0, 5});
        row("read too long", "", 1, {0, 15, 107}, {0, 0, 17, 0, 16, 1, 0, 5});
        row("read of another selector", "", 1, {0, 14, 106}, {0, 0, 17, 0, 16, 1, 0, 5});
        row("read of another unit", "", 1, {1, 15, 106}, {0, 0, 17, 0, 16, 1, 0, 5});
    }
    void controller()
    {
        QFETCH(int, drawer);
        QFETCH(QList<int>, request);
        StandardErrorCapture standardError;
        const int first = sim->openBexor(), second = sim->openBexor();
        const int good = count(98), failed = count(102);
        const int before = sim->drawerState(drawer), kick = sim->drawerOpen(drawer);
        const int after = sim->drawerState(drawer);
        QList<int> results{first, second, before, kick, after, count(98) - good};
        results << count(102) - failed << retrieve(request[0], request[1], request[2]);
        QTEST(standardError.text(), "report");
        QTEST(results, "results");
        // Exactly the 106 bytes asked when the row's read succeeds, not a byte otherwise, and
        // never without a buffer.
        const int written = results.last() == 0 ? 106 : 0;
        QCOMPARE(buffer.mid(written), QByteArray(129 - written, char(0xAA)));
        QCOMPARE(sim->retrieveStatistics(0, 15, nullptr, 106), second == 0 ? 5 : 1);
        // Once closed, or never opened, every call fails.
        QCOMPARE(sim->closeBexor(), second == 0 ? 0 : 1);
        QCOMPARE((QList<int>{sim->drawerState(drawer), sim->drawerOpen(drawer), retrieve(),
                             sim->closeBexor()}),
                 (QList<int>{-1, 1, 1, 1}));
    }
};

QTEST_GUILESS_MAIN(SimulatedControllerTest)
#include "tst_simulatedcontroller.moc"
