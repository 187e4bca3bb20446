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
        rig.log.clear();
        rig.services.paints = 0;
        QList<bool> statusEnabledAtWaits;
        QPushButton *const status = button(form, "Status_Cmd");
        rig.services.onSleep = [&] { statusEnabledAtWaits << status->isEnabled(); };
        QTest::mouseClick(status, Qt::LeftButton);

        // Every read is followed by its wait and no yield: a refresh lets no other handler in,
        // and STATUS stays disabled until it ends. Each row is painted once, for its wait.
        QCOMPARE(rig.log, RefreshLog);
        QCOMPARE(statusEnabledAtWaits, QList<bool>(8, false));
        QVERIFY(status->isEnabled());
        QCOMPARE(rig.services.paints, 8);
    }
};

QTEST_MAIN(DrawerRefreshTest)
#include "tst_drawerrefresh.moc"
