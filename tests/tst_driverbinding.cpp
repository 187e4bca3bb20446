// The bundled simulated controller behind the real window, loaded the way the program loads
// a driver. Missing and damaged libraries and functions are part of the fault matrix.
#include "bexorlibrary.h"
#include "formrig.h"

class DriverBindingTest : public QObject
{
    Q_OBJECT

private slots:
    void simulatedControllerThroughTheWindow()
    {
        QString error;
        const auto simulator = BexorLibrary::load(SIM_LIBRARY_PATH, &error);
        QVERIFY2(simulator, qPrintable(error));
        FormRig rig; // for its desktop services only
        CRTEST_Form form(simulator.get(), QString(), rig.services);
        form.load();
        QCOMPARE(rowLetters(form), "CCCCNNNN");
        QCOMPARE(boxTexts(form),
                 (QStringList{"SIMULATED-0001", "20240115", "R2.0", "20240301", "1200", "3"}));
        QVERIFY(form.close());
    }
};

QTEST_MAIN(DriverBindingTest)
#include "tst_driverbinding.moc"
