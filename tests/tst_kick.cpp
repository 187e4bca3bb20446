// The kick: which drawers it fires, what it reads back, and how it ends when the user
// clicks STATUS, exit or the close box while it waits in a yield. A failing kick is part of
// the fault matrix, on the real driver binding.
#include "formrig.h"

using DrawerStates = std::array<int32_t, 8>;

class KickTest : public QObject
{
    Q_OBJECT

    enum Event { NoEvent, Status, ExitButton, CloseBox };

    // The log a kick writes when it fires and refreshes the given drawers, ending with the
    // statistics read and its two (zero) count messages.
    static QStringList kickLog(const QList<int> &ticked)
    {
        QStringList log;
        for (int n = 0; n < 8; ++n) {
            if (ticked.contains(n))
                log << QString("DrawerOpen(%1)").arg(n) << "Yield";
            log << "Yield";
        }
        log << "Yield" << "Sleep(600)";
        for (int n : ticked)
            log << QString("DrawerState(%1)").arg(n) << "Sleep(100)" << "Yield";
        const QString zero = "Message:" + QString(4, QChar(0)) + "-->0";
        return log << "Yield" << "RetrieveStatistics(0,15,106)" << zero << zero;
    }

private slots:
    void kick_data()
    {
        QTest::addColumn<DrawerStates>("states");
        QTest::addColumn<int>("atYield"); // where the event lands, counted from 1
        QTest::addColumn<int>("event");
        QTest::addColumn<QStringList>("expectedLog");
        const auto row = [](const QString &name, DrawerStates states, int atYield, Event event,
                            const QStringList &log) {
            QTest::newRow(qPrintable(name)) << states << atYield << int(event) << log;
        };
        const DrawerStates four{1, 17, 33, 49, -1, -1, -1, -1};
        const DrawerStates mixed{-1, 17, 32, -1, 65, -1, -1, 0};
        const QList<int> all{0, 1, 2, 3, 4, 5, 6, 7};
        row("nothing present", {-1, -1, -1, -1, -1, -1, -1, -1}, 0, NoEvent, kickLog({}));
        row("all eight present", {1, 17, 33, 49, 65, 81, 97, 113}, 0, NoEvent, kickLog(all));
        row("absent skipped, open kicked again", mixed, 0, NoEvent, kickLog({1, 2, 4, 7}));
        // After drawer 0 has been kicked, drawers 2 and 3 are unplugged and STATUS is clicked:
        // the refresh runs inside that yield, and the kick goes on with drawer 1 and no longer
        // fires or reads drawers 2 and 3.
        const QStringList kept = kickLog({0, 1});
        row("STATUS at yield 1", four, 1, Status, kept.mid(0, 2) + refreshLog() + kept.mid(2));
        // Exit or close box: the kick's log up to that yield, then the close with its own
        // yield and, after an exit, the end of the program. Nothing more reaches the driver
        // and no message appears. Four drawers present: 4 x 2 + 4 yields in the first pass,
        // 1 before the wait, 4 in the second pass and 1 before the statistics.
        const QStringList kick = kickLog({0, 1, 2, 3});
        qsizetype at = -1;
        for (int yield = 1; yield <= 18; ++yield) {
            at = kick.indexOf("Yield", at + 1);
            const QStringList closed = kick.mid(0, at + 1) << "CloseBexor" << "Yield";
            row(QString("exit at yield %1").arg(yield), four, yield, ExitButton,
                closed + QStringList{"End(0)"});
            row(QString("close box at yield %1").arg(yield), four, yield, CloseBox, closed);
        }
    }
    void kick()
    {
        QFETCH(DrawerStates, states);
        QFETCH(int, atYield);
        QFETCH(int, event);
        FormRig rig;
        rig.driver.states = states;
        CRTEST_Form &form = rig.start();
        rig.log.clear();
        rig.services.yields = 0;
        // The button stays disabled throughout, the statistics' messages included.
        QList<bool> enabled;
        const auto note = [&] { enabled << form.Kick_Cmd->isEnabled(); };
        rig.services.onMessage = [&](const QString &) { note(); };
        rig.services.onSleep = note;
        rig.services.onYield = [&](int n) {
            note();
            if (n != atYield)
                return;
            if (event == Status)
                rig.driver.states[2] = rig.driver.states[3] = -1;
            if (event == CloseBox)
                form.close();
            else
                (event == Status ? form.Status_Cmd : form.Exit_Cmd)->click();
        };
        QTest::mouseClick(form.Kick_Cmd, Qt::LeftButton);

        QTEST(rig.log, "expectedLog");
        QVERIFY(!enabled.isEmpty() && !enabled.contains(true));
        // Back only once the kick has run to its end; an exit ends the process, not the window.
        QCOMPARE(form.Kick_Cmd->isEnabled(), event < ExitButton);
        if (event < ExitButton)
            QCOMPARE(form.drawerIdx(), 8);
        QCOMPARE(form.isVisible(), event != CloseBox);
    }
};

QTEST_MAIN(KickTest)
#include "tst_kick.moc"
