// Start-up, shut-down and help, run on the real window with a scripted driver: the order of
// calls, waits, yields and message boxes. The driver's faults at open and close are part of
// the fault matrix, on the real driver binding.
#include "formrig.h"

#include <QScreen>

#include <stdexcept>

class StartupTest : public QObject
{
    Q_OBJECT

    enum Action { Help, HelpEditorMissing, CloseInRefresh, CloseBox, ExitButton, EnterKey, EscapeKey };

private slots:
    void openOutcomes_data()
    {
        QTest::addColumn<QList<int32_t>>("opens");
        QTest::addColumn<QStringList>("expectedLog");
        // The first open is followed by the one yield before the window shows, the retry by
        // none. Once open: every drawer read with its wait, then the statistics, whose two
        // zero counts each show a message.
        const QString zero = "Message:" + QString(4, QChar(0)) + "-->0";
        const QStringList opened =
                RefreshLog + QStringList{"RetrieveStatistics(0,15,106)", zero, zero};
        QTest::newRow("first open succeeds")
                << QList<int32_t>{0} << QStringList{"OpenBexor", "Yield"} + opened;
        QTest::newRow("retry succeeds")
                << QList<int32_t>{7, 0} << QStringList{"OpenBexor", "Yield", "OpenBexor"} + opened;
        QTest::newRow("both opens fail")
                << QList<int32_t>{7, -1}
                << QStringList{"OpenBexor", "Yield", "OpenBexor", "Message:USB CR Open error !!"};
    }
    void openOutcomes()
    {
        QFETCH(QList<int32_t>, opens);
        FormRig rig;
        rig.driver.opens = opens;
        // Hidden for the first open and its yield, where no input may reach the window;
        // shown, and centred on the screen, from the retry and any message on.
        QStringList seen;
        const auto note = [&] {
            const QWidget &form = *rig.form;
            seen << (form.isVisible() ? "shown at " + QString::number(form.x()) + ','
                                 + QString::number(form.y())
                                      : QString("hidden"));
        };
        rig.driver.onCall = [&](const QString &) { note(); };
        rig.services.onMessage = [&](const QString &) { note(); };
        rig.services.onYield = [&](int) { note(); };
        rig.start();

        QTEST(rig.log, "expectedLog");
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        const QString centred = QString("shown at %1,%2")
                                        .arg(screen.x() + (screen.width() - 607) / 2)
                                        .arg(screen.y() + (screen.height() - 384) / 2);
        QCOMPARE(seen, QStringList({"hidden", "hidden"}) + QStringList(seen.size() - 2, centred));
        const bool open = rig.log.contains("DrawerState(0)");
        QCOMPARE(button(*rig.form, "Status_Cmd")->isEnabled(), open);
        QCOMPARE(button(*rig.form, "Kick_Cmd")->isEnabled(), open);
    }

    // Help, a close during a busy handler, or one of the ways out. Whatever the way,
    // CloseBexor is called exactly once: a STATUS click queued behind the close lands in its
    // yield and must find the program ending, and the toolkit's own close after an exit must
    // not close again.
    void userActions_data()
    {
        QTest::addColumn<bool>("opens");
        QTest::addColumn<int>("action");
        QTest::addColumn<QStringList>("expectedLog");
        const auto row = [](const char *name, bool opens, Action action, const QStringList &log) {
            QTest::newRow(name) << opens << int(action) << log;
        };
        const QStringList closed{"CloseBexor", "Yield"}, exited = closed + QStringList{"End(0)"};
        const QString failure = "Message:The help text could not be opened: the command "
                                "\"xdg-open Readme.Txt\" could not be started.";
        row("help, device open", true, Help, {"Help"});
        row("help, no device", false, Help, {"Help"});
        row("help, editor missing", true, HelpEditorMissing, {"Help", failure});
        row("close during a refresh waits its end", true, CloseInRefresh, RefreshLog + closed);
        row("close box, device open", true, CloseBox, closed);
        row("close box, open failed", false, CloseBox, closed);
        row("exit button, device open", true, ExitButton, exited);
        row("exit button, open failed", false, ExitButton, exited);
        row("Enter on the initial focus", false, EnterKey, exited);
        row("Escape", true, EscapeKey, exited);
    }
    void userActions()
    {
        QFETCH(bool, opens);
        QFETCH(int, action);
        FormRig rig;
        rig.driver.opens = opens ? QList<int32_t>{0} : QList<int32_t>{1, 1};
        rig.services.helpStarts = action != HelpEditorMissing;
        CRTEST_Form &form = rig.start();
        rig.log.clear();
        rig.services.onYield = [&](int) {
            QTest::mouseClick(button(form, "Status_Cmd"), Qt::LeftButton);
        };
        // A close during a refresh arrives while it waits after its first row, outside any yield.
        rig.services.onSleep = [&] {
            if (rig.log.size() == 2)
                form.close();
        };
        if (action == Help || action == HelpEditorMissing)
            QTest::mouseClick(button(form, "cmdHelp"), Qt::LeftButton);
        else if (action == CloseInRefresh)
            QTest::mouseClick(button(form, "Status_Cmd"), Qt::LeftButton);
        else if (action == ExitButton)
            QTest::mouseClick(button(form, "Exit_Cmd"), Qt::LeftButton);
        else if (action == EnterKey)
            QTest::keyClick(form.focusWidget(), Qt::Key_Return);
        else if (action == EscapeKey) {
            // A shortcut answers in the active window only.
            form.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&form));
            QTest::keyClick(&form, Qt::Key_Escape);
        }
        // Escape presses exit as a click the user can see, a moment later.
        QTRY_VERIFY(action != EscapeKey || rig.log.contains("End(0)"));
        // The close box itself, or the toolkit's own close after an exit.
        if (action >= CloseBox)
            form.close();
        QTEST(rig.log, "expectedLog");
    }

    void unexpectedErrorClosesAndEnds()
    {
        FormRig rig;
        rig.driver.onCall = [](const QString &call) {
            if (call == "DrawerState(2)")
                throw std::runtime_error("control failed");
        };
        CRTEST_Form &form = rig.start();
        // The program has ended: nothing a later event asks for reaches the driver.
        QTest::mouseClick(button(form, "Exit_Cmd"), Qt::LeftButton);
        form.close();
        QCOMPARE(rig.log, QStringList({"OpenBexor", "Yield", "DrawerState(0)", "Sleep(100)",
                                       "DrawerState(1)", "Sleep(100)", "DrawerState(2)",
                                       "Message:Unexpected error: control failed\n"
                                       "The device is closed and the utility ends.",
                                       "CloseBexor", "End(1)"}));
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
