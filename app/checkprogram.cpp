#include "checkprogram.h"

#include "bexorlibrary.h"
#include "check.h"
#include "commandline.h"
#include "cycleoutput.h"
#include "logcategories.h"
#include "loggingdriver.h"
#include "signalwaits.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <memory>
#include <optional>
#ifdef _WIN32
#  include <io.h>
#  define isatty _isatty
#  define fileno _fileno
#else
#  include <sys/ioctl.h>
#  include <unistd.h>
#endif

namespace {

// The terminal's width, or 0 when it is not one or does not say.
int columnsOf(std::FILE *stream)
{
#ifdef _WIN32
    Q_UNUSED(stream);
    return 0;
#else
    winsize size{};
    return ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
#endif
}

struct FileCloser
{
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

Report runCyclesOf(const CheckSetup &check, const CommandLine &line, CheckWaits &waits,
                   CycleOutput &output)
{
    CycleSetup setup;
    setup.check = check;
    setup.cycles = line.cycles;
    setup.interval = line.interval.value_or(setup.interval);
    setup.openTimeout = line.openTimeout.value_or(setup.openTimeout);
    setup.closeTimeout = line.closeTimeout.value_or(setup.closeTimeout);
    Report report = runCycles(setup, waits, output);
    output.finish();
    return report;
}

} // namespace

int runCheckProgram(int argc, char **argv, const CommandLine &line, DriverLoad &driverLoad)
{
    // First of all, before Qt or the driver can start a thread that would take the signals.
    SignalWaits waits;
    QCoreApplication application(argc, argv);
    setLoggingWanted(loggingConfigured(line.verbose));
    if (line.verbose)
        QLoggingCategory::setFilterRules(QLatin1String(VerboseLoggingRules));

    // A file that cannot be written is found out before the controller is touched.
    File csv;
    if (!line.csvFile.isEmpty()) {
        csv.reset(std::fopen(QFile::encodeName(line.csvFile).constData(), "w"));
        if (!csv) {
            std::fprintf(stderr, "crtest: the CSV file %s cannot be written: %s\n",
                         line.csvFile.toLocal8Bit().constData(), std::strerror(errno));
            return ExitStatus::CouldNotRun;
        }
    }

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
    std::optional<CycleOutput> cycleOutput;
    if (line.cycles > 0)
        cycleOutput.emplace(stderr, isatty(fileno(stderr)) != 0, csv.get(), columnsOf(stderr));
    try {
        report = cycleOutput ? runCyclesOf(setup, line, waits, *cycleOutput) : runCheck(setup, waits);
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
    case CommandLine::Format::Prometheus:
        out = reportPrometheus(report);
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
    if (cycleOutput && !cycleOutput->csvWritten())
        return ExitStatus::CouldNotRun;
    return exitStatusOf(report);
}
