// crtest --check through the real binding against the fault driver: for each fault, the exit
// status, the report as a user reads it, and every driver call and wait in order, with
// CloseBexor last and once.
#include "bexorlibrary.h"
#include "check.h"
#include "faultscript.h"

#include <QTest>

#include <csignal>
#include <dlfcn.h>
#include <functional>

namespace {

// Forwards to the bound library and notes each call with its result, and each wait. A signal
// arrives during the n-th wait, or is found at the n-th look after a call.
struct Recorder : DrawerDriver, CheckWaits
{
    DrawerDriver *driver = nullptr;
    QStringList log;
    int signal = 0, atWait = 0, atLook = 0, waits = 0, looks = 0;

    int32_t note(const QString &call, int32_t result)
    {
        log << call + "=" + QString::number(result);
        return result;
    }
    int32_t openBexor() override { return note("Open", driver->openBexor()); }
    int32_t closeBexor() override { return note("Close", driver->closeBexor()); }
    int32_t drawerOpen(int32_t n) override { return note(QString("Kick%1").arg(n), driver->drawerOpen(n)); }
    int32_t drawerState(int32_t n) override { return note(QString("State%1").arg(n), driver->drawerState(n)); }
    int32_t retrieveStatistics(int16_t unit, int32_t id, uint8_t *buffer, int16_t length) override
    {
        return note(QString("Stats(%1,%2,%3)").arg(unit).arg(id).arg(length),
                    driver->retrieveStatistics(unit, id, buffer, length));
    }
    int wait(std::chrono::milliseconds ms) override
    {
        log << QString("wait%1").arg(ms.count());
        return ++waits == atWait ? signal : 0;
    }
    int pendingSignal() override { return ++looks == atLook ? signal : 0; }
};

struct Fault
{
    std::function<void(FaultScript &)> script = [](FaultScript &) {};
    QList<int> kicks{};
    int signal = 0, atWait = 0, atLook = 0;
    QString library = "libfaultdriver.so";
};

const QString Head = "crtest 2.00 check at 2026-12-01T03:00:00Z\nDriver: @DIR@/libfaultdriver.so\n";
const QString FourClosed = "Drawers:\n  0 closed\n  1 closed\n  2 closed\n  3 closed\n"
                           "  4 not present\n  5 not present\n  6 not present\n  7 not present\n";
const QString NoneRead = "Drawers:\n  0 not read\n  1 not read\n  2 not read\n  3 not read\n"
                         "  4 not read\n  5 not read\n  6 not read\n  7 not read\nStatistics:\n  not read\n";
const QString Healthy = "  Serial number:        SN-CHECK-0000042\n  Manufacture date:     20240131\n"
                        "  Mechanical revision:  B3.2\n  Installation date:    20240215\n"
                        "  Good opens:           1200\n  Failed opens:         3\n";
const QString Opened = Head + "Controller: open\n" + FourClosed + "Statistics:\n";
const QString Refresh = "State0=1 wait100 State1=17 wait100 State2=33 wait100 State3=49 wait100 "
                        "State4=-1 wait100 State5=-1 wait100 State6=-1 wait100 State7=-1 wait100";
const QString Read = "Open=0 " + Refresh + " Stats(0,15,106)=0";

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
        QTest::addColumn<QString>("calls");
        const auto row = [](const char *name, Fault fault, int status, QString text, QString calls) {
            QTest::newRow(name) << fault << status << text << calls;
        };
        const auto script = [](std::function<void(FaultScript &)> f) { return Fault{f}; };
        const QString allWell = "Exit status: 0 (all well)\n";

        row("all well", {}, 0, Opened + Healthy + allWell, Read + " Close=0");
        // A library that lacks one of the five functions is not bound; the report says why.
        row("library lacks CloseBexor", {.library = "libfaultdriver_without_CloseBexor.so"}, 3,
            "crtest 2.00 check at 2026-12-01T03:00:00Z\nDriver: not loaded: "
            "@DIR@/libfaultdriver_without_CloseBexor.so: undefined symbol: CloseBexor\n"
            "Controller: not opened\n" + NoneRead + "Problems:\n  The driver library could not be loaded: "
            "@DIR@/libfaultdriver_without_CloseBexor.so: undefined symbol: CloseBexor\n"
            "Exit status: 3 (driver library missing or damaged)\n", "");
        // One retry at once, no wait between; closed after a failed open too. A refused
        // CloseBexor changes nothing.
        row("open refused once, close refused", script([](FaultScript &s) { s.open = {2, 0}; s.close = 1; }),
            0, Opened + Healthy + allWell, "Open=2 " + Read + " Close=1");
        row("open refused twice", script([](FaultScript &s) { s.open = {7}; }), 4,
            Head + "Controller: did not open (OpenBexor returned 7, then 7)\n" + NoneRead
                    + "Problems:\n  The controller did not open: OpenBexor returned 7, then 7.\n"
                      "Exit status: 4 (controller did not open)\n", "Open=7 Open=7 Close=0");
        // Open only at the drawer's own code (16 n), absent only at -1, closed at anything else.
        row("own, other drawers' and odd codes",
            script([](FaultScript &s) { s.state = {0, 16, 32, 48, 80, -1, 0, INT32_MIN}; }), 0,
            Head + "Controller: open\nDrawers:\n  0 open\n  1 open\n  2 open\n  3 open\n  4 closed\n"
                   "  5 not present\n  6 closed\n  7 closed\nStatistics:\n" + Healthy + allWell,
            "Open=0 State0=0 wait100 State1=16 wait100 State2=32 wait100 State3=48 wait100 State4=80 "
            "wait100 State5=-1 wait100 State6=0 wait100 State7=-2147483648 wait100 Stats(0,15,106)=0 Close=0");
        // A refused or overrun read shows nothing of the block; a short one what was written.
        row("statistics refused with 9", script([](FaultScript &s) { s.statistics = 9; }), 5,
            Opened + "  not read: RetrieveStatistics returned 9\nProblems:\n  The statistics read "
                     "failed: RetrieveStatistics returned 9.\nExit status: 5 (statistics read failed)\n",
            "Open=0 " + Refresh + " Stats(0,15,106)=9 Close=0");
        row("short write, 50 bytes", script([](FaultScript &s) { s.block.resize(50); }), 0,
            Opened + "  Serial number:        SN-C\n  Manufacture date:     \n  Mechanical revision:  \n"
                     "  Installation date:    \n  Good opens:           0\n  Failed opens:         0\n" + allWell,
            Read + " Close=0");
        row("write 1 byte past the buffer", script([](FaultScript &s) { s.block.resize(130, 'w'); }), 5,
            Opened + "  not read: the driver wrote past the statistics buffer\nProblems:\n  The statistics "
                     "read failed: the driver wrote past the statistics buffer.\n"
                     "Exit status: 5 (statistics read failed)\n", Read + " Close=0");
        row("control bytes in the serial number",
            script([](FaultScript &s) { s.block.replace(46, 6, "A\x1B[2J\\", 6); }), 0,
            Opened + QString(Healthy).replace("SN-CHE", "A\\x1B[2J\\\\") + allWell, Read + " Close=0");
        // In the order given, one settle wait, each kicked drawer read back, the counts again.
        // A signal found only at the look after the last call still counts.
        row("kick 2 then 0, SIGINT after the last call", {.kicks = {2, 0}, .signal = SIGINT, .atLook = 16},
            130, Opened + Healthy + "Kicks:\n  2 closed -> open: opened (DrawerOpen returned 0)\n"
                     "  0 closed -> open: opened (DrawerOpen returned 0)\nStatistics after the kicks:\n"
                    + Healthy + "Change of the counts: good opens 0, failed opens 0\nProblems:\n  The check "
                                "was interrupted by SIGINT before it finished.\nExit status: 130 (interrupted)\n",
            Read + " Kick2=0 Kick0=0 wait600 State2=32 wait100 State0=0 wait100 Stats(0,15,106)=0 Close=0");
        // Judged by the drawer read back, not by DrawerOpen's status.
        row("kick of an empty slot", {.kicks = {5}}, 6,
            Opened + Healthy + "Kicks:\n  5 not present -> not present: did not open (DrawerOpen returned 0)\n"
                               "Statistics after the kicks:\n" + Healthy
                    + "Change of the counts: good opens 0, failed opens 0\nProblems:\n  Drawer 5 did not "
                      "open: DrawerOpen returned 0, and it reads not present after the kick.\n"
                      "Exit status: 6 (a kicked drawer did not open)\n",
            Read + " Kick5=0 wait600 State5=-1 wait100 Stats(0,15,106)=0 Close=0");
        // Both go wrong: the lower status decides, the report lists all in the order met.
        Fault both{[](FaultScript &s) { s.kick = -1; s.statistics = 4; }, {3}};
        row("kick refused and statistics refused", both, 5,
            Opened + "  not read: RetrieveStatistics returned 4\nKicks:\n  3 closed -> closed: did not open "
                     "(DrawerOpen returned -1)\nStatistics after the kicks:\n  not read: RetrieveStatistics "
                     "returned 4\nChange of the counts: unknown\nProblems:\n  The statistics read failed: "
                     "RetrieveStatistics returned 4.\n  Drawer 3 did not open: DrawerOpen returned -1, and "
                     "it reads closed after the kick.\n  The statistics read after the kicks failed: "
                     "RetrieveStatistics returned 4.\nExit status: 5 (statistics read failed)\n",
            "Open=0 " + Refresh + " Stats(0,15,106)=4 Kick3=-1 wait600 State3=49 wait100 "
                                  "Stats(0,15,106)=4 Close=0");
        // A signal ends the check at the next look: closed, what was gathered shown, and said.
        row("SIGTERM in the third wait", {.kicks = {0}, .signal = SIGTERM, .atWait = 3}, 143,
            Head + "Controller: open\nDrawers:\n  0 closed\n  1 closed\n  2 closed\n  3 not read\n"
                   "  4 not read\n  5 not read\n  6 not read\n  7 not read\nStatistics:\n  not read\n"
                   "Kicks:\nStatistics after the kicks:\n  not read\nChange of the counts: unknown\n"
                   "Problems:\n  The check was interrupted by SIGTERM before it finished.\n"
                   "Exit status: 143 (interrupted)\n",
            "Open=0 State0=1 wait100 State1=17 wait100 State2=33 wait100 Close=0");
        row("SIGINT found after the first open", {.signal = SIGINT, .atLook = 2}, 130,
            Head + "Controller: open\n" + NoneRead + "Problems:\n  The check was interrupted by SIGINT "
                   "before it finished.\nExit status: 130 (interrupted)\n", "Open=0 Close=0");
        row("SIGTERM while the library loaded", {.signal = SIGTERM, .atLook = 1}, 143,
            Head + "Controller: not opened\n" + NoneRead + "Problems:\n  The check was interrupted by "
                   "SIGTERM before it finished.\nExit status: 143 (interrupted)\n", "Close=0");
    }
    void faults()
    {
        QFETCH(Fault, fault);
        QFETCH(QString, text);
        const QString dir = QStringLiteral(FAULT_DRIVER_DIR);
        QString error;
        const auto bound = BexorLibrary::load(dir + "/" + fault.library, &error);
        if (void *handle = dlopen(qPrintable(dir + "/" + fault.library), RTLD_LAZY | RTLD_NOLOAD)) {
            FaultScript &script = *static_cast<FaultScript *>(dlsym(handle, "faultScript"));
            script = FaultScript();
            // Every record filled, the unshown ones with bytes that would show if an offset slipped.
            script.block = std::string(106, '\xEE').replace(46, 24, "SN-CHECK-000004220240131");
            script.block.replace(70, 4, "B3.2").replace(82, 8, "20240215");
            script.block.replace(98, 8, "\xB0\x04\0\0\x03\0\0\0", 8);
            fault.script(script);
        }
        Recorder recorder;
        recorder.driver = bound.get();
        recorder.signal = fault.signal;
        recorder.atWait = fault.atWait;
        recorder.atLook = fault.atLook;
        const CheckSetup setup{bound ? &recorder : nullptr, error, bound ? bound->file() : QString(),
                               !fault.kicks.isEmpty(), fault.kicks, 1796094000};
        const Report report = runCheck(setup, recorder);

        QTEST(exitStatusOf(report), "status");
        QCOMPARE(reportText(report), text.replace("@DIR@", dir));
        QTEST(recorder.log.join(' '), "calls");
    }
};

QTEST_GUILESS_MAIN(CheckTest)
#include "tst_check.moc"
