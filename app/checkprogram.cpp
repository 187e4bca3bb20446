#include "checkprogram.h"

#include "bexorlibrary.h"
#include "check.h"
#include "commandline.h"
#include "logcategories.h"
#include "loggingdriver.h"
#include "signalwaits.h"

#include <QCoreApplication>

#include <cstdio>
#include <ctime>
#include <exception>
#include <optional>

int runCheckProgram(int argc, char **argv, const CommandLine &line, DriverLoad &driverLoad)
{
    // First of all, before Qt or the driver can start a thread that would take the signals.
    SignalWaits waits;
    QCoreApplication application(argc, argv);
    setLoggingWanted(loggingConfigured(line.verbose));
    if (line.verbose)
        QLoggingCategory::setFilterRules(QLatin1String(VerboseLoggingRules));

    QString error;
    const std::unique_ptr<BexorLibrary> library = BexorLibrary::load(driverLoad, &error);
    std::optional<LoggingDriver> driver;
    if (library)
        driver.emplace(*library);

    CheckSetup setup;
    setup.driver = driver ? &*driver : nullptr;
    setup.bindError = error;
    setup.driverFile = library ? library->file() : QString();
    setup.kickAsked = line.kickAsked;
    setup.kicks = line.kicks;
    setup.time = qint64(std::time(nullptr));

    Report report;
    try {
        report = runCheck(setup, waits);
    } catch (const std::exception &failure) {
        std::fprintf(stderr, "crtest: the check failed unexpectedly: %s\n", failure.what());
        return ExitStatus::CouldNotRun;
    }
    QByteArray out;
    switch (line.format) {
    case CommandLine::Format::Text:
        out = reportText(report).toUtf8();
        break;
    case CommandLine::Format::Json:
        out = reportJson(report);
        break;
    case CommandLine::Format::OpenMetrics:
        out = reportOpenMetrics(report);
        break;
    }
    std::fwrite(out.constData(), 1, std::size_t(out.size()), stdout);
    if (std::fflush(stdout) != 0) {
        std::perror("crtest: the report could not be written");
        return ExitStatus::CouldNotRun;
    }
    return exitStatusOf(report);
}
