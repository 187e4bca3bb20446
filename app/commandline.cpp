#include "commandline.h"

#include "crtestversion.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <QSet>

namespace {

const QString ExitStatuses = QStringLiteral(
        "\nExit status:\n"
        "  0      all well\n"
        "  1      the program could not run (no display for the window, an\n"
        "         unexpected error, a CSV file that cannot be written)\n"
        "  2      usage error\n"
        "  3      driver library missing or damaged\n"
        "  4      controller did not open\n"
        "  5      statistics read failed\n"
        "  6      a kicked drawer did not open\n"
        "  7      a drawer did not close in time (--cycles)\n"
        "  8      a drawer's sensor bounced (--cycles)\n"
        "  9      the controller's counts disagree with the openings seen (--cycles)\n"
        "  10     a drawer read not present during the cycles (--cycles)\n"
        "  128+n  the check was interrupted by signal n (130 SIGINT, 143 SIGTERM)\n"
        "When several of 3 to 10 apply, the lowest is returned; the report lists them all.\n");

constexpr qint64 LongestTime = 24 * 3600 * 1000;

// "250", "250ms", "2s", "1min": 0 to 24 hours, in milliseconds when no unit is given.
std::optional<std::chrono::milliseconds> parseTime(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,9})(ms|s|min)?$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QString unit = match.captured(2);
    const qint64 ms = match.captured(1).toLongLong()
            * (unit == QLatin1String("s") ? 1000 : unit == QLatin1String("min") ? 60000 : 1);
    if (ms > LongestTime)
        return std::nullopt;
    return std::chrono::milliseconds(ms);
}

// "0,2,5": drawer numbers 0 to 7, each once. Returns false for anything else.
bool parseKicks(const QString &text, QList<int> *kicks)
{
    QSet<int> seen;
    for (const QString &item : text.split(QLatin1Char(','))) {
        if (item.size() != 1 || item[0] < QLatin1Char('0') || item[0] > QLatin1Char('7'))
            return false;
        const int drawer = item[0].unicode() - '0';
        if (seen.contains(drawer))
            return false;
        seen.insert(drawer);
        kicks->append(drawer);
    }
    return true;
}

CommandLine usageError(const QString &why)
{
    CommandLine line;
    line.action = CommandLine::Action::UsageError;
    line.text = why;
    return line;
}

} // namespace

QString usageLine()
{
    return QStringLiteral("Usage: crtest [--verbose] "
                          "[--check [--kick DRAWERS [--cycles N [--interval TIME] "
                          "[--open-timeout TIME] [--close-timeout TIME] [--csv FILE]]] "
                          "[--json | --prometheus | --openmetrics]]");
}

CommandLine parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Tests a USB cash-drawer controller. Without options it opens the window; with\n"
            "--check it prints a report of the controller without a window."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption check(QStringLiteral("check"),
                                   QStringLiteral("Open the controller, read every drawer and the "
                                                  "statistics, close it and print a report. Never "
                                                  "kicks unless --kick says which drawers; needs no "
                                                  "display."));
    const QCommandLineOption kick(QStringLiteral("kick"),
                                  QStringLiteral("With --check: kick these drawers (0 to 7, "
                                                 "separated by commas, e.g. 0,2) in that order and "
                                                 "read them back."),
                                  QStringLiteral("drawers"));
    const QCommandLineOption cycles(
            QStringLiteral("cycles"),
            QStringLiteral("With --kick: instead of one kick, kick each drawer listed in turn, "
                           "read it until it opens and closes again, and do so n times over "
                           "(1 to 1000000000); report every fault, the times and the counts."),
            QStringLiteral("n"));
    const QString timeForm = QStringLiteral(" A time is milliseconds, or a number with ms, s or "
                                            "min (e.g. 250, 2s, 1min), up to 24 h.");
    const QCommandLineOption interval(
            QStringLiteral("interval"),
            QStringLiteral("With --cycles: the time between two reads (default 100 ms, the "
                           "controller's pace); every time measured is to within it.")
                    + timeForm,
            QStringLiteral("time"));
    const QCommandLineOption openTimeout(
            QStringLiteral("open-timeout"),
            QStringLiteral("With --cycles: how long after its kick a drawer may take to read "
                           "open (default 2s)."),
            QStringLiteral("time"));
    const QCommandLineOption closeTimeout(
            QStringLiteral("close-timeout"),
            QStringLiteral("With --cycles: how long a drawer may stay open before it reads "
                           "closed (default 1min); on a terminal the bell rings every 5 s while "
                           "one waits to be closed."),
            QStringLiteral("time"));
    const QCommandLineOption csv(QStringLiteral("csv"),
                                 QStringLiteral("With --cycles: write a row for each drawer and "
                                                "cycle to this file as the cycle ends."),
                                 QStringLiteral("file"));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("With --check: write the report as JSON."));
    const QCommandLineOption prometheus(QStringLiteral("prometheus"),
                                        QStringLiteral("With --check: write the report as metrics "
                                                       "in the Prometheus text format, which "
                                                       "node_exporter's textfile collector and a "
                                                       "Pushgateway read."));
    const QCommandLineOption openMetrics(QStringLiteral("openmetrics"),
                                         QStringLiteral("With --check: write the same metrics in "
                                                        "OpenMetrics 1.0, for strict OpenMetrics "
                                                        "readers; node_exporter's textfile "
                                                        "collector wants --prometheus."));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Log every driver call and what came of it on "
                                                    "standard error (crtest.driver, "
                                                    "crtest.events)."));
    // Meaningful only in a check: each is refused without --check.
    const QList<QCommandLineOption> checkOnly {kick,        cycles, interval,   openTimeout,
                                               closeTimeout, csv,   json,       prometheus,
                                               openMetrics};
    parser.addOptions(QList {help, version, check} + checkOnly + QList {verbose});

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("Unexpected argument '%1'.")
                                  .arg(parser.positionalArguments().first()));

    CommandLine line;
    if (parser.isSet(help)) {
        line.action = CommandLine::Action::Help;
        // The parser names the program after argv[0], which may be any path; the manual
        // page and the examples call it crtest.
        QString text = parser.helpText();
        text.replace(QRegularExpression(QStringLiteral("^Usage: \\S+")), QStringLiteral("Usage: crtest"));
        line.text = text + ExitStatuses;
        return line;
    }
    if (parser.isSet(version)) {
        line.action = CommandLine::Action::Version;
        line.text = QStringLiteral("crtest " CRTEST_VERSION "\n");
        return line;
    }
    line.verbose = parser.isSet(verbose);
    if (!parser.isSet(check)) {
        for (const QCommandLineOption &option : checkOnly)
            if (parser.isSet(option))
                return usageError(QStringLiteral("--%1 needs --check.").arg(option.names().first()));
        return line;
    }
    line.action = CommandLine::Action::Check;
    const std::pair<QCommandLineOption, CommandLine::Format> formats[] = {
            {json, CommandLine::Format::Json},
            {prometheus, CommandLine::Format::Prometheus},
            {openMetrics, CommandLine::Format::OpenMetrics}};
    QString chosen;
    for (const auto &[option, format] : formats) {
        if (!parser.isSet(option))
            continue;
        if (!chosen.isEmpty())
            return usageError(QStringLiteral("--%1 and --%2 cannot be given together.")
                                      .arg(chosen, option.names().first()));
        chosen = option.names().first();
        line.format = format;
    }
    if (parser.isSet(kick)) {
        const QStringList values = parser.values(kick);
        if (values.size() != 1)
            return usageError(QStringLiteral("--kick may be given only once."));
        if (!parseKicks(values.first(), &line.kicks))
            return usageError(QStringLiteral("--kick takes drawer numbers 0 to 7 separated by "
                                             "commas, each once, not '%1'.")
                                      .arg(values.first()));
        line.kickAsked = true;
    }
    const std::pair<QCommandLineOption, QCommandLineOption> needs[] = {
            {cycles, kick}, {interval, cycles}, {openTimeout, cycles}, {closeTimeout, cycles},
            {csv, cycles}};
    for (const auto &[option, needed] : needs) {
        const QString name = option.names().first();
        if (parser.values(option).size() > 1)
            return usageError(QStringLiteral("--%1 may be given only once.").arg(name));
        if (parser.isSet(option) && !parser.isSet(needed))
            return usageError(
                    QStringLiteral("--%1 needs --%2.").arg(name, needed.names().first()));
    }
    if (parser.isSet(cycles)) {
        bool ok = false;
        line.cycles = parser.value(cycles).toInt(&ok);
        if (!ok || line.cycles < 1 || line.cycles > 1000000000
            || !parser.value(cycles).front().isDigit())
            return usageError(QStringLiteral("--cycles takes a whole number from 1 to 1000000000, "
                                             "not '%1'.")
                                      .arg(parser.value(cycles)));
    }
    const std::pair<QCommandLineOption, std::optional<std::chrono::milliseconds> *> times[] = {
            {interval, &line.interval},
            {openTimeout, &line.openTimeout},
            {closeTimeout, &line.closeTimeout}};
    for (const auto &[option, time] : times) {
        if (!parser.isSet(option))
            continue;
        *time = parseTime(parser.value(option));
        if (!*time)
            return usageError(QStringLiteral("--%1 takes a time such as 250, 250ms, 2s or 1min, "
                                             "up to 24 h, not '%2'.")
                                      .arg(option.names().first(), parser.value(option)));
    }
    line.csvFile = parser.value(csv);
    if (parser.isSet(csv) && line.csvFile.isEmpty())
        return usageError(QStringLiteral("--csv needs a file name."));
    return line;
}
