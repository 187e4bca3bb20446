// The real binding: libraries and functions that are missing, and the bundled simulated
// controller loaded the way the program loads a driver.
#include "bexorlibrary.h"
#include "formrig.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

class DriverBindingTest : public QObject
{
    Q_OBJECT

private slots:
    void missingLibrary();
    void missingFunction_data();
    void missingFunction();
    void simulatedControllerThroughTheWindow();
};

void DriverBindingTest::missingLibrary()
{
    QString error;
    QVERIFY(!BexorLibrary::load("libbexor-not-installed.so", &error));
    // The loader's own words, naming the file.
    QVERIFY2(error.contains("libbexor-not-installed.so"), qPrintable(error));
    QVERIFY2(error.contains("No such file"), qPrintable(error));
}

void DriverBindingTest::missingFunction_data()
{
    QTest::addColumn<QString>("function");
    for (const char *name : {"OpenBexor", "CloseBexor", "DrawerOpen", "DrawerState",
                             "RetrieveStatistics"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void DriverBindingTest::missingFunction()
{
    QFETCH(QString, function);
    const QString path = QStringLiteral(PARTIAL_DRIVER_DIR "/libwithout_%1.so").arg(function);
    QString error;
    QVERIFY(!BexorLibrary::load(path, &error));
    QVERIFY2(error.contains(function), qPrintable(error));
    QVERIFY2(error.contains("undefined symbol"), qPrintable(error));

    // The window reports it at start-up and never calls into the library.
    FormRig rig;
    rig.start(error);
    QCOMPARE(rig.services.messages(), QStringList{"USB CR Open error !!\n" + error});
}

void DriverBindingTest::simulatedControllerThroughTheWindow()
{
    QString error;
    const std::unique_ptr<BexorLibrary> simulator = BexorLibrary::load(SIM_LIBRARY_PATH, &error);
    QVERIFY2(simulator, qPrintable(error));

    QStringList log;
    FakeServices services(log);
    CRTEST_Form form(simulator.get(), QString(), services);
    form.load();

    QCOMPARE(form.deviceResult(), 0);
    for (int n = 0; n < 8; ++n) {
        const bool present = n < 4;
        QCOMPARE(form.Drawer_State[n]->text(), present ? "C" : "N");
        QCOMPARE(form.Drawer_Check[n]->isChecked(), present);
    }
    QVERIFY(form.crTextSValue[5]->text().contains("SIM"));
    QVERIFY(form.close());
}

QTEST_MAIN(DriverBindingTest)
#include "tst_driverbinding.moc"
