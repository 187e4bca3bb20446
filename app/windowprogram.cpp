// The window mode: a plain answer when there is no display to open the window on, the
// logging, the driver bound and the window started on it.
#include "windowprogram.h"

#include "bexorlibrary.h"
#include "controller.h"
#include "crtest_form.h"
#include "desktopservices.h"
#include "logcategories.h"
#include "loggingdriver.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

// What the toolkit said while it looked for its platform. Qt ends the program with an abort
// and an advice to reinstall when no platform can be had; the user is told in one sentence
// instead, and nothing dumps core.
QStringList platformMessages;
QtMessageHandler previousHandler = nullptr;

void platformHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtFatalMsg) {
        platformMessages << qFormatLogMessage(type, context, message);
        return;
    }
    // Qt's own first complaint names the display it tried; its closing one only blames the
    // plugins.
    const QString reason = platformMessages.isEmpty() ? message : platformMessages.first();
    std::fprintf(stderr, "crtest: the window cannot be opened, no display could be reached (%s).\n",
                 qUtf8Printable(reason.trimmed()));
    std::fflush(stderr);
    std::_Exit(1);
}

bool displayNamed()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY")
            || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

} // namespace

int runWindowProgram(int argc, char **argv, bool verbose, DriverLoad &driverLoad)
{
    if (!displayNamed()) {
        std::fputs("crtest: the window needs a display, and neither DISPLAY nor WAYLAND_DISPLAY "
                   "is set (crtest --check needs none).\n",
                   stderr);
        return 1;
    }
    previousHandler = qInstallMessageHandler(platformHandler);
    QApplication application(argc, argv);
    qInstallMessageHandler(previousHandler);
    for (const QString &message : std::as_const(platformMessages))
        std::fprintf(stderr, "%s\n", qUtf8Printable(message));
    // The same look on every platform; the native Windows style would ignore the buttons'
    // face colours.
    QApplication::setStyle(QStringLiteral("Fusion"));
    if (verbose)
        QLoggingCategory::setFilterRules(QLatin1String(VerboseLoggingRules));

    QString driverError;
    const std::unique_ptr<BexorLibrary> library = BexorLibrary::load(driverLoad, &driverError);
    std::optional<LoggingDriver> driver;
    if (library)
        driver.emplace(*library);
    Controller controller(driver ? &*driver : nullptr, driverError,
                          library ? library->file() : QString());
    DesktopServices services;
    CRTEST_Form form(controller, services);
    // The load handler runs inside the event loop, so that closing the window during
    // start-up ends the loop like any later close.
    QMetaObject::invokeMethod(&form, &CRTEST_Form::load, Qt::QueuedConnection);
    return application.exec();
}
