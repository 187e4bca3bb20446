// Ctrl+C in the window: the report of what the window shows goes to the clipboard, through
// the event rules, and nothing on the screen changes.
#include "formrig.h"

#include <QClipboard>
#include <QGuiApplication>

class CopyReportTest : public QObject
{
    Q_OBJECT

private slots:
    void copy_data()
    {
        QTest::addColumn<QList<int32_t>>("opens"); // none: no driver bound
        QTest::addColumn<QString>("report");
        const QString notRead = "Drawers:\n  0 not read\n  1 not read\n  2 not read\n  3 not read\n"
                                "  4 not read\n  5 not read\n  6 not read\n  7 not read\nStatistics:\n"
                                "  not read\n";
        // The serial number is longer than its box can show: the report has it whole.
        QTest::newRow("device open") << QList<int32_t>{0}
                << "Driver: /usr/lib/x86_64-linux-gnu/libbexor.so\nController: open\nDrawers:\n"
                   "  0 open\n  1 closed\n  2 closed\n  3 closed\n  4 not present\n  5 not present\n"
                   "  6 not present\n  7 not present\nStatistics:\n"
                   "  Serial number:        SN-0123456789ABC\n  Manufacture date:     20240115\n"
                   "  Mechanical revision:  R2.0\n  Installation date:    20240301\n"
                   "  Good opens:           1200\n  Failed opens:         3\n";
        QTest::newRow("open failed twice") << QList<int32_t>{5, 6}
                << "Driver: /usr/lib/x86_64-linux-gnu/libbexor.so\n"
                   "Controller: did not open (OpenBexor returned 5, then 6)\n" + notRead;
        QTest::newRow("driver not bound") << QList<int32_t>{}
                << "Driver: not loaded: libbexor.so: cannot open shared object file\n"
                   "Controller: not opened\n" + notRead;
    }
    void copy()
    {
        FormRig rig;
        QFETCH(QList<int32_t>, opens);
        rig.driver.opens = opens;
        rig.driver.states = {0, 17, 33, 49, -1, -1, -1, -1};
        rig.driver.statisticsBlock = QByteArray(106, '\0').replace(46, 28, "SN-0123456789ABC20240115R2.0");
        rig.driver.statisticsBlock.replace(82, 8, "20240301").replace(98, 8, QByteArray::fromHex("B004000003000000"));
        Controller controller(opens.isEmpty() ? nullptr : &rig.driver,
                              "libbexor.so: cannot open shared object file",
                              "/usr/lib/x86_64-linux-gnu/libbexor.so");
        CRTEST_Form form(controller, rig.services);
        form.load();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QGuiApplication::clipboard()->setText("before");
        const QImage before = form.grab().toImage();
        const QStringList boxes = boxTexts(form);
        QWidget *const focus = form.focusWidget();
        rig.log.clear();
        QTest::keyClick(&form, Qt::Key_C, Qt::ControlModifier);

        const QString copied = QGuiApplication::clipboard()->text();
        QVERIFY2(QRegularExpression("^crtest 2.00 window at \\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ\n")
                         .match(copied).hasMatch(), qPrintable(copied));
        QTEST(copied.section('\n', 1), "report");
        // Nothing of the window changed, nothing reached the driver or the services.
        QCOMPARE(rig.log, QStringList());
        QCOMPARE(boxTexts(form), boxes);
        QCOMPARE(form.focusWidget(), focus);
        QCOMPARE(form.grab().toImage(), before);
        // Once the program has ended, the event rules run no handler: the clipboard stays.
        QGuiApplication::clipboard()->setText("after");
        QTest::mouseClick(button(form, "Exit_Cmd"), Qt::LeftButton);
        QTest::keyClick(&form, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("after"));
    }
};

QTEST_MAIN(CopyReportTest)
#include "tst_copyreport.moc"
