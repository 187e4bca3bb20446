// Ctrl+C in the window: the report of what the window shows goes to the clipboard, through
// the event rules, and nothing on the screen changes.
#include "formrig.h"

#include <QClipboard>
#include <QGuiApplication>

namespace {

QByteArray block()
{
    QByteArray bytes(106, '\0');
    // Longer than its box can show: the report has it whole.
    bytes.replace(46, 16, "SN-0123456789ABC").replace(62, 8, "20240115").replace(70, 4, "R2.0");
    bytes.replace(82, 8, "20240301");
    return bytes.replace(98, 8, QByteArray::fromHex("B004000003000000"));
}

const QString NotRead = "Drawers:\n  0 not read\n  1 not read\n  2 not read\n  3 not read\n"
                        "  4 not read\n  5 not read\n  6 not read\n  7 not read\n";

} // namespace

class CopyReportTest : public QObject
{
    Q_OBJECT

private slots:
    void copy_data()
    {
        QTest::addColumn<bool>("bound");
        QTest::addColumn<QList<int32_t>>("opens");
        QTest::addColumn<QString>("report");
        QTest::newRow("device open")
                << true << QList<int32_t>{0}
                << "Driver: /usr/lib/x86_64-linux-gnu/libbexor.so\nController: open\n"
                   "Drawers:\n  0 open\n  1 closed\n  2 closed\n  3 closed\n"
                   "  4 not present\n  5 not present\n  6 not present\n  7 not present\n"
                   "Statistics:\n"
                   "  Serial number:        SN-0123456789ABC\n"
                   "  Manufacture date:     20240115\n"
                   "  Mechanical revision:  R2.0\n"
                   "  Installation date:    20240301\n"
                   "  Good opens:           1200\n"
                   "  Failed opens:         3\n";
        QTest::newRow("open failed twice")
                << true << QList<int32_t>{5, 6}
                << "Driver: /usr/lib/x86_64-linux-gnu/libbexor.so\n"
                   "Controller: did not open (OpenBexor returned 6)\n" + NotRead
                           + "Statistics:\n"
                             "  Serial number:        \n"
                             "  Manufacture date:     \n"
                             "  Mechanical revision:  \n"
                             "  Installation date:    YYYYMMDD\n"
                             "  Good opens:           DrawerGoodOpenCount\n"
                             "  Failed opens:         DrawerFailedOpenCount\n";
        QTest::newRow("driver not bound")
                << false << QList<int32_t>{}
                << "Driver: not loaded: libbexor.so: cannot open shared object file\n"
                   "Controller: not opened\n" + NotRead
                           + "Statistics:\n"
                             "  Serial number:        \n"
                             "  Manufacture date:     \n"
                             "  Mechanical revision:  \n"
                             "  Installation date:    YYYYMMDD\n"
                             "  Good opens:           DrawerGoodOpenCount\n"
                             "  Failed opens:         DrawerFailedOpenCount\n";
    }
    void copy()
    {
        QFETCH(bool, bound);
        FormRig rig;
        QFETCH(QList<int32_t>, opens);
        rig.driver.opens = opens;
        rig.driver.states = {0, 17, 33, 49, -1, -1, -1, -1};
        rig.driver.statisticsBlock = block();
        rig.form = std::make_unique<CRTEST_Form>(bound ? &rig.driver : nullptr,
                                                 "libbexor.so: cannot open shared object file",
                                                 rig.services);
        CRTEST_Form &form = *rig.form;
        form.setDriverFile("/usr/lib/x86_64-linux-gnu/libbexor.so");
        form.load();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QGuiApplication::clipboard()->setText("before");

        const QImage before = form.grab().toImage();
        const QStringList boxes = boxTexts(form);
        QWidget *const focus = form.focusWidget();
        rig.log.clear();
        QTest::keyClick(&form, Qt::Key_C, Qt::ControlModifier);

        QString copied = QGuiApplication::clipboard()->text();
        const QString time = copied.section('\n', 0, 0);
        QVERIFY2(QRegularExpression("^crtest 2.00 window at \\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$")
                         .match(time).hasMatch(), qPrintable(time));
        QTEST(copied.section('\n', 1), "report");
        // Nothing of the window changed, nothing reached the driver or the services.
        QCOMPARE(rig.log, QStringList());
        QCOMPARE(boxTexts(form), boxes);
        QCOMPARE(form.focusWidget(), focus);
        QCOMPARE(form.grab().toImage(), before);
    }

    // Once the program has ended, the handler is not run: the clipboard keeps what it had.
    void noCopyAfterTheEnd()
    {
        FormRig rig;
        CRTEST_Form &form = rig.start();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QGuiApplication::clipboard()->setText("before");
        QTest::keyClick(&form, Qt::Key_C, Qt::ControlModifier);
        QVERIFY(QGuiApplication::clipboard()->text().startsWith("crtest 2.00 window at "));
        QGuiApplication::clipboard()->setText("before");
        QTest::mouseClick(button(form, "Exit_Cmd"), Qt::LeftButton);
        QTest::keyClick(&form, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("before"));
    }
};

QTEST_MAIN(CopyReportTest)
#include "tst_copyreport.moc"
