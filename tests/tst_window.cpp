// The window's handlers on the real window, with a scripted driver and scripted services:
// start-up, help and the ways out, when a close or a click may interrupt a handler, the
// STATUS refresh and the kick, the statistics and the copied report. What is checked is what
// the device and the user see: the driver calls, the waits, paints and message boxes between
// them, the window's boxes, buttons and focus. Driver faults are the fault matrix's.
#include "formrig.h"

#include <QClipboard>
#include <QScreen>

#include <stdexcept>

namespace {

const std::array<int32_t, 8> TwoPresent{1, -1, -1, -1, -1, -1, -1, 112}; // 0 closed, 7 open
const QStringList Refresh = words("DrawerState(0) DrawerState(1) DrawerState(2) DrawerState(3) "
                                  "DrawerState(4) DrawerState(5) DrawerState(6) DrawerState(7)");
// The statistics of an all-zero block: the cleared boxes painted before the read, then each
// count box painted before its message box.
const QString Zero = "Message:" + QString(4, QChar(0)) + "-->0";
const QStringList Statistics =
        words("Paint(CountFrame) RetrieveStatistics(0,15,106) Paint(crTextSValue_13)")
        + QStringList{Zero, "Paint(crTextSValue_14)", Zero};

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

// A controller in use: a serial number longer than its box, counts of 1200 and 3.
QByteArray blockInUse()
{
    QByteArray block(106, '\0');
    block.replace(46, 28, "SN-0123456789ABC20240115R2.0").replace(82, 8, "20240301");
    return block.replace(98, 8, QByteArray::fromHex("B004000003000000"));
}

} // namespace

class WindowTest : public QObject
{
    Q_OBJECT

    enum Event { NoEvent, FocusElsewhere, StatusAfterFirstKick, NoDrawerPresent };

private slots:
    void startUp_data()
    {
        QTest::addColumn<QList<int32_t>>("opens");
        QTest::addColumn<QStringList>("expected"); // the log, as rows() leaves it
        const QStringList retry = words("OpenBexor Yield OpenBexor");
        QTest::newRow("first open succeeds")
                << QList<int32_t>{0} << words("OpenBexor Yield") + Refresh + Statistics;
        QTest::newRow("retry succeeds") << QList<int32_t>{7, 0} << retry + Refresh + Statistics;
        QTest::newRow("both opens fail")
                << QList<int32_t>{7, -1} << retry + QStringList{"Message:USB CR Open error !!"};
    }
    void startUp()
    {
        QFETCH(QList<int32_t>, opens);
        FormRig rig;
        rig.driver.opens = opens;
        // Hidden for the first open and its yield, where no input may reach the window;
        // shown from the retry and any message on, centred on the screen.
        QStringList seen;
        rig.log.onEntry = [&](const QString &) { seen << (rig.form->isVisible() ? "on" : "off"); };
        rig.start();

        QTEST(rows(rig.log), "expected");
        QCOMPARE(seen, QStringList({"off", "off"}) + QStringList(seen.size() - 2, "on"));
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(rig.form->pos(), QPoint(screen.x() + (screen.width() - 607) / 2,
                                         screen.y() + (screen.height() - 384) / 2));
        QCOMPARE(button(*rig.form, "Status_Cmd")->isEnabled(), opens.contains(0));
        QCOMPARE(button(*rig.form, "Kick_Cmd")->isEnabled(), opens.contains(0));
    }

    // Steps after start-up: a button clicked, by its name; the close box; Enter on the initial
    // focus; Escape; open-fails, no-editor, close-at-waits and fail-at-3 script the opens, the
    // help start, every wait or the third. STATUS is clicked in every yield, and after the steps exit, the close box,
    // STATUS and kick are tried again: whatever the way out, the device is closed once, and
    // nothing reaches the driver or the screen after the end. A close that comes while a
    // handler is busy waits for it, nested in a kick's yield or not.
    void userActions_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("expected"); // the log after start-up, as rows() leaves it
        const auto row = [](const char *name, const char *steps, QStringList log) {
            QTest::newRow(name) << QString(steps) << log;
        };
        const QStringList closed = words("CloseBexor Yield");
        const QStringList exited = words("CloseBexor Yield End(0)");
        const QStringList failed{"Message:Unexpected error: control failed\nThe device is closed "
                                 "and the utility ends.", "CloseBexor", "End(1)"};
        const QStringList kickToStatus = words("DrawerOpen(0) Yield");
        // Ends by the exit button, as every row does after its steps.
        row("help, editor missing", "no-editor cmdHelp",
            QStringList{"Help", "Message:The help text could not be opened: the command "
                                "\"xdg-open Readme.Txt\" could not be started."} + exited);
        row("close box", "close", closed);
        row("Escape", "escape", exited);
        row("Enter on the initial focus, open failed", "open-fails enter", exited);
        row("unexpected error", "fail-at-3 Status_Cmd", Refresh.mid(0, 3) + failed);
        row("close box during a refresh", "close-at-waits Status_Cmd", Refresh + closed);
        row("close box during a refresh in a kick's yield", "close-at-waits Kick_Cmd",
            kickToStatus + Refresh + closed);
        row("unexpected error in a refresh in a kick's yield, a close waiting",
            "close-at-waits fail-at-3 Kick_Cmd", kickToStatus + Refresh.mid(0, 3) + failed);
    }
    void userActions()
    {
        QFETCH(QString, steps);
        FormRig rig;
        if (steps.contains("open-fails"))
            rig.driver.opens = {1, 1};
        CRTEST_Form &form = rig.start();
        rig.log.clear();
        int sleeps = 0;
        rig.log.onEntry = [&](const QString &entry) {
            if (entry == "Yield")
                button(form, "Status_Cmd")->click();
            if (entry.startsWith("Sleep") && steps.contains("close-at-waits"))
                form.close();
            if (entry.startsWith("Sleep") && ++sleeps == 3 && steps.contains("fail-at-3"))
                throw std::runtime_error("control failed");
        };
        for (const QString &step : steps.split(' ') + words("Exit_Cmd close Status_Cmd Kick_Cmd")) {
            if (step == "close") {
                form.close();
            } else if (step == "enter") {
                QTest::keyClick(form.focusWidget(), Qt::Key_Return);
            } else if (step == "escape") {
                // A shortcut answers in the active window only, and presses exit a moment later.
                form.activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(&form));
                QTest::keyClick(&form, Qt::Key_Escape);
                QTRY_VERIFY(rig.log.contains("End(0)"));
            } else if (step == "no-editor") {
                rig.services.helpStarts = false;
            } else if (!step.contains('-')) {
                button(form, qPrintable(step))->click();
            }
        }
        QTEST(rows(rig.log), "expected");
    }

    // STATUS or the kick, clicked with the focus on it, drawers 0 (closed) and 7 (open) present
    // or none. While it runs the focus may be moved to exit; or, once the kick's first drawer
    // is kicked, drawer 7 unplugged and STATUS clicked.
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
        FormRig rig;
        rig.driver.states = TwoPresent;
        if (event == NoDrawerPresent)
            rig.driver.states.fill(-1);
        CRTEST_Form &form = rig.start();
        QPushButton *const pressed = button(form, qPrintable(clicked));
        QPushButton *const exit = button(form, "Exit_Cmd");
        rig.log.clear();
        QList<bool> enabled;
        rig.log.onEntry = [&](const QString &entry) {
            enabled << pressed->isEnabled();
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
    }

    // Exit or the close box clicked in each yield of a kick of two drawers, and STATUS in the
    // shut-down's own yield that follows: the device closed once, then only that yield and the
    // end of the program. The kick stops there: no drawer, wait, paint or message box after
    // it, and its button is not given back.
    void endInEveryYieldOfAKick_data()
    {
        QTest::addColumn<int>("atYield");
        QTest::addColumn<bool>("exit");
        FormRig rig;
        rig.driver.states = TwoPresent;
        rig.start();
        rig.log.clear();
        button(*rig.form, "Kick_Cmd")->click();
        const int yields = int(rig.log.count("Yield"));
        QVERIFY(yields > 2);
        for (int n = 1; n <= yields; ++n) {
            QTest::addRow("exit in yield %d of %d", n, yields) << n << true;
            QTest::addRow("close box in yield %d of %d", n, yields) << n << false;
        }
    }
    void endInEveryYieldOfAKick()
    {
        QFETCH(int, atYield);
        QFETCH(bool, exit);
        FormRig rig;
        rig.driver.states = TwoPresent;
        CRTEST_Form &form = rig.start();
        int yields = 0;
        rig.log.onEntry = [&](const QString &entry) {
            if (entry == "Yield" && ++yields == atYield)
                exit ? button(form, "Exit_Cmd")->click() : void(form.close());
            else if (entry == "Yield" && yields == atYield + 1)
                button(form, "Status_Cmd")->click();
        };
        rig.log.clear();
        button(form, "Kick_Cmd")->click();
        QCOMPARE(rig.log.mid(rig.log.indexOf("CloseBexor")),
                 words(exit ? "CloseBexor Yield End(0)" : "CloseBexor Yield"));
        QVERIFY(!button(form, "Kick_Cmd")->isEnabled());
        QCOMPARE(form.isVisible(), exit);
    }

    // A kick with no drawer present reads the statistics a second time. The boxes are cleared
    // and painted before the read; each count box shows its raw characters, painted, while its
    // message box is up, and its decimal text after; a long serial number is whole in its
    // tooltip.
    void statistics()
    {
        FormRig rig;
        rig.driver.states.fill(-1);
        rig.driver.statisticsBlock = blockInUse();
        CRTEST_Form &form = rig.start();
        QStringList seen; // the six boxes at each paint and message box
        rig.log.onEntry = [&](const QString &entry) {
            if (entry.startsWith("Paint") || entry.startsWith("Message"))
                seen << boxTexts(form).join('|');
        };
        button(form, "Kick_Cmd")->click();

        const QString texts = "SN-0123456789ABC|20240115|R2.0|20240301|";
        const QString raw13 = texts + QString::fromLatin1("\xB0\x04\0\0|", 5);
        const QString raw14 = texts + "1200|" + QString::fromLatin1("\x03\0\0\0", 4);
        QCOMPARE(seen, QStringList({"|||||", raw13, raw13, raw14, raw14}));
        QCOMPARE(boxTexts(form).join('|'), texts + "1200|3");
        QCOMPARE(control(form, "crTextSValue_5")->toolTip(), "SN-0123456789ABC");
    }

    // Ctrl+C puts the report of what the controller model found on the clipboard, through the
    // event rules: nothing of the window changes, nothing reaches the driver, and once the
    // program has ended nothing is copied.
    void copyReport()
    {
        FormRig rig;
        rig.driver.states[0] = 0;
        rig.driver.statisticsBlock = blockInUse();
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
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
