#include "bexorlibrary.h"
#include "crtest_form.h"
#include "desktopservices.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // The same look on every platform; the native Windows style would ignore the buttons'
    // face colours.
    QApplication::setStyle(QStringLiteral("Fusion"));

    QString driverError;
    const std::unique_ptr<BexorLibrary> driver =
            BexorLibrary::load(QString::fromLatin1(BexorLibrary::DefaultName), &driverError);
    DesktopServices services;
    CRTEST_Form form(driver.get(), driverError, services);
    // The load handler runs inside the event loop, so that closing the window during
    // start-up ends the loop like any later close.
    QMetaObject::invokeMethod(&form, &CRTEST_Form::load, Qt::QueuedConnection);
    return application.exec();
}
