// crtest --check through the real binding against the fault driver: for each fault, the exit
// status and what the report says; on every path, a signal at any step included, CloseBexor
// once and last and nothing but it after a signal, the kicks in the order asked and read back
// only after the kick's settle wait. And the program's own waits, which signals end. And
// what each command line asks for, and what it refuses with a usage error.
#include "check.h"
#include "commandline.h"
#include "faultbinding.h"
#include "signalwaits.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>

#include <atomic>
#include <csignal>
#include <functional>
#include <thread>
#include <tuple>

namespace {

struct Fault
{
    std::function<void(FaultScript &)> script = [](FaultScript &) {};
    QList<int> kicks {};
    int signal = 0, atWait = 0, atLook = 0;
    QString library = "libfaultdriver.so";
};

// The check's waits and looks for a signal, noted among the driver's calls, and the fault's
// signal where it is taken: in the fault's n-th wait, or at its n-th look.
struct Waits : CheckWaits
{
    Fault fault;
    std::string *calls = nullptr;
    int waits = 0, looks = 0;

    int note(const std::string &what, bool now)
    {
        *calls += what + (now ? "\nsignal\n" : "\n");
        return now ? fault.signal : 0;
    }
    int wait(std::chrono::milliseconds time) override
    {
        return note("wait" + std::to_string(time.count()), ++waits == fault.atWait);
    }
    int pendingSignal() override { return note("look", ++looks == fault.atLook); }
};

// What must hold of the calls on any path, or what did not.
QString broken(const Fault &fault, const Report &report, const QString &calls)
{
    QString asked, kicks;
    for (const int n : fault.kicks)
        asked += QString("Kick%1 ").arg(n);
    for (auto kick = QRegularExpression("Kick\\d ").globalMatch(calls); kick.hasNext();)
        kicks += kick.next().captured();
    const qsizetype kicked = calls.lastIndexOf("Kick"), readBack = calls.indexOf("State", kicked);
    if (calls.contains(QRegularExpression("(Open|State\\d|Stats|Kick\\d) (?!look)")))
        return "no look for a signal after a call";
    const bool bound = report.found.device != DeviceState::NotBound;
    if (bound ? calls.count("Close") != 1 || !calls.endsWith("Close ") : !calls.isEmpty())
        return "CloseBexor not called once and last";
    if (calls.contains("signal") && !calls.endsWith("signal Close "))
        return "more than CloseBexor after the signal";
    if (!asked.startsWith(kicks) || (!report.interruptedBy && kicks != asked))
        return "not the kicks asked, in that order";
    if (kicked >= 0 && readBack >= 0 && !calls.mid(kicked, readBack - kicked).contains("wait600"))
        return "a kicked drawer read back before the settle wait";
    return {};
}

// The check on the fault: its report, each call, wait and look in order, and what went wrong
// with them.
std::tuple<Report, QString, QString> check(const Fault &fault)
{
    FaultBinding bound(DriverDir + "/" + fault.library);
    fault.script(*bound.script);
    Waits waits;
    waits.fault = fault, waits.calls = &bound.script->calls;
    const QString file = bound.library ? bound.library->file() : QString();
    const Report report = runCheck(
        {bound.library.get(), bound.error, file, !fault.kicks.isEmpty(), fault.kicks, 1796094000},
        waits);
    const QString calls = QString::fromStdString(bound.script->calls).replace('\n', ' ');
    const QString why = broken(fault, report, calls);
    return {report, calls, why.isEmpty() ? why : why + ": " + calls};
}

} // namespace

Q_DECLARE_METATYPE(Fault)

class CheckTest : public QObject
{
    Q_OBJECT

private slots:
    // Each fault class once, with the lines of the report that tell of it, in that order.
    void faults_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("lines");
        const auto row = [](const char *name, const Fault &fault, int status, const char *lines) {
            QTest::newRow(name) << fault << status << QString(lines);
        };
        row("library lacks CloseBexor", {.library = "libfaultdriver_without_CloseBexor.so"}, 3,
            "Driver: not loaded: @DIR@/libfaultdriver_without_CloseBexor.so: undefined symbol: "
            "CloseBexor|Controller: not opened");
        row("open refused twice", {[](FaultScript &s) { s.open = {7}; }}, 4,
            "Controller: did not open (OpenBexor returned 7, then 7)|  0 not read");
        // A refused or overrun read shows nothing of the block, whatever the status.
        row("statistics refused with -1", {[](FaultScript &s) { s.statistics = -1; }}, 5,
            "Statistics:|  not read: RetrieveStatistics returned -1");
        row("write 1 byte past the buffer",
            {[](FaultScript &s) { s.block.resize(130, 'w'); }}, 5,
            "Statistics:|  not read: the driver wrote past the statistics buffer");
        // Judged by the drawer read back, not by DrawerOpen's status.
        row("kick of an empty slot", {.kicks = {5}}, 6,
            "  5 not present -> not present: did not open (DrawerOpen returned 0)");
    }
    void faults()
    {
        QFETCH(Fault, fault);
        QFETCH(QString, lines);
        const auto [report, calls, broken] = check(fault);
        QVERIFY2(broken.isEmpty(), qPrintable(broken));
        QTEST(exitStatusOf(report), "status");
        const QString text = reportText(report).replace(DriverDir, "@DIR@");
        qsizetype at = 0;
        for (const QString &line : lines.split('|'))
            QVERIFY2((at = text.split('\n').indexOf(line, at)) >= 0,
                     qPrintable(line + "\nnot in\n" + text));
    }

    // A signal found at any look after a call, or taken in any wait: CloseBexor follows at once,
    // and the status tells the signal. The run with the signal past the last step is all well:
    // the open refused once is tried again at once, and a refused CloseBexor changes nothing.
    void signalAtEveryStep()
    {
        for (const int signal : {SIGINT, SIGTERM}) {
            for (int step = 1;; ++step) {
                Fault fault {[](FaultScript &s) { s.open = {2, 0}, s.close = 1; }, {2, 0}, signal};
                (signal == SIGINT ? fault.atLook : fault.atWait) = step;
                const auto [report, calls, broken] = check(fault);
                QVERIFY2(broken.isEmpty(), qPrintable(QString("step %1: ").arg(step) + broken));
                QCOMPARE(exitStatusOf(report), calls.contains("signal") ? 128 + signal : 0);
                if (!calls.contains("signal"))
                    break;
            }
        }
    }

    // The program's own waits: a signal sent to the check ends a wait at once and is taken
    // once; another signal's handler, however often it interrupts a wait, never stretches it
    // past its end.
    void signalWaits()
    {
        SignalWaits waits;
        QElapsedTimer clock;
        clock.start();
        raise(SIGTERM); // blocked now, so it waits for the check to take it
        QCOMPARE(waits.wait(std::chrono::seconds(5)), SIGTERM);
        QCOMPARE(waits.pendingSignal(), 0);
        QVERIFY2(clock.elapsed() < 1000, "a signal waited for the wait's end");

        static std::atomic<int> interruptions = 0;
        struct sigaction noop = {}, saved = {}; // no SA_RESTART: sigtimedwait fails with EINTR
        noop.sa_handler = [](int) { ++interruptions; };
        sigaction(SIGUSR1, &noop, &saved);
        std::atomic<bool> done = false;
        std::thread interrupter([&done, waiter = pthread_self()] {
            for (int i = 0; i < 150 && !done; ++i) {
                pthread_kill(waiter, SIGUSR1);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        clock.restart();
        const int signal = waits.wait(std::chrono::milliseconds(40));
        const qint64 took = clock.elapsed();
        done = true;
        interrupter.join();
        sigaction(SIGUSR1, &saved, nullptr);
        QCOMPARE(signal, 0);
        QVERIFY(interruptions > 5);
        QVERIFY2(took >= 40 && took < 150,
                 qPrintable(QString("a 40 ms wait took %1 ms").arg(took)));
    }

    void parse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("parsed");
        const auto row = [](const char *name, QStringList arguments, QString parsed) {
            QTest::newRow(name) << arguments << parsed;
        };
        row("nothing: the window", {}, "window");
        row("--verbose: the window, logged", {"--verbose"}, "window verbose");
        row("-h wins over --check", {"--check", "-h"}, "help");
        row("-v", {"-v"}, "version");
        row("--check --json --verbose", {"--check", "--json", "--verbose"}, "check json verbose");
        row("--openmetrics before --check", {"--openmetrics", "--check"}, "check openmetrics");
        row("--check --prometheus", {"--check", "--prometheus"}, "check prometheus");
        row("--kick=7,3,0 keeps its order", {"--check", "--kick=7,3,0"}, "check kick 7 3 0");
        row("an unknown option", {"--kcik", "1"}, "usage: Unknown option 'kcik'.");
        row("a word", {"check"}, "usage: Unexpected argument 'check'.");
        row("--json with --openmetrics", {"--check", "--json", "--openmetrics"},
            "usage: --json and --openmetrics cannot be given together.");
        row("--openmetrics with --prometheus", {"--check", "--openmetrics", "--prometheus"},
            "usage: --prometheus and --openmetrics cannot be given together.");
        row("--kick twice", {"--check", "--kick", "1", "--kick", "2"}, "usage: --kick may be given only once.");
        row("--cycles with every setting", {"--check", "--kick", "1,0", "--cycles", "1000000000",
            "--interval", "0", "--open-timeout", "2s", "--close-timeout", "1440min", "--csv", "f"},
            "check kick 1 0");
        row("--cycles without --kick", {"--check", "--cycles", "5"}, "usage: --cycles needs --kick.");
        row("--interval without --cycles", {"--check", "--kick", "1", "--interval", "5"},
            "usage: --interval needs --cycles.");
        row("--csv without --cycles", {"--check", "--kick", "1", "--csv", "f"},
            "usage: --csv needs --cycles.");
        row("--cycles twice", {"--check", "--kick", "1", "--cycles", "1", "--cycles", "2"},
            "usage: --cycles may be given only once.");
        for (const char *count : {"0", "-3", "+3", "1000000001", "2x", ""})
            QTest::addRow("--cycles '%s'", count)
                    << QStringList{"--check", "--kick", "1", "--cycles", count}
                    << QString("usage: --cycles takes a whole number from 1 to 1000000000, not '%1'.")
                               .arg(count);
        for (const char *time : {"1.5s", "2h", "-1", "86401s", "1441min", "s", " 5"})
            QTest::addRow("--open-timeout '%s'", time)
                    << QStringList{"--check", "--kick", "1", "--cycles", "1", "--open-timeout", time}
                    << QString("usage: --open-timeout takes a time such as 250, 250ms, 2s or 1min, "
                               "up to 24 h, not '%1'.").arg(time);
        for (const char *list : {"", "8", "-1", "1,1", "1,", "01", "0 2", "１"})
            QTest::addRow("--kick '%s'", list) << QStringList{"--check", "--kick", list}
                    << QString("usage: --kick takes drawer numbers 0 to 7 separated by commas, each "
                               "once, not '%1'.").arg(list);
        // Every option the help gives "With --check" is refused without it: read from the help,
        // so that a new one is held to that too. One that takes a value is given one.
        // "With --kick" and "With --cycles" ask for --check too, through the option they name.
        const QRegularExpression checkOnly("^  (--[a-z-]+)( <\\w+>)? +With --(check|kick|cycles)",
                                           QRegularExpression::MultilineOption);
        int found = 0;
        for (auto it = checkOnly.globalMatch(parseCommandLine({"crtest", "--help"}).text);
             it.hasNext(); ++found) {
            const QRegularExpressionMatch match = it.next();
            const QString option = match.captured(1);
            QTest::addRow("%s without --check", qPrintable(option))
                << QStringList {option, "0"}.mid(0, match.hasCaptured(2) ? 2 : 1)
                << "usage: " + option + " needs --check.";
        }
        QVERIFY(found >= 3);
    }
    void parse()
    {
        QFETCH(QStringList, arguments);
        const CommandLine line = parseCommandLine(QStringList{"/usr/bin/crtest"} + arguments);
        QStringList words{QStringList{"window", "check", "help", "version", "usage:"}[int(line.action)]};
        words << (line.action == CommandLine::Action::UsageError ? line.text : "")
              << QStringList{"", "json", "prometheus", "openmetrics"}[int(line.format)]
              << (line.verbose ? "verbose" : "") << (line.kickAsked ? "kick" : "");
        for (const int drawer : line.kicks)
            words << QString::number(drawer);
        QTEST(words.join(' ').simplified(), "parsed");
    }
};

QTEST_GUILESS_MAIN(CheckTest)
#include "tst_check.moc"
