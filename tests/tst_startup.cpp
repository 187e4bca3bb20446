// Start-up, shut-down and help, run on the real window with a scripted driver.
#include "formrig.h"
#include "statisticsblock.h"

#include <QCheckBox>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <stdexcept>

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void openOutcomes_data();
    void openOutcomes();
    void windowVisibleForRetryAndMessage();
    void tablesFilled();
    void closePaths_data();
    void closePaths();
    void closeDuringBusyHandlerWaitsForItsEnd();
    void unboundLibraryCallsNothing();
    void help_data();
    void help();
    void enterOnInitialFocusExits();
    void unexpectedErrorClosesAndEnds();
};

void StartupTest::openOutcomes_data()
{
    QTest::addColumn<QList<int32_t>>("openResults");
    QTest::addColumn<int>("openCalls");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("buttonsEnabled");
    QTest::addColumn<int>("stateReads");

    QTest::newRow("first open succeeds") << QList<int32_t>{0} << 1 << QStringList{} << true << 8;
    QTest::newRow("second open succeeds") << QList<int32_t>{7, 0} << 2 << QStringList{} << true << 8;
    QTest::newRow("both opens fail") << QList<int32_t>{7, -1} << 2
                                     << QStringList{"USB CR Open error !!"} << false << 0;
}

void StartupTest::openOutcomes()
{
    QFETCH(QList<int32_t>, openResults);
    QFETCH(int, openCalls);
    QFETCH(QStringList, messages);
    QFETCH(bool, buttonsEnabled);
    QFETCH(int, stateReads);

    FormRig rig;
    rig.driver.openResults = openResults;
    // A zero block decodes to counts of 0, so a successful start ends with two count boxes.
    rig.driver.statisticsBlock = QByteArray(106, '\0');
    CRTEST_Form &form = rig.start();

    QCOMPARE(rig.driver.count("OpenBexor"), openCalls);
    const QStringList shown = rig.services.messages();
    if (buttonsEnabled) {
        QCOMPARE(shown.size(), 2); // only the two count boxes of the statistics read
    } else {
        QCOMPARE(shown, messages);
    }
    QCOMPARE(form.Kick_Cmd->isEnabled(), buttonsEnabled);
    QCOMPARE(form.Status_Cmd->isEnabled(), buttonsEnabled);
    QVERIFY(!form.CRFrame->isEnabled());
    QVERIFY(!form.CountFrame->isEnabled());
    QCOMPARE(rig.driverCalls().filter("DrawerState").size(), stateReads);
    QCOMPARE(rig.driver.count("RetrieveStatistics(0,15,106)"), buttonsEnabled ? 1 : 0);
    if (buttonsEnabled) {
        QStringList expected{"DrawerState(0)", "DrawerState(1)", "DrawerState(2)", "DrawerState(3)",
                             "DrawerState(4)", "DrawerState(5)", "DrawerState(6)", "DrawerState(7)",
                             "RetrieveStatistics(0,15,106)"};
        QCOMPARE(rig.driverCalls().mid(openCalls), expected);
    } else {
        // The window keeps its design texts: nothing was read.
        QCOMPARE(form.Drawer_State[0]->text(), QString());
        QVERIFY(!form.Drawer_Check[0]->isChecked());
        QCOMPARE(form.crTextSValue[13]->text(), "DrawerGoodOpenCount");
    }
}

void StartupTest::windowVisibleForRetryAndMessage()
{
    FormRig rig;
    rig.driver.openResults = {3, 3};
    QList<bool> visibleAtOpen;
    bool visibleAtMessage = false;
    rig.driver.onCall = [&](const QString &) { visibleAtOpen.append(rig.form->isVisible()); };
    rig.services.onMessage = [&](const QString &) { visibleAtMessage = rig.form->isVisible(); };
    rig.start();
    QCOMPARE(visibleAtOpen, (QList<bool>{false, true}));
    QVERIFY(visibleAtMessage);
    // The first open is followed by the one yield before the window shows, the retry by none.
    QCOMPARE(rig.log.mid(0, 4),
             (QStringList{"OpenBexor", "Yield", "OpenBexor", "Message:USB CR Open error !!"}));
}

void StartupTest::tablesFilled()
{
    FormRig rig;
    rig.driver.statisticsBlock = QByteArray(106, '\0');
    const CRTEST_Form &form = rig.start();
    QCOMPARE(StatLen[15], 106);
    const OpenCodeTable expected{0, 16, 32, 48, 64, 80, 96, 112, 0};
    QCOMPARE(form.openCodes(), expected);
}

void StartupTest::closePaths_data()
{
    QTest::addColumn<bool>("byExitButton");
    QTest::addColumn<QList<int32_t>>("openResults");

    QTest::newRow("exit button, device open") << true << QList<int32_t>{0};
    QTest::newRow("exit button, open failed") << true << QList<int32_t>{1, 1};
    QTest::newRow("close box, device open") << false << QList<int32_t>{0};
    QTest::newRow("close box, open failed") << false << QList<int32_t>{1, 1};
}

void StartupTest::closePaths()
{
    QFETCH(bool, byExitButton);
    QFETCH(QList<int32_t>, openResults);

    FormRig rig;
    rig.driver.openResults = openResults;
    rig.driver.statisticsBlock = QByteArray(106, '\0');
    CRTEST_Form &form = rig.start();
    // A STATUS click queued behind the close lands in its yield and must find the
    // program ending.
    rig.services.onYield = [&](int) { QTest::mouseClick(form.Status_Cmd, Qt::LeftButton); };
    if (byExitButton)
        QTest::mouseClick(form.Exit_Cmd, Qt::LeftButton);
    else
        QVERIFY(form.close());

    QCOMPARE(rig.driver.count("CloseBexor"), 1);
    QCOMPARE(rig.log.contains("End(0)"), byExitButton);
    // After the exit button, the toolkit's own close of the window must not close again.
    form.close();
    QCOMPARE(rig.driver.count("CloseBexor"), 1);
    QCOMPARE(rig.driver.callsAfterClose(), QStringList());
}

void StartupTest::closeDuringBusyHandlerWaitsForItsEnd()
{
    FormRig rig;
    rig.driver.statisticsBlock = QByteArray(106, '\0');
    CRTEST_Form &form = rig.start();
    rig.log.clear();
    // The close arrives while the refresh paints a row, outside any yield.
    bool closeRequested = false;
    rig.services.onSleep = [&](std::chrono::milliseconds) {
        if (!closeRequested) {
            closeRequested = true;
            form.close();
        }
    };
    QTest::mouseClick(form.Status_Cmd, Qt::LeftButton);

    QCOMPARE(rig.driverCalls().size(), 9);
    QCOMPARE(rig.driverCalls().last(), "CloseBexor");
    QVERIFY(!form.isVisible());
    QCOMPARE(rig.driver.callsAfterClose(), QStringList());
}

void StartupTest::unboundLibraryCallsNothing()
{
    FormRig rig;
    CRTEST_Form &form = rig.start("libbexor.so: cannot open shared object file");
    QCOMPARE(rig.services.messages(),
             QStringList{"USB CR Open error !!\nlibbexor.so: cannot open shared object file"});
    QVERIFY(!form.Status_Cmd->isEnabled());
    QTest::mouseClick(form.Exit_Cmd, Qt::LeftButton);
    QVERIFY(rig.log.contains("End(0)"));
    QCOMPARE(rig.driverCalls(), QStringList());
}

void StartupTest::help_data()
{
    QTest::addColumn<bool>("deviceOpens");
    QTest::addColumn<bool>("editorStarts");
    QTest::addColumn<QStringList>("messages");

    const QString failure = "The help text could not be opened: the command \"xdg-open "
                            "Readme.Txt\" could not be started.";
    QTest::newRow("device open, editor starts") << true << true << QStringList{};
    QTest::newRow("no device, editor starts") << false << true << QStringList{};
    QTest::newRow("editor missing") << true << false << QStringList{failure};
}

void StartupTest::help()
{
    QFETCH(bool, deviceOpens);
    QFETCH(bool, editorStarts);
    QFETCH(QStringList, messages);

    FormRig rig;
    rig.driver.openResults = deviceOpens ? QList<int32_t>{0} : QList<int32_t>{1, 1};
    rig.driver.statisticsBlock = QByteArray(106, '\0');
    rig.services.helpStarts = editorStarts;
    CRTEST_Form &form = rig.start();
    rig.log.clear();

    QTest::mouseClick(form.cmdHelp, Qt::LeftButton);
    QTest::mouseClick(form.cmdHelp, Qt::LeftButton);
    QCOMPARE(rig.log.count("Help"), 2);
    QStringList expected;
    for (int i = 0; i < 2; ++i)
        expected += messages;
    QCOMPARE(rig.services.messages(), expected);
    QVERIFY(form.cmdHelp->isEnabled());
    QCOMPARE(rig.driverCalls(), QStringList());
}

void StartupTest::enterOnInitialFocusExits()
{
    FormRig rig;
    rig.driver.openResults = {1, 1};
    CRTEST_Form &form = rig.start();
    QCOMPARE(form.focusWidget(), form.Exit_Cmd);
    QTest::keyClick(form.Exit_Cmd, Qt::Key_Return);
    QCOMPARE(rig.log.mid(rig.log.size() - 3), (QStringList{"CloseBexor", "Yield", "End(0)"}));
}

void StartupTest::unexpectedErrorClosesAndEnds()
{
    FormRig rig;
    rig.driver.onCall = [](const QString &call) {
        if (call == "DrawerState(2)")
            throw std::runtime_error("control failed");
    };
    CRTEST_Form &form = rig.start();
    QCOMPARE(rig.services.messages().size(), 1);
    QVERIFY(rig.services.messages().first().contains("control failed"));
    QCOMPARE(rig.log.mid(rig.log.size() - 2), (QStringList{"CloseBexor", "End(1)"}));
    // The program has ended: nothing a later event asks for reaches the driver.
    QTest::mouseClick(form.Exit_Cmd, Qt::LeftButton);
    form.close();
    QCOMPARE(rig.driver.callsAfterClose(), QStringList());
}

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
