// The kick: which drawers it fires, what it reads back, and how it ends when the user
// clicks STATUS, exit or the close box while it waits in a yield.
#include "formrig.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using DrawerStates = std::array<int32_t, 8>;

namespace {

DrawerStates closedDrawers(int present)
{
    DrawerStates states;
    for (int n = 0; n < 8; ++n)
        states[n] = n < present ? 16 * n + 1 : -1;
    return states;
}

// The log a kick writes when it fires and refreshes the given drawers.
QStringList expectedKick(const QList<int> &ticked)
{
    QStringList log;
    for (int n = 0; n < 8; ++n) {
        if (ticked.contains(n))
            log << QStringLiteral("DrawerOpen(%1)").arg(n) << "Yield";
        log << "Yield";
    }
    log << "Yield" << "Sleep(600)";
    for (int n : ticked)
        log << QStringLiteral("DrawerState(%1)").arg(n) << "Sleep(100)" << "Yield";
    log << "Yield" << "RetrieveStatistics(0,15,106)";
    return log;
}

} // namespace

class KickTest : public QObject
{
    Q_OBJECT

private slots:
    void kicksTheTickedDrawers_data();
    void kicksTheTickedDrawers();
    void buttonBackOnlyAfterTheStatistics();
    void statusInsideTheKickChangesWhatItRefreshes();
    void endingInsideTheKick_data();
    void endingInsideTheKick();
};

void KickTest::kicksTheTickedDrawers_data()
{
    QTest::addColumn<DrawerStates>("states");
    QTest::addColumn<int32_t>("kickStatus");
    QTest::addColumn<QList<int>>("ticked");

    QTest::newRow("nothing present") << closedDrawers(0) << 0 << QList<int>{};
    QTest::newRow("all eight present") << closedDrawers(8) << 0 << QList<int>{0, 1, 2, 3, 4, 5, 6, 7};
    DrawerStates mixed{-1, 17, 32, -1, 65, -1, -1, 0};
    QTest::newRow("absent skipped, open kicked again") << mixed << 0 << QList<int>{1, 2, 4, 7};
    QTest::newRow("failing kicks are not reported") << closedDrawers(4) << -5 << QList<int>{0, 1, 2, 3};
}

void KickTest::kicksTheTickedDrawers()
{
    QFETCH(DrawerStates, states);
    QFETCH(int32_t, kickStatus);
    QFETCH(QList<int>, ticked);

    FormRig rig;
    rig.driver.states = states;
    rig.driver.drawerOpenResult = kickStatus;
    rig.driver.statisticsBlock = QByteArray(106, '\0');
    CRTEST_Form &form = rig.start();
    const QString absentRow = form.Drawer_State[3]->text();
    rig.log.clear();

    QTest::mouseClick(form.Kick_Cmd, Qt::LeftButton);

    QStringList log = rig.log;
    log.removeIf([](const QString &entry) { return entry.startsWith("Message:"); });
    QCOMPARE(log, expectedKick(ticked));
    QCOMPARE(rig.services.messages().size(), 2); // the two counts, nothing about the kicks
    QCOMPARE(form.drawerIdx(), 8);
    QCOMPARE(form.Drawer_State[3]->text(), absentRow);
    QVERIFY(form.Kick_Cmd->isEnabled());
}

void KickTest::buttonBackOnlyAfterTheStatistics()
{
    FormRig rig;
    rig.driver.statisticsBlock = QByteArray(106, '\0');
    CRTEST_Form &form = rig.start();
    QList<bool> enabledWhileRunning;
    const auto note = [&] { enabledWhileRunning.append(form.Kick_Cmd->isEnabled()); };
    rig.services.onYield = [&](int) { note(); };
    rig.services.onMessage = [&](const QString &) { note(); };
    rig.services.onSleep = [&](std::chrono::milliseconds) { note(); };

    QTest::mouseClick(form.Kick_Cmd, Qt::LeftButton);
    QCOMPARE(enabledWhileRunning.size(), 12 + 1 + 4 + 1 + 1 + 4 + 2);
    QVERIFY(!enabledWhileRunning.contains(true));
    QVERIFY(form.Kick_Cmd->isEnabled());
    // STATUS, help and exit stay available while the kick yields.
    QVERIFY(form.Status_Cmd->isEnabled() && form.cmdHelp->isEnabled() && form.Exit_Cmd->isEnabled());
}

void KickTest::statusInsideTheKickChangesWhatItRefreshes()
{
    FormRig rig;
    rig.driver.statisticsBlock = QByteArray(106, '\0');
    CRTEST_Form &form = rig.start();
    rig.log.clear();
    const int firstYield = rig.services.yields() + 1;
    // After drawer 0 has been kicked, drawers 2 and 3 are unplugged and STATUS is clicked.
    rig.services.onYield = [&](int n) {
        if (n == firstYield) {
            rig.driver.states[2] = rig.driver.states[3] = -1;
            QTest::mouseClick(form.Status_Cmd, Qt::LeftButton);
        }
    };
    QTest::mouseClick(form.Kick_Cmd, Qt::LeftButton);

    QStringList nested;
    for (int n = 0; n < 8; ++n)
        nested << QStringLiteral("DrawerState(%1)").arg(n) << "Sleep(100)";
    QCOMPARE(rig.log.mid(0, 2), (QStringList{"DrawerOpen(0)", "Yield"}));
    QCOMPARE(rig.log.mid(2, 16), nested);
    // The kick goes on with drawer 1 and no longer fires or reads drawers 2 and 3.
    QCOMPARE(rig.driverCalls().filter("DrawerOpen"), (QStringList{"DrawerOpen(0)", "DrawerOpen(1)"}));
    QCOMPARE(rig.driverCalls().filter("DrawerState").mid(8),
             (QStringList{"DrawerState(0)", "DrawerState(1)"}));
    QCOMPARE(form.drawerIdx(), 8);
}

void KickTest::endingInsideTheKick_data()
{
    QTest::addColumn<bool>("byExitButton");
    QTest::addColumn<int>("atYield");
    // Four drawers present: 4 x 2 + 4 yields in the first pass, 1 before the wait, 4 in the
    // second pass and 1 before the statistics.
    for (int yield = 1; yield <= 18; ++yield) {
        QTest::addRow("exit at yield %d", yield) << true << yield;
        QTest::addRow("close box at yield %d", yield) << false << yield;
    }
}

void KickTest::endingInsideTheKick()
{
    QFETCH(bool, byExitButton);
    QFETCH(int, atYield);

    FormRig rig;
    rig.driver.statisticsBlock = QByteArray(106, '\0');
    CRTEST_Form &form = rig.start();
    const int messagesBefore = rig.services.messages().size();
    const int yieldsBefore = rig.services.yields();
    bool ended = false;
    rig.services.onYield = [&](int n) {
        if (ended || n != yieldsBefore + atYield)
            return;
        ended = true;
        if (byExitButton)
            QTest::mouseClick(form.Exit_Cmd, Qt::LeftButton);
        else
            form.close();
    };
    QTest::mouseClick(form.Kick_Cmd, Qt::LeftButton);

    QVERIFY(ended);
    QCOMPARE(rig.driver.count("CloseBexor"), 1);
    QCOMPARE(rig.driver.callsAfterClose(), QStringList());
    QCOMPARE(rig.services.messages().size(), messagesBefore);
    QCOMPARE(rig.log.contains("End(0)"), byExitButton);
    QCOMPARE(form.isVisible(), byExitButton); // only a real exit ends the process itself
}

QTEST_MAIN(KickTest)
#include "tst_kick.moc"
