// The STATUS refresh: how each state code reads, and the order of reads and waits.
#include "formrig.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

class DrawerRefreshTest : public QObject
{
    Q_OBJECT

private slots:
    void stateCodes_data();
    void stateCodes();
    void refreshOrderAndWaits();
    void allAbsentClearsEveryTick();
};

void DrawerRefreshTest::stateCodes_data()
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
    QTest::newRow("drawer 4 reporting INT32_MIN is closed") << 4 << INT32_MIN << "C" << black << true;
}

void DrawerRefreshTest::stateCodes()
{
    QFETCH(int, drawer);
    QFETCH(int32_t, code);
    QFETCH(QString, letter);
    QFETCH(QColor, colour);
    QFETCH(bool, ticked);

    FormRig rig;
    rig.driver.statisticsBlock = QByteArray(106, '\0');
    // Start with the opposite tick, so a refresh that forgets to write it is caught.
    rig.driver.states.fill(ticked ? -1 : 1);
    CRTEST_Form &form = rig.start();
    QCOMPARE(form.Drawer_Check[drawer]->isChecked(), !ticked);

    rig.driver.states[drawer] = code;
    QTest::mouseClick(form.Status_Cmd, Qt::LeftButton);

    QLineEdit *state = form.Drawer_State[drawer];
    QCOMPARE(state->text(), letter);
    // The box sits in a disabled frame; the colour must hold in the group it is drawn with.
    QCOMPARE(state->palette().color(QPalette::Disabled, QPalette::Text), colour);
    QCOMPARE(state->palette().color(QPalette::Active, QPalette::Text), colour);
    QCOMPARE(form.Drawer_Check[drawer]->checkState(), ticked ? Qt::Checked : Qt::Unchecked);
    // The last read of the refresh is drawer 7's.
    QCOMPARE(form.stateResult(), rig.driver.states[7]);
}

void DrawerRefreshTest::refreshOrderAndWaits()
{
    FormRig rig;
    rig.driver.statisticsBlock = QByteArray(106, '\0');
    CRTEST_Form &form = rig.start();
    rig.log.clear();
    QList<bool> statusEnabledDuringWaits;
    rig.services.onSleep = [&](std::chrono::milliseconds) {
        statusEnabledDuringWaits.append(form.Status_Cmd->isEnabled());
    };

    QTest::mouseClick(form.Status_Cmd, Qt::LeftButton);

    QStringList expected;
    for (int n = 0; n < 8; ++n)
        expected << QStringLiteral("DrawerState(%1)").arg(n) << "Sleep(100)";
    // No yield: a refresh never lets another handler in.
    QCOMPARE(rig.log, expected);
    QCOMPARE(statusEnabledDuringWaits, QList<bool>(8, false));
    QVERIFY(form.Status_Cmd->isEnabled());
    // Each row is painted before its wait, so the refresh is seen drawer by drawer.
    QVERIFY(rig.services.paints() >= 8);
}

void DrawerRefreshTest::allAbsentClearsEveryTick()
{
    FormRig rig;
    rig.driver.statisticsBlock = QByteArray(106, '\0');
    rig.driver.states.fill(3);
    CRTEST_Form &form = rig.start();
    rig.driver.states.fill(-1);
    QTest::mouseClick(form.Status_Cmd, Qt::LeftButton);
    for (int n = 0; n < 8; ++n) {
        QCOMPARE(form.Drawer_State[n]->text(), "N");
        QVERIFY(!form.Drawer_Check[n]->isChecked());
    }
}

QTEST_MAIN(DrawerRefreshTest)
#include "tst_drawerrefresh.moc"
