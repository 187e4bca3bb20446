// Start-up, shut-down and help, run on the real window with a scripted driver: the order of
// calls, waits, yields and message boxes. The driver's faults at open and close are part of
// the fault matrix, on the real driver binding.
#include "formrig.h"
#include "statisticsblock.h"

#include <stdexcept>

class StartupTest : public QObject
{
    Q_OBJECT

    enum Action { Help, HelpEditorMissing, CloseInRefresh, CloseBox, ExitButton, EnterKey };

private slots:
    void openOutcomes_data()
    {
        QTest::addColumn<QList<int32_t>>("opens");
        QTest::addColumn<QStringList>("expectedLog");
        // The first open is followed by the one yield before the window shows, the retry by
        // none. Once open: every drawer read with its wait, then the statistics, whose two
        // zero counts each show a message.
        const QString zero = "Message:" + QString(4, QChar(0)) + "-->0";
        const QStringList opened = refreshLog() << "RetrieveStatistics(0,15,106)" << zero << zero;
        const QStringList first{"OpenBexor", "Yield"}, retry = first + QStringList{"OpenBexor"};
        QTest::newRow("first open succeeds") << QList<int32_t>{0} << first + opened;
        QTest::newRow("retry succeeds") << QList<int32_t>{7, 0} << retry + opened;
        QTest::newRow("both opens fail")
                << QList<int32_t>{7, -1} << retry + QStringList{"Message:USB CR Open error !!"};
    }
    void openOutcomes()
    {
        QFETCH(QList<int32_t>, opens);
        FormRig rig;
        rig.driver.opens = opens;
        // The window is hidden for the first open only: shown for the retry and any message.
        QList<bool> visible;
        rig.driver.onCall = [&](const QString &) { visible << rig.form->isVisible(); };
        rig.services.onMessage = [&](const QString &) { visible << rig.form->isVisible(); };
        const CRTEST_Form &form = rig.start();

        QTEST(rig.log, "expectedLog");
        QCOMPARE(visible, QList<bool>{false} + QList<bool>(visible.size() - 1, true));
        QCOMPARE(StatLen[15], 106);
        QCOMPARE(form.openCodes(), (OpenCodeTable{0, 16, 32, 48, 64, 80, 96, 112, 0}));
        // The buttons' state after each outcome is proven on the real binding, in the fault
        // matrix.
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
        row("close during a refresh waits its end", true, CloseInRefresh, refreshLog() + closed);
        row("close box, device open", true, CloseBox, closed);
        row("close box, open failed", false, CloseBox, closed);
        row("exit button, device open", true, ExitButton, exited);
        row("exit button, open failed", false, ExitButton, exited);
        row("Enter on the initial focus", false, EnterKey, exited);
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
        rig.services.onYield = [&](int) { QTest::mouseClick(form.Status_Cmd, Qt::LeftButton); };
        // A close during a refresh arrives while it waits after its first row, outside any yield.
        rig.services.onSleep = [&] { if (rig.log.size() == 2) form.close(); };
        if (action == Help || action == HelpEditorMissing)
            QTest::mouseClick(form.cmdHelp, Qt::LeftButton);
        else if (action == CloseInRefresh)
            QTest::mouseClick(form.Status_Cmd, Qt::LeftButton);
        else if (action == ExitButton)
            QTest::mouseClick(form.Exit_Cmd, Qt::LeftButton);
        else if (action == EnterKey)
            QTest::keyClick(form.focusWidget(), Qt::Key_Return);
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
        QTest::mouseClick(form.Exit_Cmd, Qt::LeftButton);
        form.close();
        const QString message = "Message:Unexpected error: control failed\n"
                                "The device is closed and the utility ends.";
        QCOMPARE(rig.log, (QStringList{"OpenBexor", "Yield"} + refreshLog().mid(0, 5)
                           + QStringList{message, "CloseBexor", "End(1)"}));
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
