// The real binding: libraries and functions that are missing, and the bundled simulated
// controller loaded the way the program loads a driver.
#include "bexorlibrary.h"
#include "formrig.h"

class DriverBindingTest : public QObject
{
    Q_OBJECT

private slots:
    void unboundLibrary_data()
    {
        QTest::addColumn<QString>("path");
        // The loader's own words.
        QTest::addColumn<QStringList>("reasonMentions");
        const QString missing = "libbexor-not-installed.so";
        QTest::newRow("library missing") << missing << QStringList{missing, "No such file"};
        for (const char *name :
             {"OpenBexor", "CloseBexor", "DrawerOpen", "DrawerState", "RetrieveStatistics"})
            QTest::addRow("%s missing", name)
                    << QString(PARTIAL_DRIVER_DIR "/libwithout_%1.so").arg(name)
                    << QStringList{name, "undefined symbol"};
    }
    // Caught when the library is bound; the window then says why, enables nothing and
    // calls nothing of the driver, through to the exit.
    void unboundLibrary()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, reasonMentions);
        QString error;
        QVERIFY(!BexorLibrary::load(path, &error));
        for (const QString &mention : reasonMentions)
            QVERIFY2(error.contains(mention), qPrintable(error));

        FormRig rig;
        CRTEST_Form &form = rig.start(error);
        QVERIFY(!form.Status_Cmd->isEnabled() && !form.Kick_Cmd->isEnabled());
        QTest::mouseClick(form.Exit_Cmd, Qt::LeftButton);
        const QString message = "Message:USB CR Open error !!\n" + error;
        QCOMPARE(rig.log, (QStringList{"Yield", message, "Yield", "End(0)"}));
    }

    void simulatedControllerThroughTheWindow()
    {
        QString error;
        const auto simulator = BexorLibrary::load(SIM_LIBRARY_PATH, &error);
        QVERIFY2(simulator, qPrintable(error));
        QStringList log;
        FakeServices services(log);
        CRTEST_Form form(simulator.get(), QString(), services);
        form.load();
        QString states;
        for (const QLineEdit *state : form.Drawer_State)
            states += state->text();
        QCOMPARE(states, "CCCCNNNN");
        QCOMPARE(form.crTextSValue[5]->text(), "SIMULATED-0001");
        QVERIFY(form.close());
    }
};

QTEST_MAIN(DriverBindingTest)
#include "tst_driverbinding.moc"
