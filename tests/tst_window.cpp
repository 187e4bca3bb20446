// The window's handlers on the real window, with a scripted driver and scripted services:
// start-up, help and the ways out, when a close or a click may interrupt a handler, the
// STATUS refresh and the kick, the statistics and the copied report. What is checked is what
// the device and the user see: the driver calls, the waits, paints and message boxes between
// them, the window's boxes, buttons and focus. Driver faults are the fault matrix's. And the
// controller model beneath the handlers on its own: the open with its one retry, what the
// snapshot keeps of the opens, the kicks and their read-backs and the statistics, and that
// once it is closed nothing reaches the driver, whatever is asked of it. And the help button's
// launcher on Linux: which readme xdg-open is given, and what the technician is told when
// xdg-open cannot start or ends badly. A stand-in xdg-open on PATH ends as each row asks; the
// message names the file it was given.
#include "formrig.h"
#include "helplauncher.h"
#include "reportwords.h"

#include <QClipboard>
#include <QDir>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>

#include <stdexcept>

namespace {

const std::array<int32_t, 8> TwoPresent{1, -1, -1, -1, -1, -1, -1, 112}; // 0 closed, 7 open
const std::array<int32_t, 8> NonePresent{-1, -1, -1, -1, -1, -1, -1, -1};
const QStringList Refresh = words("DrawerState(0) DrawerState(1) DrawerState(2) DrawerState(3) "
                                  "DrawerState(4) DrawerState(5) DrawerState(6) DrawerState(7)");
// The statistics of a controller in use: the cleared boxes painted before the read, then each
// count box painted before its message box, which shows the count's raw characters.
const QString Raw13 = QString::fromLatin1("\xB0\x04\0\0", 4);
const QString Raw14 = QString::fromLatin1("\x03\0\0\0", 4);
const QStringList Statistics =
        words("Paint(CountFrame) RetrieveStatistics(0,15,106) Paint(crTextSValue_13)")
        + QStringList{"Message:" + Raw13 + "-->1200", "Paint(crTextSValue_14)",
                      "Message:" + Raw14 + "-->3"};

// The log without the paint of each drawer's row and its 100 ms wait, where they follow the
// drawer's read as they must: a row painted late, or not at all, leaves them in.
QStringList rows(const QStringList &log)
{
    QStringList rest;
    for (qsizetype i = 0; i < log.size(); ++i) {
        rest << log[i];
        const QStringList shown{"Paint(Drawer_State_" + log[i].mid(12, 1) + ')', "Sleep(100)"};
        if (log[i].startsWith("DrawerState(") && log.mid(i + 1, 2) == shown)
            i += 2;
    }
    return rest;
}

// The window on a controller in use, with the drawers given: a serial number longer than its
// box, counts of 1200 and 3.
struct Rig : FormRig
{
    explicit Rig(const std::array<int32_t, 8> &states = FakeDriver().states)
    {
        driver.states = states;
        QByteArray &block = driver.statisticsBlock;
        block.replace(46, 28, "SN-0123456789ABC20240115R2.0").replace(82, 8, "20240301");
        block.replace(98, 8, QByteArray::fromHex("B004000003000000"));
    }
};

} // namespace

class WindowTest : public QObject
{
    Q_OBJECT

    enum Event { NoEvent, FocusElsewhere, StatusAfterFirstKick, NoDrawerPresent };

private slots:
    // Start-up with the opens as scripted, then steps: a button clicked, by its name; the close
    // box; Enter on the initial focus; Escape; open-retried, open-fails, no-editor, close-at-waits
    // and fail-at-3 script the opens, the help start, every wait or the third. After start-up
    // STATUS is clicked in every yield, and after the steps exit, the close box, STATUS and
    // kick are tried again: whatever the way out, the device is closed once, and nothing
    // reaches the driver or the screen after the end. A close that comes while a handler is
    // busy waits for it, nested in a kick's yield or not.
    void userActions_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("expected"); // the log, as rows() leaves it
        const auto row = [](const char *name, const char *steps, QStringList log) {
            QTest::newRow(name) << QString(steps) << log;
        };
        const QStringList started = words("OpenBexor Yield") + Refresh + Statistics;
        const QStringList retry = words("OpenBexor Yield OpenBexor");
        const QStringList closed = words("CloseBexor Yield");
        const QStringList exited = words("CloseBexor Yield End(0)");
        const QStringList failed{"Message:Unexpected error: control failed\nThe device is closed "
                                 "and the utility ends.", "CloseBexor", "End(1)"};
        const QStringList kickToStatus = words("DrawerOpen(0) Yield");
        // Ends by the exit button, as every row does after its steps.
        row("retry succeeds", "open-retried", retry + Refresh + Statistics + exited);
        row("both opens fail, Enter on the initial focus", "open-fails enter",
            retry + QStringList{"Message:USB CR Open error !!"} + exited);
        row("help, editor missing", "no-editor cmdHelp",
            started + QStringList{"Help", "Message:The help text could not be opened: the "
                                          "command \"xdg-open Readme.Txt\" could not be started."}
                    + exited);
        row("close box", "close", started + closed);
        row("Escape", "escape", started + exited);
        row("unexpected error", "fail-at-3 Status_Cmd", started + Refresh.mid(0, 3) + failed);
        row("close box during a refresh", "close-at-waits Status_Cmd", started + Refresh + closed);
        row("close box during a refresh in a kick's yield", "close-at-waits Kick_Cmd",
            started + kickToStatus + Refresh + closed);
        row("unexpected error in a refresh in a kick's yield, a close waiting",
            "close-at-waits fail-at-3 Kick_Cmd",
            started + kickToStatus + Refresh.mid(0, 3) + failed);
    }
    void userActions()
    {
        QFETCH(QString, steps);
        Rig rig;
        const bool opens = !steps.contains("open-fails");
        if (steps.contains("open-"))
            rig.driver.opens = {7, opens ? 0 : -1};
        // Hidden for the first open and its yield, where no input may reach the window;
        // shown from the retry and any message on, centred on the screen.
        QStringList seen;
        rig.log.onEntry = [&](const QString &) { seen << (rig.form->isVisible() ? "on" : "off"); };
        CRTEST_Form &form = rig.start();
        QCOMPARE(seen, QStringList({"off", "off"}) + QStringList(seen.size() - 2, "on"));
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(form.pos(), QPoint(screen.x() + (screen.width() - 607) / 2,
                                    screen.y() + (screen.height() - 384) / 2));
        QCOMPARE(button(form, "Status_Cmd")->isEnabled(), opens);
        QCOMPARE(button(form, "Kick_Cmd")->isEnabled(), opens);

        int sleeps = 0;
        rig.log.onEntry = [&](const QString &entry) {
            if (entry == "Yield")
                button(form, "Status_Cmd")->click();
            if (entry.startsWith("Sleep") && steps.contains("close-at-waits"))
                form.close();
            if (entry.startsWith("Sleep") && ++sleeps == 3 && steps.contains("fail-at-3"))
                throw std::runtime_error("control failed");
        };
        rig.services.helpStarts = !steps.contains("no-editor");
        for (const QString &step : steps.split(' ') + words("Exit_Cmd close Status_Cmd Kick_Cmd")) {
            if (step == "enter") {
                QTest::keyClick(form.focusWidget(), Qt::Key_Return);
            } else if (step == "escape") {
                // A shortcut answers in the active window only, and presses exit a moment later.
                form.activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(&form));
                QTest::keyClick(&form, Qt::Key_Escape);
                QTRY_VERIFY(rig.log.contains("End(0)"));
            } else if (!step.contains('-')) {
                press(form, step);
            }
        }
        QTEST(rows(rig.log), "expected");
    }

    // STATUS or the kick, clicked with the focus on it, drawers 0 (closed) and 7 (open) present
    // or none. While it runs the focus may be moved to exit; or, once the kick's first drawer
    // is kicked, drawer 7 unplugged and STATUS clicked. A kick reads the statistics a second
    // time: the boxes are cleared and painted before the read; each count box shows its raw
    // characters, painted, while its message box is up, and its decimal text after; a long
    // serial number is whole in its tooltip.
    void click_data()
    {
        QTest::addColumn<QString>("clicked");
        QTest::addColumn<int>("event");
        QTest::addColumn<QStringList>("expected"); // the log as rows() leaves it, no yields
        const auto row = [](const char *name, const char *clicked, Event event,
                            const QStringList &log) {
            QTest::newRow(name) << QString(clicked) << int(event) << log;
        };
        // Each present drawer kicked once, in order; the settle time; each read back.
        const QStringList kicked =
                words("DrawerOpen(0) DrawerOpen(7) Sleep(600) DrawerState(0) DrawerState(7)")
                + Statistics;
        row("STATUS", "Status_Cmd", NoEvent, Refresh);
        row("kick", "Kick_Cmd", NoEvent, kicked);
        row("kick, the focus moved meanwhile", "Kick_Cmd", FocusElsewhere, kicked);
        row("kick, no drawer present", "Kick_Cmd", NoDrawerPresent,
            QStringList{"Sleep(600)"} + Statistics);
        // The refresh runs inside the kick, which then reads the ticks afresh.
        row("kick, STATUS clicked in it", "Kick_Cmd", StatusAfterFirstKick,
            QStringList{"DrawerOpen(0)"} + Refresh + words("Sleep(600) DrawerState(0)")
                    + Statistics);
    }
    void click()
    {
        QFETCH(QString, clicked);
        QFETCH(int, event);
        Rig rig(event == NoDrawerPresent ? NonePresent : TwoPresent);
        CRTEST_Form &form = rig.start();
        QPushButton *const pressed = button(form, qPrintable(clicked));
        QPushButton *const exit = button(form, "Exit_Cmd");
        rig.log.clear();
        QList<bool> enabled;
        QStringList seen; // the six boxes at each paint of the statistics and message box
        rig.log.onEntry = [&](const QString &entry) {
            enabled << pressed->isEnabled();
            if (entry.startsWith("Message") || entry.startsWith("Paint(C")
                || entry.startsWith("Paint(cr"))
                seen << boxTexts(form).join('|');
            if (event == FocusElsewhere)
                exit->setFocus();
            if (event == StatusAfterFirstKick && entry == "Yield"
                && rig.log.contains("DrawerOpen(0)") && !rig.log.contains("DrawerState(0)")) {
                rig.driver.states[7] = -1;
                button(form, "Status_Cmd")->click();
            }
        };
        pressed->setFocus();
        QTest::mouseClick(pressed, Qt::LeftButton);

        QStringList log = rows(rig.log);
        // A refresh lets no other handler in.
        QCOMPARE(log.removeAll("Yield") > 0, clicked == "Kick_Cmd");
        QTEST(log, "expected");
        // Disabled throughout, its message boxes included; the focus Qt moved away from it
        // comes back, unless the user has put it somewhere meanwhile.
        QVERIFY(!enabled.contains(true));
        QVERIFY(pressed->isEnabled());
        QCOMPARE(form.focusWidget(), event == FocusElsewhere ? exit : pressed);
        // The four text boxes, then each count as its raw characters and as its number.
        const QString texts = "SN-0123456789ABC|20240115|R2.0|20240301|";
        const QString raw13 = texts + Raw13 + '|', raw14 = texts + "1200|" + Raw14;
        QCOMPARE(seen, clicked == "Kick_Cmd" ? QStringList({"|||||", raw13, raw13, raw14, raw14})
                                             : QStringList());
        QCOMPARE(boxTexts(form).join('|'), texts + "1200|3");
        QCOMPARE(control(form, "crTextSValue_5")->toolTip(), "SN-0123456789ABC");
    }

    // Exit or the close box clicked in each yield of a kick of two drawers, and STATUS in the
    // shut-down's own yield that follows: the device closed once, then only that yield and the
    // end of the program. The kick stops there: no drawer, wait, paint or message box after
    // it, and its button is not given back.
    void endInEveryYieldOfAKick()
    {
        for (int atYield = 1;; ++atYield) {
            for (const bool exit : {true, false}) {
                Rig rig(TwoPresent);
                CRTEST_Form &form = rig.start();
                int yields = 0;
                rig.log.onEntry = [&](const QString &entry) {
                    if (entry == "Yield" && ++yields == atYield)
                        press(form, exit ? "Exit_Cmd" : "close");
                    else if (entry == "Yield" && yields == atYield + 1)
                        button(form, "Status_Cmd")->click();
                };
                rig.log.clear();
                button(form, "Kick_Cmd")->click();
                // Past the kick's last yield: every one has been tried.
                if (yields < atYield) {
                    QVERIFY(atYield > 3);
                    return;
                }
                const QString what = QString("%1 in yield %2: %3")
                        .arg(exit ? "exit" : "close box").arg(atYield).arg(rig.log.join(' '));
                QVERIFY2(rig.log.mid(rig.log.indexOf("CloseBexor"))
                                 == words(exit ? "CloseBexor Yield End(0)" : "CloseBexor Yield")
                                 && !button(form, "Kick_Cmd")->isEnabled()
                                 && form.isVisible() == exit,
                         qPrintable(what));
            }
        }
    }

    // Ctrl+C puts the report of what the controller model found on the clipboard, through the
    // event rules: nothing of the window changes, nothing reaches the driver, and once the
    // program has ended nothing is copied.
    void copyReport()
    {
        Rig rig({0, 17, 33, 49, -1, -1, -1, -1});
        rig.driverFile = "/usr/lib/x86_64-linux-gnu/libbexor.so";
        CRTEST_Form &form = rig.start();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        const QImage before = form.grab().toImage();
        rig.log.clear();
        QTest::keyClick(&form, Qt::Key_C, Qt::ControlModifier);

        const QString copied = QGuiApplication::clipboard()->text();
        QVERIFY2(copied.startsWith("crtest 2.00 window at "), qPrintable(copied));
        QCOMPARE(copied.section('\n', 1),
                 "Driver: /usr/lib/x86_64-linux-gnu/libbexor.so\nController: open\nDrawers:\n"
                 "  0 open\n  1 closed\n  2 closed\n  3 closed\n  4 not present\n  5 not present\n"
                 "  6 not present\n  7 not present\nStatistics:\n"
                 "  Serial number:        SN-0123456789ABC\n  Manufacture date:     20240115\n"
                 "  Mechanical revision:  R2.0\n  Installation date:    20240301\n"
                 "  Good opens:           1200\n  Failed opens:         3\n");
        QVERIFY(rig.log.isEmpty());
        QCOMPARE(form.grab().toImage(), before);
        QGuiApplication::clipboard()->setText("after");
        button(form, "Exit_Cmd")->click();
        QTest::keyClick(&form, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("after"));
    }

    // Steps asked of the model: open (the front end's step between the two opens says go on),
    // read or kick drawer n, the drawer springing open or shut (in the driver), the
    // statistics, close. Then every call that reached the driver, and what the snapshot keeps.
    void steps_data()
    {
        QTest::addColumn<QList<int32_t>>("opens");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("calls");
        QTest::addColumn<QStringList>("kept");
        const auto row = [](const char *name, QList<int32_t> opens, const char *steps,
                            const char *calls, const QStringList &kept) {
            QTest::newRow(name) << opens << QString(steps) << QString(calls) << kept;
        };
        row("retry at once; nothing after the close", {5, 0},
            "open read0 close read0 kick0 stats open close",
            "OpenBexor between OpenBexor DrawerState(0) CloseBexor between", {"opens 5, then 0"});
        row("a kick's read-back is the first read after it", {0},
            "open read0 kick0 kick1 open0 read0 shut0 read0 stats",
            "OpenBexor between DrawerState(0) DrawerOpen(0) DrawerOpen(1) DrawerState(0) "
            "DrawerState(0) RetrieveStatistics(0,15,106)",
            {"opens 0", "kick 0: closed > open", "kick 1: not read > not read", "good opens 1200"});
        row("only a drawer's last kick is kept", {0}, "open read0 kick0 kick1 open0 read0 kick0",
            "OpenBexor between DrawerState(0) DrawerOpen(0) DrawerOpen(1) DrawerState(0) "
            "DrawerOpen(0)",
            {"opens 0", "kick 1: not read > not read", "kick 0: open > not read"});
    }
    void steps()
    {
        QFETCH(QList<int32_t>, opens);
        QFETCH(QString, steps);
        Rig rig; // the driver and its log alone
        FakeDriver &driver = rig.driver;
        driver.opens = opens;
        Controller controller(&driver, {}, {});
        for (const QString &step : steps.split(' ')) {
            const int n = step.right(1).toInt();
            if (step == "open")
                controller.open([&] { return rig.log << "between", true; });
            else if (step.startsWith("read"))
                controller.readDrawer(n);
            else if (step.startsWith("kick"))
                controller.kick(n);
            else if (step.startsWith("open") || step.startsWith("shut"))
                driver.states[n] = 16 * n + step.startsWith("shut");
            else
                step == "stats" ? void(controller.readStatistics()) : controller.close();
        }
        QTEST(rig.log.join(' '), "calls");
        const ControllerSnapshot &found = controller.snapshot();
        QStringList kept{"opens " + reportwords::openResultsText(found.openResults)};
        for (const KickResult &kick : found.kicks)
            kept << QString("kick %1: %2 > %3")
                            .arg(kick.drawer)
                            .arg(reportwords::readingWord(kick.before),
                                 reportwords::readingWord(kick.after.reading));
        if (found.statistics.hasValues())
            kept << "good opens " + found.statistics.values[GoodOpens];
        QTEST(kept, "kept");
    }

    // Where readmes lie under a fresh folder "@", the program being in usr/bin and its
    // installed files in usr/share/crtest, the current folder "here": the first listed is the
    // one to open, as "Readme.Txt" if it is in the current folder or there is none. Then how
    // the stand-in xdg-open ends (nothing: none on PATH) and what the technician is told.
    void startsTheEditor_data()
    {
        QTest::addColumn<QStringList>("readmes");
        QTest::addColumn<QByteArray>("editorEnds");
        QTest::addColumn<QString>("told");
        const auto row = [](const char *name, QStringList readmes, const char *ends,
                            const char *told) {
            QTest::newRow(name) << readmes << QByteArray(ends) << QString(told);
        };
        const QStringList here{"here/Readme.Txt"};
        row("readme in the current folder first", {"here/Readme.Txt", "usr/bin/Readme.Txt"},
            "exit 1", "\"xdg-open Readme.Txt\" ended with status 1: it did not understand its "
            "command line.");
        row("then beside the program", {"usr/bin/Readme.Txt", "usr/share/crtest/Readme.Txt"},
            "exit 1", "\"xdg-open @/usr/bin/Readme.Txt\" ended with status 1: it did not "
            "understand its command line.");
        row("then installed with it", {"usr/share/crtest/Readme.Txt"}, "exit 1",
            "\"xdg-open @/usr/share/crtest/Readme.Txt\" ended with status 1: it did not "
            "understand its command line.");
        row("the editor starts", here, "exit 0", "");
        row("no readme anywhere", {}, "echo \"xdg-open: file '$1' does not exist\" >&2; exit 2",
            "\"xdg-open Readme.Txt\" ended with status 2: the file does not exist.\n"
            "It said: xdg-open: file 'Readme.Txt' does not exist");
        row("no program for text files", here, "exit 3",
            "\"xdg-open Readme.Txt\" ended with status 3: no program is set up to open text "
            "files, or a program it needs is missing.");
        row("a terminal editor and no terminal", here,
            "echo 'xdg-open: no terminal emulator found' >&2; exit 4",
            "\"xdg-open Readme.Txt\" ended with status 4: the program set up to open text files "
            "could not open it.\nIt said: xdg-open: no terminal emulator found");
        row("killed", here, "kill -9 $$", "\"xdg-open Readme.Txt\" ended abnormally.");
        row("xdg-open not installed", here, "",
            "the command \"xdg-open Readme.Txt\" could not be started.");
    }
    void startsTheEditor()
    {
        QFETCH(QStringList, readmes);
        QFETCH(QByteArray, editorEnds);
        QTemporaryDir scratch;
        const auto at = [&](const QString &path) { return scratch.filePath(path); };
        const auto write = [&](const QString &path, const QByteArray &content) {
            QFile file(at(path));
            return QDir().mkpath(QFileInfo(file).path()) && file.open(QIODevice::WriteOnly)
                    && file.write(content) == content.size();
        };
        QVERIFY(QDir().mkpath(at("here")) && QDir().mkpath(at("usr/bin")));
        for (const QString &readme : readmes)
            QVERIFY(write(readme, "help\n"));
        QVERIFY(write("bin/xdg-open", "#!/bin/sh\n" + editorEnds));
        QVERIFY(QFile::setPermissions(at("bin/xdg-open"), QFile::ReadOwner | QFile::ExeOwner));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", at(editorEnds.isEmpty() ? "nowhere" : "bin").toUtf8());
        QDir::setCurrent(at("here"));

        QStringList failures;
        startHelpEditor(at("usr/bin"), [&](const QString &why) { failures << why; });
        qputenv("PATH", path);
        // Nothing is told before the event loop has run: the click's handler is long over.
        QVERIFY(failures.isEmpty());
        QTRY_VERIFY(QCoreApplication::instance()->findChildren<QProcess *>().isEmpty());
        QTEST(failures.join("\n--\n").replace(scratch.path(), "@"), "told");
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
