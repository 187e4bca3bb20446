// The STATUS refresh on the real window: the order of its reads and waits. How each state
// code reads is part of the fault matrix, on the real driver binding.
#include "formrig.h"

class DrawerRefreshTest : public QObject
{
    Q_OBJECT

private slots:
    void readsEveryDrawerWithoutYielding()
    {
        FormRig rig;
        CRTEST_Form &form = rig.start();
        rig.driver.states[7] = 113;
        rig.log.clear();
        rig.services.paints = 0;
        QList<bool> statusEnabledAtWaits;
        rig.services.onSleep = [&] { statusEnabledAtWaits << form.Status_Cmd->isEnabled(); };
        QTest::mouseClick(form.Status_Cmd, Qt::LeftButton);

        // Every read is followed by its wait and no yield: a refresh lets no other handler in,
        // and STATUS stays disabled until it ends. Each row is painted once, for its wait.
        QCOMPARE(rig.log, refreshLog());
        QCOMPARE(statusEnabledAtWaits, QList<bool>(8, false));
        QVERIFY(form.Status_Cmd->isEnabled());
        QCOMPARE(rig.services.paints, 8);
        QCOMPARE(form.stateResult(), 113); // the last read is drawer 7's
    }
};

QTEST_MAIN(DrawerRefreshTest)
#include "tst_drawerrefresh.moc"
