// crtest --check through the real binding against the fault driver: for each fault, the exit
// status, the report as a user reads it, and every driver call and wait in order, with the
// close last and once.
#include "check.h"
#include "faultbinding.h"

#include <QTest>

#include <csignal>
#include <functional>

namespace {

struct Fault
{
    std::function<void(FaultScript &)> script = [](FaultScript &) {};
    QList<int> kicks{};
    int signal = 0, atWait = 0, atLook = 0;
    QString library = "libfaultdriver.so";
};

// The check's waits, noted among the driver's calls. The fault's signal arrives during its
// n-th wait, or is found at its n-th look after a call.
struct Waits : CheckWaits
{
    const Fault &fault;
    std::string &calls;
    int waits = 0, looks = 0;

    Waits(const Fault &fault, std::string &calls) : fault(fault), calls(calls) {}
    int wait(std::chrono::milliseconds ms) override
    {
        calls.append("wait" + std::to_string(ms.count()) + "\n");
        return ++waits == fault.atWait ? fault.signal : 0;
    }
    int pendingSignal() override { return ++looks == fault.atLook ? fault.signal : 0; }
};

const QString Head = "crtest 2.00 check at 2026-12-01T03:00:00Z\nDriver: @DIR@/libfaultdriver.so\n";
const QString FourClosed = "Drawers:\n  0 closed\n  1 closed\n  2 closed\n  3 closed\n"
                           "  4 not present\n  5 not present\n  6 not present\n  7 not present\n";
const QString NoneRead = "Drawers:\n  0 not read\n  1 not read\n  2 not read\n  3 not read\n"
                         "  4 not read\n  5 not read\n  6 not read\n  7 not read\nStatistics:\n  not read\n";
const QString Healthy = "  Serial number:        SN-FAULT-000042\n  Manufacture date:     20240131\n"
                        "  Mechanical revision:  B3.2\n  Installation date:    20240215\n"
                        "  Good opens:           16909060\n  Failed opens:         4294967295\n";
const QString Opened = Head + "Controller: open\n" + FourClosed + "Statistics:\n";
const QString Refresh = "State0 wait100 State1 wait100 State2 wait100 State3 wait100 "
                        "State4 wait100 State5 wait100 State6 wait100 State7 wait100";
const QString Read = "Open " + Refresh + " Stats";

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
        const QString kicked = "Statistics after the kicks:\n" + Healthy
                + "Change of the counts: good opens 0, failed opens 0\n";
        const auto interrupted = [](const char *signal, int status) {
            return QString("Problems:\n  The check was interrupted by %1 before it finished.\n"
                           "Exit status: %2 (interrupted)\n").arg(signal).arg(status);
        };

        row("all well", {}, 0, Opened + Healthy + allWell, Read + " Close");
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
            0, Opened + Healthy + allWell, "Open " + Read + " Close");
        row("open refused twice", script([](FaultScript &s) { s.open = {7}; }), 4,
            Head + "Controller: did not open (OpenBexor returned 7, then 7)\n" + NoneRead
                    + "Problems:\n  The controller did not open: OpenBexor returned 7, then 7.\n"
                      "Exit status: 4 (controller did not open)\n", "Open Open Close");
        // A refused or overrun read shows nothing of the block, whatever the status.
        row("statistics refused with -1", script([](FaultScript &s) { s.statistics = -1; }), 5,
            Opened + "  not read: RetrieveStatistics returned -1\nProblems:\n  The statistics read "
                     "failed: RetrieveStatistics returned -1.\nExit status: 5 (statistics read failed)\n",
            Read + " Close");
        row("write 1 byte past the buffer", script([](FaultScript &s) { s.block.resize(130, 'w'); }), 5,
            Opened + "  not read: the driver wrote past the statistics buffer\nProblems:\n  The statistics "
                     "read failed: the driver wrote past the statistics buffer.\n"
                     "Exit status: 5 (statistics read failed)\n", Read + " Close");
        row("control bytes in the serial number",
            script([](FaultScript &s) { s.block.replace(46, 6, "A\x1B[2J\\", 6); }), 0,
            Opened + QString(Healthy).replace("SN-FAU", "A\\x1B[2J\\\\") + allWell, Read + " Close");
        // In the order given, one settle wait, each kicked drawer read back, the counts again.
        // A signal found only at the look after the last call still counts.
        row("kick 2 then 0, SIGINT after the last call", {.kicks = {2, 0}, .signal = SIGINT, .atLook = 16},
            130, Opened + Healthy + "Kicks:\n  2 closed -> open: opened (DrawerOpen returned 0)\n"
                     "  0 closed -> open: opened (DrawerOpen returned 0)\n" + kicked + interrupted("SIGINT", 130),
            Read + " Kick2 Kick0 wait600 State2 wait100 State0 wait100 Stats Close");
        // Judged by the drawer read back, not by DrawerOpen's status.
        row("kick of an empty slot", {.kicks = {5}}, 6,
            Opened + Healthy + "Kicks:\n  5 not present -> not present: did not open (DrawerOpen returned 0)\n"
                    + kicked + "Problems:\n  Drawer 5 did not open: DrawerOpen returned 0, and it reads "
                               "not present after the kick.\nExit status: 6 (a kicked drawer did not open)\n",
            Read + " Kick5 wait600 State5 wait100 Stats Close");
        // Both go wrong: the lower status decides, the report lists all in the order met.
        Fault both{[](FaultScript &s) { s.kick = -1; s.statistics = 4; }, {3}};
        row("kick refused and statistics refused", both, 5,
            Opened + "  not read: RetrieveStatistics returned 4\nKicks:\n  3 closed -> closed: did not open "
                     "(DrawerOpen returned -1)\nStatistics after the kicks:\n  not read: RetrieveStatistics "
                     "returned 4\nChange of the counts: unknown\nProblems:\n  The statistics read failed: "
                     "RetrieveStatistics returned 4.\n  Drawer 3 did not open: DrawerOpen returned -1, and "
                     "it reads closed after the kick.\n  The statistics read after the kicks failed: "
                     "RetrieveStatistics returned 4.\nExit status: 5 (statistics read failed)\n",
            Read + " Kick3 wait600 State3 wait100 Stats Close");
        // A signal ends the check at the next look: closed, what was gathered shown, and said.
        row("SIGTERM in the third wait", {.kicks = {0}, .signal = SIGTERM, .atWait = 3}, 143,
            Head + "Controller: open\nDrawers:\n  0 closed\n  1 closed\n  2 closed\n  3 not read\n"
                   "  4 not read\n  5 not read\n  6 not read\n  7 not read\nStatistics:\n  not read\n"
                   "Kicks:\nStatistics after the kicks:\n  not read\nChange of the counts: unknown\n"
                    + interrupted("SIGTERM", 143),
            "Open State0 wait100 State1 wait100 State2 wait100 Close");
        row("SIGINT found after the first open", {.signal = SIGINT, .atLook = 2}, 130,
            Head + "Controller: open\n" + NoneRead + interrupted("SIGINT", 130), "Open Close");
        row("SIGTERM while the library loaded", {.signal = SIGTERM, .atLook = 1}, 143,
            Head + "Controller: not opened\n" + NoneRead + interrupted("SIGTERM", 143), "Close");
    }
    void faults()
    {
        QFETCH(Fault, fault);
        QFETCH(QString, text);
        FaultBinding bound(DriverDir + "/" + fault.library);
        fault.script(*bound.script);
        Waits waits(fault, bound.script->calls);
        const CheckSetup setup{bound.library.get(), bound.error,
                               bound.library ? bound.library->file() : QString(),
                               !fault.kicks.isEmpty(), fault.kicks, 1796094000};
        const Report report = runCheck(setup, waits);

        QTEST(exitStatusOf(report), "status");
        QCOMPARE(reportText(report), text.replace("@DIR@", DriverDir));
        QTEST(QString::fromStdString(bound.script->calls).replace('\n', ' ').trimmed(), "calls");
    }
};

QTEST_GUILESS_MAIN(CheckTest)
#include "tst_check.moc"
