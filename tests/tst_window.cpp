// The window's handlers on the real window with a scripted driver: start-up, help and the
// ways out, the STATUS refresh and the kick, as the order of calls, waits, paints, yields and
// message boxes; then the bundled simulated controller behind the window, loaded the way the
// program loads a driver. The driver's faults (at open, kick and close, in the states and the
// statistics) and missing or damaged libraries are part of the fault matrix.
#include "bexorlibrary.h"
#include "formrig.h"

#include <QScreen>

#include <stdexcept>

using DrawerStates = std::array<int32_t, 8>;

class WindowTest : public QObject
{
    Q_OBJECT

    enum Event { NoEvent, Status, ExitButton, CloseBox };

    // The statistics of an all-zero block: the cleared boxes painted, the read, then each
    // count's raw characters painted before its message.
    const QString zero = "Message:" + QString(4, QChar(0)) + "-->0";
    const QStringList statistics =
            words("Paint RetrieveStatistics(0,15,106) Paint") + QStringList{zero, "Paint", zero};

private slots:
    void openOutcomes_data()
    {
        QTest::addColumn<QList<int32_t>>("opens");
        QTest::addColumn<QStringList>("expectedLog");
        // The first open is followed by the one yield before the window shows, the retry by
        // none. Once open: every drawer read with its wait, then the statistics.
        const QStringList opened = RefreshLog + statistics;
        const QStringList retry = words("OpenBexor Yield OpenBexor");
        QTest::newRow("first open succeeds")
                << QList<int32_t>{0} << words("OpenBexor Yield") + opened;
        QTest::newRow("retry succeeds") << QList<int32_t>{7, 0} << retry + opened;
        QTest::newRow("both opens fail")
                << QList<int32_t>{7, -1} << retry + QStringList{"Message:USB CR Open error !!"};
    }
    void openOutcomes()
    {
        QFETCH(QList<int32_t>, opens);
        FormRig rig;
        rig.driver.opens = opens;
        // Hidden for the first open and its yield, where no input may reach the window;
        // shown from the retry and any message on, centred on the screen.
        QStringList seen;
        const auto note = [&] { seen << (rig.form->isVisible() ? "shown" : "hidden"); };
        rig.driver.onCall = [&](const QString &) { note(); };
        rig.services.onMessage = [&](const QString &) { note(); };
        rig.services.onYield = [&](int) { note(); };
        rig.start();

        QTEST(rig.log, "expectedLog");
        QCOMPARE(seen, QStringList({"hidden", "hidden"}) + QStringList(seen.size() - 2, "shown"));
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(rig.form->pos(), QPoint(screen.x() + (screen.width() - 607) / 2,
                                         screen.y() + (screen.height() - 384) / 2));
        const bool open = rig.log.contains("DrawerState(0)");
        QCOMPARE(button(*rig.form, "Status_Cmd")->isEnabled(), open);
        QCOMPARE(button(*rig.form, "Kick_Cmd")->isEnabled(), open);
    }

    // Steps after start-up: a button clicked, by its name, the close box, Enter on the
    // initial focus, Escape; no-editor, close-at-waits and fail-at-2 first script the help
    // start, every wait or the read of drawer 2. Whatever the way out, CloseBexor is called
    // exactly once: a STATUS click queued behind the close lands in its yield and must find
    // the program ending, and the toolkit's own close after an exit must not close again.
    void userActions_data()
    {
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("expectedLog");
        const auto row = [](const char *name, bool opens, const char *steps,
                            const QStringList &log) {
            QTest::newRow(name) << opens << QString(steps) << log;
        };
        const QStringList closed = words("CloseBexor Yield");
        const QStringList exited = words("CloseBexor Yield End(0)");
        row("help, device open", true, "cmdHelp", {"Help"});
        row("help, no device", false, "cmdHelp", {"Help"});
        row("help, editor missing", true, "no-editor cmdHelp",
            {"Help", "Message:The help text could not be opened: the command \"xdg-open "
                     "Readme.Txt\" could not be started."});
        row("close during a refresh waits its end", true, "close-at-waits Status_Cmd",
            RefreshLog + closed);
        row("close box, device open", true, "close", closed);
        row("exit button, device open", true, "Exit_Cmd close", exited);
        row("exit button, open failed", false, "Exit_Cmd close", exited);
        row("Enter on the initial focus", false, "enter close", exited);
        row("Escape", true, "escape close", exited);
        // A failure nobody foresaw closes the device and ends; the exit and close after it
        // reach nothing.
        row("unexpected error, then exit and close", true, "fail-at-2 Status_Cmd Exit_Cmd close",
            words("DrawerState(0) Paint Sleep(100) DrawerState(1) Paint Sleep(100) DrawerState(2)")
                    + QStringList{"Message:Unexpected error: control failed\nThe device is "
                                  "closed and the utility ends.", "CloseBexor", "End(1)"});
    }
    void userActions()
    {
        QFETCH(bool, opens);
        QFETCH(QString, steps);
        FormRig rig;
        rig.driver.opens = opens ? QList<int32_t>{0} : QList<int32_t>{1, 1};
        CRTEST_Form &form = rig.start();
        rig.log.clear();
        const auto click = [&](const char *name) {
            QTest::mouseClick(button(form, name), Qt::LeftButton);
        };
        rig.services.onYield = [&](int) { click("Status_Cmd"); };
        const QMap<QString, std::function<void()>> act{
                {"close", [&] { form.close(); }},
                {"enter", [&] { QTest::keyClick(form.focusWidget(), Qt::Key_Return); }},
                // A shortcut answers in the active window only. It presses exit as a click the
                // user can see, a moment later.
                {"escape", [&] {
                     form.activateWindow();
                     QVERIFY(QTest::qWaitForWindowActive(&form));
                     QTest::keyClick(&form, Qt::Key_Escape);
                     QTRY_VERIFY(rig.log.contains("End(0)"));
                 }},
                {"no-editor", [&] { rig.services.helpStarts = false; }},
                {"close-at-waits", [&] { rig.services.onSleep = [&] { form.close(); }; }},
                {"fail-at-2", [&] {
                     rig.driver.onCall = [](const QString &call) {
                         if (call == "DrawerState(2)")
                             throw std::runtime_error("control failed");
                     };
                 }},
        };
        for (const QString &step : steps.split(' '))
            act.contains(step) ? act[step]() : click(qPrintable(step));
        QTEST(rig.log, "expectedLog");
    }

    // STATUS or the kick clicked, and maybe STATUS, exit or the close box clicked while the
    // kick waits in a yield.
    void click_data()
    {
        QTest::addColumn<QString>("clicked");
        QTest::addColumn<DrawerStates>("states");
        QTest::addColumn<int>("atYield"); // where the event lands, counted from 1
        QTest::addColumn<int>("event");
        QTest::addColumn<QStringList>("expectedLog");
        const auto row = [](const QString &name, const char *clicked, DrawerStates states,
                            int atYield, Event event, const QStringList &log) {
            QTest::newRow(qPrintable(name))
                    << QString(clicked) << states << atYield << int(event) << log;
        };
        const DrawerStates two{1, -1, -1, -1, -1, -1, -1, 112};
        // Drawer 0 fired, then drawer 7 (already open, so fired again); a yield after each
        // kick and one for every drawer; the settle time; each fired drawer read back.
        const QStringList twoKicked = words(
                "DrawerOpen(0) Yield Yield Yield Yield Yield Yield Yield Yield DrawerOpen(7) Yield "
                "Yield Yield Sleep(600) DrawerState(0) Paint Sleep(100) Yield DrawerState(7) Paint "
                "Sleep(100) Yield Yield") + statistics;
        // Every read followed by its wait and no yield: a refresh lets no other handler in.
        row("STATUS alone", "Status_Cmd", two, 0, NoEvent, RefreshLog);
        row("nothing present", "Kick_Cmd", {-1, -1, -1, -1, -1, -1, -1, -1}, 0, NoEvent,
            words("Yield Yield Yield Yield Yield Yield Yield Yield Yield Sleep(600) Yield")
                    + statistics);
        row("absent drawers neither fired nor read", "Kick_Cmd", two, 0, NoEvent, twoKicked);
        // After drawer 0 has been fired, drawer 7 is unplugged and STATUS is clicked: the
        // refresh runs inside that yield, and the kick neither fires nor reads drawer 7.
        row("STATUS in a yield: refresh inside, new ticks read", "Kick_Cmd", two, 1, Status,
            words("DrawerOpen(0) Yield") + RefreshLog
                    + words("Yield Yield Yield Yield Yield Yield Yield Yield Yield Sleep(600) "
                            "DrawerState(0) Paint Sleep(100) Yield Yield")
                    + statistics);
        // Exit or close box in a yield: the kick's log up to there, then the close with its
        // own yield and, after an exit, the end of the program; nothing more reaches the
        // driver and no message appears.
        const auto upToYield = [&](int n) { // the kick's log up to and with its n-th yield
            qsizetype at = -1;
            while (n-- > 0)
                at = twoKicked.indexOf("Yield", at + 1);
            return twoKicked.mid(0, at + 1);
        };
        for (const auto &[where, yield] :
             {std::pair{"after the first kick", 1}, {"before the settle time", 11},
              {"after a read back", 12}, {"before the statistics", 14}}) {
            const QStringList before = upToYield(yield);
            row(QString("exit ") + where, "Kick_Cmd", two, yield, ExitButton,
                before + words("CloseBexor Yield End(0)"));
            row(QString("close box ") + where, "Kick_Cmd", two, yield, CloseBox,
                before + words("CloseBexor Yield"));
        }
    }
    void click()
    {
        QFETCH(QString, clicked);
        QFETCH(DrawerStates, states);
        QFETCH(int, atYield);
        QFETCH(int, event);
        FormRig rig;
        rig.driver.states = states;
        CRTEST_Form &form = rig.start();
        QPushButton *const pressed = button(form, qPrintable(clicked));
        rig.log.clear();
        rig.services.yields = 0;
        // The button stays disabled throughout, the statistics' messages included.
        QList<bool> enabled;
        const auto note = [&] { enabled << pressed->isEnabled(); };
        rig.services.onMessage = [&](const QString &) { note(); };
        rig.services.onSleep = note;
        rig.services.onYield = [&](int n) {
            note();
            if (n != atYield)
                return;
            if (event == Status)
                rig.driver.states[7] = -1;
            if (event == CloseBox)
                form.close();
            else
                button(form, event == Status ? "Status_Cmd" : "Exit_Cmd")->click();
        };
        pressed->setFocus();
        QTest::mouseClick(pressed, Qt::LeftButton);

        QTEST(rig.log, "expectedLog");
        QVERIFY(!enabled.isEmpty() && !enabled.contains(true));
        // Back, with the focus it had, only once the handler has run to its end; an exit ends
        // the process, not the window.
        QCOMPARE(pressed->isEnabled(), event < ExitButton);
        QCOMPARE(form.focusWidget() == pressed, event < ExitButton);
        QCOMPARE(form.isVisible(), event != CloseBox);
    }

    // The simulator's drawers and records; each count box shows its raw characters while its
    // message box is up, the later box still empty then, and its decimal text once the
    // message box is closed.
    void simulatedController()
    {
        QString error;
        const auto simulator = BexorLibrary::load(SIM_LIBRARY_PATH, &error);
        QVERIFY2(simulator, qPrintable(error));
        FormRig rig; // for its desktop services only
        Controller controller(simulator.get(), QString(), QString());
        CRTEST_Form form(controller, rig.services);
        QList<QStringList> countBoxesAtMessages;
        rig.services.onMessage = [&](const QString &) {
            countBoxesAtMessages << boxTexts(form).mid(4);
        };
        form.load();

        QCOMPARE(rowLetters(form), "CCCCNNNN");
        QCOMPARE(boxTexts(form),
                 (QStringList{"SIMULATED-0001", "20240115", "R2.0", "20240301", "1200", "3"}));
        const QString raw13 = QString::fromLatin1("\xB0\x04\0\0", 4);
        const QString raw14 = QString::fromLatin1("\x03\0\0\0", 4);
        QCOMPARE(rig.services.messages(), (QStringList{raw13 + "-->1200", raw14 + "-->3"}));
        QCOMPARE(countBoxesAtMessages, (QList<QStringList>{{raw13, ""}, {"1200", raw14}}));
        QVERIFY(form.close());
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
