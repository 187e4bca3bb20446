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
        "         unexpected error)\n"
        "  2      usage error\n"
        "  3      driver library missing or damaged\n"
        "  4      controller did not open\n"
        "  5      statistics read failed\n"
        "  6      a kicked drawer did not open\n"
        "  128+n  the check was interrupted by signal n (130 SIGINT, 143 SIGTERM)\n"
        "When several of 3 to 6 apply, the lowest is returned; the report lists them all.\n");

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
                          "[--check [--kick DRAWERS] [--json | --prometheus | --openmetrics]]");
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
    const QList<QCommandLineOption> checkOnly {kick, json, prometheus, openMetrics};
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
    return line;
}
