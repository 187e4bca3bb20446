// crtest --check through the real binding, against the fault driver whole and without each
// of its functions: for each fault, the exit status, the text report as a user reads it, and
// the exact calls and waits, with nothing after CloseBexor.
#include "bexorlibrary.h"
#include "check.h"
#include "faultscript.h"

#include <QFile>
#include <QTest>

#include <csignal>
#include <dlfcn.h>
#include <functional>

namespace {

const QString DriverDir = QStringLiteral(FAULT_DRIVER_DIR);
const QString FaultDriver = DriverDir + "/libfaultdriver.so";

// Stands between the check and the bound library and writes each call with its arguments
// and result into the log the waits also write to.
struct RecordingDriver : DrawerDriver
{
    RecordingDriver(DrawerDriver &driver, QStringList &log) : driver(driver), log(log) { }
    DrawerDriver &driver;
    QStringList &log;

    int32_t note(const QString &call, int32_t result)
    {
        log << QString("%1=%2").arg(call).arg(result);
        return result;
    }
    int32_t openBexor() override { return note("OpenBexor", driver.openBexor()); }
    int32_t closeBexor() override { return note("CloseBexor", driver.closeBexor()); }
    int32_t drawerOpen(int32_t n) override
    {
        return note(QString("DrawerOpen(%1)").arg(n), driver.drawerOpen(n));
    }
    int32_t drawerState(int32_t n) override
    {
        return note(QString("DrawerState(%1)").arg(n), driver.drawerState(n));
    }
    int32_t retrieveStatistics(int16_t unit, int32_t selector, uint8_t *buffer,
                               int16_t length) override
    {
        return note(QString("RetrieveStatistics(%1,%2,%3)").arg(unit).arg(selector).arg(length),
                    driver.retrieveStatistics(unit, selector, buffer, length));
    }
};

// Waits that take no time. A signal can be made to arrive during the n-th wait, or to be
// found pending at the n-th look after a driver call.
struct FakeWaits : CheckWaits
{
    explicit FakeWaits(QStringList &log) : log(log) { }
    QStringList &log;
    int signal = 0;
    int atWait = 0, atLook = 0;
    int waits = 0, looks = 0;

    int wait(std::chrono::milliseconds duration) override
    {
        log << QString("Wait(%1)").arg(duration.count());
        return ++waits == atWait ? signal : 0;
    }
    int pendingSignal() override { return ++looks == atLook ? signal : 0; }
};

QByteArray healthyBlock()
{
    QByteArray block(106, char(0xEE));
    block.replace(46, 16, QByteArray("SN-CHECK-0000042", 16)).replace(62, 8, "20240131");
    block.replace(70, 4, "B3.2").replace(82, 8, "20240215");
    return block.replace(98, 8, QByteArray::fromHex("B0040000" "03000000"));
}

struct Fault
{
    QString library = FaultDriver;
    std::function<void(FaultScript &)> script;
    QList<int> kicks;
    bool kickAsked = false;
    int signal = 0, atWait = 0, atLook = 0;
};

Fault library(const QString &path) { Fault f; f.library = path; return f; }
Fault scripted(std::function<void(FaultScript &)> script) { Fault f; f.script = script; return f; }
Fault kicking(QList<int> kicks, std::function<void(FaultScript &)> script = {})
{
    Fault f;
    f.kicks = kicks;
    f.kickAsked = true;
    f.script = script;
    return f;
}

// The report's lines for a healthy block, and the calls of an open, a refresh and a read.
const QString Head = "crtest 2.00 check at 2026-12-01T03:00:00Z\nDriver: @LIB@\nController: open\n";
const QString Healthy = "  Serial number:        SN-CHECK-0000042\n"
                        "  Manufacture date:     20240131\n"
                        "  Mechanical revision:  B3.2\n"
                        "  Installation date:    20240215\n"
                        "  Good opens:           1200\n"
                        "  Failed opens:         3\n";
const QString FourClosed = "Drawers:\n  0 closed\n  1 closed\n  2 closed\n  3 closed\n"
                           "  4 not present\n  5 not present\n  6 not present\n  7 not present\n";
QStringList refresh(const QList<int32_t> &codes = {1, 17, 33, 49, -1, -1, -1, -1})
{
    QStringList calls;
    for (int n = 0; n < 8; ++n)
        calls << QString("DrawerState(%1)=%2").arg(n).arg(codes[n]) << "Wait(100)";
    return calls;
}
const QString Read = "RetrieveStatistics(0,15,106)=0";

} // namespace

Q_DECLARE_METATYPE(Fault)

class CheckTest : public QObject
{
    Q_OBJECT

private slots:
    void faults_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("calls");
        const QStringList opened = QStringList{"OpenBexor=0"} + refresh() + QStringList{Read};

        QTest::newRow("all well") << Fault() << 0
                << Head + FourClosed + "Statistics:\n" + Healthy + "Exit status: 0 (all well)\n"
                << opened + QStringList{"CloseBexor=0"};

        // Nothing of a library that cannot be bound is called, not even CloseBexor.
        QTest::newRow("library missing") << library(DriverDir + "/libbexor-absent.so") << 3
                << "crtest 2.00 check at 2026-12-01T03:00:00Z\n"
                   "Driver: not loaded: @DIR@/libbexor-absent.so: cannot open shared object file: No such file or directory\n"
                   "Controller: not opened\n"
                   "Drawers:\n  0 not read\n  1 not read\n  2 not read\n  3 not read\n"
                   "  4 not read\n  5 not read\n  6 not read\n  7 not read\n"
                   "Statistics:\n  not read\nProblems:\n"
                   "  The driver library could not be loaded: @DIR@/libbexor-absent.so: cannot open shared object file: No such file or directory\n"
                   "Exit status: 3 (driver library missing or damaged)\n"
                << QStringList();
        for (const char *function :
             {"OpenBexor", "CloseBexor", "DrawerOpen", "DrawerState", "RetrieveStatistics"}) {
            const QString file = QString("@DIR@/libfaultdriver_without_%1.so").arg(function);
            const QString reason = QString("%1: undefined symbol: %2").arg(file, function);
            QTest::addRow("%s missing", function)
                    << library(QString(file).replace("@DIR@", DriverDir)) << 3
                    << "crtest 2.00 check at 2026-12-01T03:00:00Z\nDriver: not loaded: " + reason
                               + "\nController: not opened\n"
                                 "Drawers:\n  0 not read\n  1 not read\n  2 not read\n  3 not read\n"
                                 "  4 not read\n  5 not read\n  6 not read\n  7 not read\n"
                                 "Statistics:\n  not read\nProblems:\n"
                                 "  The driver library could not be loaded: " + reason
                               + "\nExit status: 3 (driver library missing or damaged)\n"
                    << QStringList();
        }

        // One retry at once, no wait between; the controller is closed after a failed open too.
        QTest::newRow("open fails once") << scripted([](FaultScript &s) { s.open = {2, 0}; }) << 0
                << Head + FourClosed + "Statistics:\n" + Healthy + "Exit status: 0 (all well)\n"
                << QStringList{"OpenBexor=2"} + opened + QStringList{"CloseBexor=0"};
        QTest::newRow("open fails always") << scripted([](FaultScript &s) { s.open = {7}; }) << 4
                << "crtest 2.00 check at 2026-12-01T03:00:00Z\nDriver: @LIB@\n"
                   "Controller: did not open (OpenBexor returned 7, then 7)\n"
                   "Drawers:\n  0 not read\n  1 not read\n  2 not read\n  3 not read\n"
                   "  4 not read\n  5 not read\n  6 not read\n  7 not read\n"
                   "Statistics:\n  not read\nProblems:\n"
                   "  The controller did not open: OpenBexor returned 7, then 7.\n"
                   "Exit status: 4 (controller did not open)\n"
                << QStringList{"OpenBexor=7", "OpenBexor=7", "CloseBexor=0"};

        // Open at the drawer's own code (16 n), absent at -1, closed at anything else.
        const auto states = [&](const char *name, QList<int32_t> codes, const QString &drawers) {
            QTest::newRow(name)
                    << scripted([codes](FaultScript &s) { std::copy(codes.begin(), codes.end(), s.state.begin()); })
                    << 0 << Head + "Drawers:\n" + drawers + "Statistics:\n" + Healthy + "Exit status: 0 (all well)\n"
                    << QStringList{"OpenBexor=0"} + refresh(codes) + QStringList{Read, "CloseBexor=0"};
        };
        states("each at its own open code", {0, 16, 32, 48, 64, 80, 96, 112},
               "  0 open\n  1 open\n  2 open\n  3 open\n  4 open\n  5 open\n  6 open\n  7 open\n");
        states("each at the next drawer's code", {16, 32, 48, 64, 80, 96, 112, 128},
               "  0 closed\n  1 closed\n  2 closed\n  3 closed\n  4 closed\n  5 closed\n  6 closed\n  7 closed\n");
        states("all 0, drawer 0's open code", {0, 0, 0, 0, 0, 0, 0, 0},
               "  0 open\n  1 closed\n  2 closed\n  3 closed\n  4 closed\n  5 closed\n  6 closed\n  7 closed\n");
        states("mixed, extremes", {0, -1, 32, 0, INT32_MIN, 80, -1, INT32_MAX},
               "  0 open\n  1 not present\n  2 open\n  3 closed\n  4 closed\n  5 open\n  6 not present\n  7 closed\n");

        // A refused or overrun read shows nothing of the block; a short one what was written.
        QTest::newRow("statistics status 9")
                << scripted([](FaultScript &s) { s.statistics = 9; }) << 5
                << Head + FourClosed + "Statistics:\n  not read: RetrieveStatistics returned 9\n"
                           "Problems:\n  The statistics read failed: RetrieveStatistics returned 9.\n"
                           "Exit status: 5 (statistics read failed)\n"
                << QStringList{"OpenBexor=0"} + refresh()
                        + QStringList{"RetrieveStatistics(0,15,106)=9", "CloseBexor=0"};
        QTest::newRow("short write, 50 bytes")
                << scripted([](FaultScript &s) { s.block.resize(50); }) << 0
                << Head + FourClosed + "Statistics:\n  Serial number:        SN-C\n"
                           "  Manufacture date:     \n  Mechanical revision:  \n  Installation date:    \n"
                           "  Good opens:           0\n  Failed opens:         0\nExit status: 0 (all well)\n"
                << opened + QStringList{"CloseBexor=0"};
        QTest::newRow("overlong write, 1 byte past the buffer")
                << scripted([](FaultScript &s) { s.block.resize(130, 'w'); }) << 5
                << Head + FourClosed + "Statistics:\n  not read: the driver wrote past the statistics buffer\n"
                           "Problems:\n  The statistics read failed: the driver wrote past the statistics buffer.\n"
                           "Exit status: 5 (statistics read failed)\n"
                << opened + QStringList{"CloseBexor=0"};
        QTest::newRow("control bytes in the serial number")
                << scripted([](FaultScript &s) { s.block.replace(46, 5, "A\x1B[2J", 5); }) << 0
                << Head + FourClosed + "Statistics:\n" + QString(Healthy).replace("SN-CH", "A\\x1B[2J")
                           + "Exit status: 0 (all well)\n"
                << opened + QStringList{"CloseBexor=0"};

        // Kicks in the order given, one settle wait, each kicked drawer read back, a second read.
        const QStringList kickTail{"Wait(600)"};
        QTest::newRow("kick 2 then 0, both open")
                << kicking({2, 0}) << 0
                << Head + FourClosed + "Statistics:\n" + Healthy
                           + "Kicks:\n  2 closed -> open: opened (DrawerOpen returned 0)\n"
                             "  0 closed -> open: opened (DrawerOpen returned 0)\n"
                             "Statistics after the kicks:\n" + Healthy
                           + "Change of the counts: good opens 0, failed opens 0\nExit status: 0 (all well)\n"
                << opened + QStringList{"DrawerOpen(2)=0", "DrawerOpen(0)=0", "Wait(600)",
                                        "DrawerState(2)=32", "Wait(100)", "DrawerState(0)=0",
                                        "Wait(100)", Read, "CloseBexor=0"};
        QTest::newRow("kick fails with 7, drawer stays closed")
                << kicking({1}, [](FaultScript &s) { s.kick = 7; }) << 6
                << Head + FourClosed + "Statistics:\n" + Healthy
                           + "Kicks:\n  1 closed -> closed: did not open (DrawerOpen returned 7)\n"
                             "Statistics after the kicks:\n" + Healthy
                           + "Change of the counts: good opens 0, failed opens 0\nProblems:\n"
                             "  Drawer 1 did not open: DrawerOpen returned 7, and it reads closed after the kick.\n"
                             "Exit status: 6 (a kicked drawer did not open)\n"
                << opened + QStringList{"DrawerOpen(1)=7", "Wait(600)", "DrawerState(1)=17",
                                        "Wait(100)", Read, "CloseBexor=0"};
        QTest::newRow("kick of an empty slot")
                << kicking({5}) << 6
                << Head + FourClosed + "Statistics:\n" + Healthy
                           + "Kicks:\n  5 not present -> not present: did not open (DrawerOpen returned 0)\n"
                             "Statistics after the kicks:\n" + Healthy
                           + "Change of the counts: good opens 0, failed opens 0\nProblems:\n"
                             "  Drawer 5 did not open: DrawerOpen returned 0, and it reads not present after the kick.\n"
                             "Exit status: 6 (a kicked drawer did not open)\n"
                << opened + QStringList{"DrawerOpen(5)=0", "Wait(600)", "DrawerState(5)=-1",
                                        "Wait(100)", Read, "CloseBexor=0"};
        // Both go wrong: the lower status decides, the report lists both.
        QTest::newRow("kick fails and statistics refused")
                << kicking({3}, [](FaultScript &s) { s.kick = -1; s.statistics = 4; }) << 5
                << Head + FourClosed + "Statistics:\n  not read: RetrieveStatistics returned 4\n"
                           "Kicks:\n  3 closed -> closed: did not open (DrawerOpen returned -1)\n"
                           "Statistics after the kicks:\n  not read: RetrieveStatistics returned 4\n"
                           "Change of the counts: unknown\nProblems:\n"
                           "  The statistics read failed: RetrieveStatistics returned 4.\n"
                           "  Drawer 3 did not open: DrawerOpen returned -1, and it reads closed after the kick.\n"
                           "  The statistics read after the kicks failed: RetrieveStatistics returned 4.\n"
                           "Exit status: 5 (statistics read failed)\n"
                << QStringList{"OpenBexor=0"} + refresh()
                        + QStringList{"RetrieveStatistics(0,15,106)=4", "DrawerOpen(3)=-1", "Wait(600)",
                                      "DrawerState(3)=49", "Wait(100)",
                                      "RetrieveStatistics(0,15,106)=4", "CloseBexor=0"};
        // A failing close changes nothing the check reports.
        QTest::newRow("close fails") << scripted([](FaultScript &s) { s.close = 1; }) << 0
                << Head + FourClosed + "Statistics:\n" + Healthy + "Exit status: 0 (all well)\n"
                << opened + QStringList{"CloseBexor=1"};

        // A signal ends the check at the next look: the controller is closed, what was
        // gathered is shown, and the status says which signal.
        Fault term = kicking({0});
        term.signal = SIGTERM;
        term.atWait = 3;
        const QString threeRead = "Drawers:\n  0 closed\n  1 closed\n  2 closed\n  3 not read\n"
                                  "  4 not read\n  5 not read\n  6 not read\n  7 not read\n";
        QTest::newRow("SIGTERM in the third wait")
                << term << 143
                << Head + threeRead + "Statistics:\n  not read\nKicks:\nStatistics after the kicks:\n  not read\n"
                           "Change of the counts: unknown\nProblems:\n"
                           "  The check was interrupted by SIGTERM before it finished.\n"
                           "Exit status: 143 (interrupted)\n"
                << QStringList{"OpenBexor=0"} + refresh().mid(0, 6) + QStringList{"CloseBexor=0"};
        Fault interrupt;
        interrupt.signal = SIGINT;
        interrupt.atLook = 2;
        QTest::newRow("SIGINT found after the first open")
                << interrupt << 130
                << Head + "Drawers:\n  0 not read\n  1 not read\n  2 not read\n  3 not read\n"
                           "  4 not read\n  5 not read\n  6 not read\n  7 not read\n"
                           "Statistics:\n  not read\nProblems:\n"
                           "  The check was interrupted by SIGINT before it finished.\n"
                           "Exit status: 130 (interrupted)\n"
                << QStringList{"OpenBexor=0", "CloseBexor=0"};
        Fault early;
        early.signal = SIGTERM;
        early.atLook = 1;
        QTest::newRow("SIGTERM while the library loaded: only closed")
                << early << 143
                << "crtest 2.00 check at 2026-12-01T03:00:00Z\nDriver: @LIB@\n"
                   "Controller: not opened\n"
                   "Drawers:\n  0 not read\n  1 not read\n  2 not read\n  3 not read\n"
                   "  4 not read\n  5 not read\n  6 not read\n  7 not read\n"
                   "Statistics:\n  not read\nProblems:\n  The check was interrupted by SIGTERM before it finished.\n"
                   "Exit status: 143 (interrupted)\n"
                << QStringList{"CloseBexor=0"};
    }
    void faults()
    {
        QFETCH(Fault, fault);
        QFETCH(int, status);
        QFETCH(QString, text);
        QFETCH(QStringList, calls);

        QString error;
        const auto bound = BexorLibrary::load(fault.library, &error);
        FaultScript unmapped;
        FaultScript *script = &unmapped;
        void *handle = dlopen(QFile::encodeName(fault.library).constData(), RTLD_LAZY | RTLD_NOLOAD);
        if (void *found = handle ? dlsym(handle, "faultScript") : nullptr)
            script = static_cast<FaultScript *>(found);
        *script = FaultScript();
        script->block = healthyBlock().toStdString();
        if (fault.script)
            fault.script(*script);

        QStringList log;
        std::optional<RecordingDriver> recording;
        if (bound)
            recording.emplace(*bound, log);
        FakeWaits waits(log);
        waits.signal = fault.signal;
        waits.atWait = fault.atWait;
        waits.atLook = fault.atLook;
        CheckSetup setup;
        setup.driver = recording ? &*recording : nullptr;
        setup.bindError = error;
        setup.driverFile = bound ? bound->file() : QString();
        setup.kickAsked = fault.kickAsked;
        setup.kicks = fault.kicks;
        setup.time = 1796094000;
        const Report report = runCheck(setup, waits);

        QCOMPARE(exitStatusOf(report), status);
        QCOMPARE(reportText(report), QString(text).replace("@LIB@", fault.library).replace("@DIR@", DriverDir));
        QCOMPARE(log, calls);
        // The library itself heard exactly these calls, and nothing after its CloseBexor.
        QStringList heard;
        for (const QString &call : calls)
            if (!call.startsWith("Wait("))
                heard << call.section(QRegularExpression("[(=]"), 0, 0);
        QCOMPARE(QString::fromStdString(script->calls).split('\n', Qt::SkipEmptyParts), heard);
        QVERIFY(heard.isEmpty() || heard.indexOf("CloseBexor") == heard.size() - 1);
    }

    // The window's and the check's path to a loaded library is the file the loader mapped.
    void driverFileIsTheMappedOne()
    {
        QString error;
        const auto bound = BexorLibrary::load(FaultDriver, &error);
        QVERIFY2(bound, qPrintable(error));
        QCOMPARE(bound->file(), FaultDriver);
    }
};

QTEST_MAIN(CheckTest)
#include "tst_check.moc"
