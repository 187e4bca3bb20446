// The kick: which drawers it fires, what it reads back, and how it ends when the user
// clicks STATUS, exit or the close box while it waits in a yield. A failing kick is part of
// the fault matrix, on the real driver binding.
#include "formrig.h"

using DrawerStates = std::array<int32_t, 8>;

class KickTest : public QObject
{
    Q_OBJECT

    enum Event { NoEvent, Status, ExitButton, CloseBox };

    // The statistics read that ends every kick, and the message of each of its zero counts.
    static QStringList statistics()
    {
        const QString zero = "Message:" + QString(4, QChar(0)) + "-->0";
        return {"Yield", "RetrieveStatistics(0,15,106)", zero, zero};
    }

    // The log up to and with its n-th yield.
    static QStringList upToYield(const QStringList &log, int n)
    {
        qsizetype at = -1;
        while (n-- > 0)
            at = log.indexOf("Yield", at + 1);
        return log.mid(0, at + 1);
    }

private slots:
    void kick_data()
    {
        QTest::addColumn<DrawerStates>("states");
        QTest::addColumn<int>("atYield"); // where the event lands, counted from 1
        QTest::addColumn<int>("event");
        QTest::addColumn<QStringList>("expectedLog");
        const DrawerStates two{-1, 17, -1, -1, -1, -1, -1, 112};
        // Drawer 1 fired, then drawer 7 (already open, so fired again); a yield after each
        // kick and one for every drawer; the settle time; each fired drawer read back.
        const QStringList twoKicked{
                "Yield", "DrawerOpen(1)", "Yield", "Yield", "Yield", "Yield", "Yield",
                "Yield", "Yield", "DrawerOpen(7)", "Yield", "Yield", "Yield", "Sleep(600)",
                "DrawerState(1)", "Sleep(100)", "Yield", "DrawerState(7)", "Sleep(100)", "Yield"};
        const auto row = [](const char *name, DrawerStates states, int atYield, Event event,
                            const QStringList &log) {
            QTest::newRow(name) << states << atYield << int(event) << log;
        };
        row("nothing present", {-1, -1, -1, -1, -1, -1, -1, -1}, 0, NoEvent,
            QStringList{"Yield", "Yield", "Yield", "Yield", "Yield", "Yield", "Yield", "Yield",
                        "Yield", "Sleep(600)"}
                    + statistics());
        row("absent drawers neither fired nor read", two, 0, NoEvent, twoKicked + statistics());
        row("all eight present", {1, 17, 33, 49, 65, 81, 97, 113}, 0, NoEvent,
            QStringList{"DrawerOpen(0)", "Yield", "Yield", "DrawerOpen(1)", "Yield", "Yield",
                        "DrawerOpen(2)", "Yield", "Yield", "DrawerOpen(3)", "Yield", "Yield",
                        "DrawerOpen(4)", "Yield", "Yield", "DrawerOpen(5)", "Yield", "Yield",
                        "DrawerOpen(6)", "Yield", "Yield", "DrawerOpen(7)", "Yield", "Yield",
                        "Yield", "Sleep(600)", "DrawerState(0)", "Sleep(100)", "Yield",
                        "DrawerState(1)", "Sleep(100)", "Yield", "DrawerState(2)", "Sleep(100)",
                        "Yield", "DrawerState(3)", "Sleep(100)", "Yield", "DrawerState(4)",
                        "Sleep(100)", "Yield", "DrawerState(5)", "Sleep(100)", "Yield",
                        "DrawerState(6)", "Sleep(100)", "Yield", "DrawerState(7)", "Sleep(100)",
                        "Yield"}
                    + statistics());
        // After drawer 1 has been fired, drawer 7 is unplugged and STATUS is clicked: the
        // refresh runs inside that yield, and the kick neither fires nor reads drawer 7.
        row("STATUS in a yield: refresh inside, new ticks read", two, 2, Status,
            QStringList{"Yield", "DrawerOpen(1)", "Yield"} + RefreshLog
                    + QStringList{"Yield", "Yield", "Yield", "Yield", "Yield", "Yield", "Yield",
                                  "Yield", "Sleep(600)", "DrawerState(1)", "Sleep(100)", "Yield"}
                    + statistics());
        // Exit or close box in a yield: the kick's log up to there, then the close with its
        // own yield and, after an exit, the end of the program; nothing more reaches the
        // driver and no message appears.
        const struct
        {
            const char *where;
            int yield;
        } yields[] = {{"after the first kick", 2}, {"before the settle time", 11},
                      {"after a read back", 12}, {"before the statistics", 14}};
        for (const auto &at : yields) {
            const QStringList before = upToYield(twoKicked + statistics(), at.yield);
            QTest::addRow("exit %s", at.where)
                    << two << at.yield << int(ExitButton)
                    << before + QStringList{"CloseBexor", "Yield", "End(0)"};
            QTest::addRow("close box %s", at.where)
                    << two << at.yield << int(CloseBox) << before + QStringList{"CloseBexor", "Yield"};
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
        QPushButton *const kickButton = button(form, "Kick_Cmd");
        rig.log.clear();
        rig.services.yields = 0;
        // The button stays disabled throughout, the statistics' messages included.
        QList<bool> enabled;
        const auto note = [&] { enabled << kickButton->isEnabled(); };
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
        QTest::mouseClick(kickButton, Qt::LeftButton);

        QTEST(rig.log, "expectedLog");
        QVERIFY(!enabled.isEmpty() && !enabled.contains(true));
        // Back only once the kick has run to its end; an exit ends the process, not the window.
        QCOMPARE(kickButton->isEnabled(), event < ExitButton);
        QCOMPARE(form.isVisible(), event != CloseBox);
    }
};

QTEST_MAIN(KickTest)
#include "tst_kick.moc"
