// The STATUS refresh: how each state code reads, and the order of reads and waits.
#include "formrig.h"

class DrawerRefreshTest : public QObject
{
    Q_OBJECT

private slots:
    void stateCodes_data()
    {
        QTest::addColumn<int>("drawer");
        QTest::addColumn<int32_t>("code");
        QTest::addColumn<QString>("letter");
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<bool>("ticked");
        const QColor blue(0, 0, 255), red(255, 0, 0), black(0, 0, 0);
        QTest::newRow("drawer 0 reporting 0 is open") << 0 << 0 << "O" << blue << true;
        QTest::newRow("drawer 3 reporting 0 is closed") << 3 << 0 << "C" << black << true;
        QTest::newRow("drawer 0 reporting 16 is closed") << 0 << 16 << "C" << black << true;
        QTest::newRow("drawer 1 reporting 16 is open") << 1 << 16 << "O" << blue << true;
        QTest::newRow("drawer 5 reporting 80 is open") << 5 << 80 << "O" << blue << true;
        QTest::newRow("drawer 5 reporting 81 is closed") << 5 << 81 << "C" << black << true;
        QTest::newRow("drawer 7 reporting 112 is open") << 7 << 112 << "O" << blue << true;
        QTest::newRow("drawer 0 reporting -1 is absent") << 0 << -1 << "N" << red << false;
        QTest::newRow("drawer 6 reporting -1 is absent") << 6 << -1 << "N" << red << false;
        QTest::newRow("drawer 2 reporting -2 is closed") << 2 << -2 << "C" << black << true;
        QTest::newRow("drawer 4 reporting INT32_MIN is closed")
                << 4 << INT32_MIN << "C" << black << true;
    }
    void stateCodes()
    {
        QFETCH(int, drawer);
        QFETCH(int32_t, code);
        QFETCH(bool, ticked);
        FormRig rig;
        // Start with the opposite tick, so a refresh that forgets to write it is caught.
        rig.driver.states.fill(ticked ? -1 : 1);
        CRTEST_Form &form = rig.start();
        QCOMPARE(form.Drawer_Check[drawer]->isChecked(), !ticked);
        rig.driver.states[drawer] = code;
        rig.log.clear();
        rig.services.paints = 0;
        QList<bool> statusEnabledAtWaits;
        rig.services.onSleep = [&] { statusEnabledAtWaits << form.Status_Cmd->isEnabled(); };
        QTest::mouseClick(form.Status_Cmd, Qt::LeftButton);

        QTEST(form.Drawer_State[drawer]->text(), "letter");
        // The box sits in a disabled frame: the colour must hold in the group it is drawn with.
        const QPalette look = form.Drawer_State[drawer]->palette();
        QTEST(look.color(QPalette::Disabled, QPalette::Text), "colour");
        QCOMPARE(form.Drawer_Check[drawer]->isChecked(), ticked);
        QCOMPARE(form.stateResult(), rig.driver.states[7]); // the last read is drawer 7's
        // Every read is followed by its wait and no yield: a refresh lets no other handler in,
        // and STATUS stays disabled until it ends. Each row is painted once, for its wait.
        QCOMPARE(rig.log, refreshLog());
        QCOMPARE(statusEnabledAtWaits, QList<bool>(8, false));
        QVERIFY(form.Status_Cmd->isEnabled());
        QCOMPARE(rig.services.paints, 8);
    }
};

QTEST_MAIN(DrawerRefreshTest)
#include "tst_drawerrefresh.moc"
