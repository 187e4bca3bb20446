// What each command line asks for, and what it refuses with a usage error.
#include "commandline.h"

#include <QTest>

class CommandLineTest : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("parsed");
        const auto row = [](const char *name, QStringList arguments, QString parsed) {
            QTest::newRow(name) << arguments << parsed;
        };
        row("nothing: the window", {}, "window");
        row("--verbose: the window, logged", {"--verbose"}, "window verbose");
        row("-h", {"-h"}, "help");
        row("--help wins over --check", {"--check", "--help"}, "help");
        row("-v", {"-v"}, "version");
        row("--check --json --verbose", {"--check", "--json", "--verbose"}, "check json verbose");
        row("--openmetrics before --check", {"--openmetrics", "--check"}, "check openmetrics");
        row("--check --prometheus", {"--check", "--prometheus"}, "check prometheus");
        row("--kick=7,3,0 keeps its order", {"--check", "--kick=7,3,0"}, "check kick 7 3 0");
        row("--kick every drawer", {"--check", "--kick", "0,1,2,3,4,5,6,7"}, "check kick 0 1 2 3 4 5 6 7");
        row("an unknown option", {"--kcik", "1"}, "usage: Unknown option 'kcik'.");
        row("a word", {"check"}, "usage: Unexpected argument 'check'.");
        row("--kick without --check", {"--kick", "1"}, "usage: --kick needs --check.");
        row("--openmetrics without --check", {"--openmetrics"}, "usage: --openmetrics needs --check.");
        row("--json with --openmetrics", {"--check", "--json", "--openmetrics"},
            "usage: --json and --openmetrics cannot be given together.");
        row("--openmetrics with --prometheus", {"--check", "--openmetrics", "--prometheus"},
            "usage: --prometheus and --openmetrics cannot be given together.");
        row("--prometheus without --check", {"--prometheus"}, "usage: --prometheus needs --check.");
        row("--kick twice", {"--check", "--kick", "1", "--kick", "2"}, "usage: --kick may be given only once.");
        for (const char *list : {"", "8", "-1", "1,1", "0,,2", "1,", "01", "0 2", "１"})
            QTest::addRow("--kick '%s'", list) << QStringList{"--check", "--kick", list}
                    << QString("usage: --kick takes drawer numbers 0 to 7 separated by commas, each "
                               "once, not '%1'.").arg(list);
    }
    void parse()
    {
        QFETCH(QStringList, arguments);
        const CommandLine line = parseCommandLine(QStringList{"/usr/bin/crtest"} + arguments);
        QStringList words{QStringList{"window", "check", "help", "version", "usage:"}[int(line.action)]};
        words << (line.action == CommandLine::Action::UsageError ? line.text : "")
              << QStringList{"", "json", "prometheus", "openmetrics"}[int(line.format)]
              << (line.verbose ? "verbose" : "") << (line.kickAsked ? "kick" : "");
        for (const int drawer : line.kicks)
            words << QString::number(drawer);
        QTEST(words.join(' ').simplified(), "parsed");
    }
};

QTEST_APPLESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
