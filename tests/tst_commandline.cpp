// What each command line asks for, and what it refuses with a usage error (status 2).
#include "commandline.h"

#include <QTest>

using Action = CommandLine::Action;
using Format = CommandLine::Format;

class CommandLineTest : public QObject
{
    Q_OBJECT

private slots:
    void accepted_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("verbose");
        QTest::addColumn<bool>("kickAsked");
        QTest::addColumn<QList<int>>("kicks");
        const auto row = [](const char *name, QStringList arguments, Action action,
                            Format format = Format::Text, bool verbose = false,
                            QList<int> kicks = {}, bool kickAsked = false) {
            QTest::newRow(name) << arguments << int(action) << int(format) << verbose << kickAsked
                                << kicks;
        };
        row("nothing: the window", {}, Action::Window);
        row("--verbose: the window, logged", {"--verbose"}, Action::Window, Format::Text, true);
        row("--help", {"--help"}, Action::Help);
        row("-h", {"-h"}, Action::Help);
        row("--help wins over --check", {"--check", "--help"}, Action::Help);
        row("--version", {"--version"}, Action::Version);
        row("-v", {"-v"}, Action::Version);
        row("--check", {"--check"}, Action::Check);
        row("--check --json", {"--check", "--json"}, Action::Check, Format::Json);
        row("--openmetrics --check", {"--openmetrics", "--check"}, Action::Check, Format::OpenMetrics);
        row("--check --verbose", {"--check", "--verbose"}, Action::Check, Format::Text, true);
        row("--kick 0,2 in that order", {"--check", "--kick", "0,2"}, Action::Check, Format::Text,
            false, {0, 2}, true);
        row("--kick=7,3,0 keeps its order", {"--check", "--kick=7,3,0"}, Action::Check,
            Format::Text, false, {7, 3, 0}, true);
        row("--kick every drawer", {"--check", "--json", "--kick", "0,1,2,3,4,5,6,7"},
            Action::Check, Format::Json, false, {0, 1, 2, 3, 4, 5, 6, 7}, true);
    }
    void accepted()
    {
        QFETCH(QStringList, arguments);
        const CommandLine line = parseCommandLine(QStringList{"/usr/bin/crtest"} + arguments);
        QTEST(int(line.action), "action");
        QTEST(int(line.format), "format");
        QTEST(line.verbose, "verbose");
        QTEST(line.kickAsked, "kickAsked");
        QTEST(line.kicks, "kicks");
    }

    void refused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("why");
        const auto row = [](const char *name, QStringList arguments, const char *why) {
            QTest::newRow(name) << arguments << QString(why);
        };
        row("an unknown option", {"--kcik", "1"}, "Unknown option 'kcik'.");
        row("a Qt option", {"-platform", "offscreen"}, "Unknown options: p, l, a, t, f, o, r, m.");
        row("a word", {"check"}, "Unexpected argument 'check'.");
        row("--kick without --check", {"--kick", "1"}, "--kick needs --check.");
        row("--json without --check", {"--json"}, "--json needs --check.");
        row("--openmetrics without --check", {"--openmetrics"}, "--openmetrics needs --check.");
        row("--json with --openmetrics", {"--check", "--json", "--openmetrics"},
            "--json and --openmetrics cannot be given together.");
        row("--kick without a value", {"--check", "--kick"}, "Missing value after '--kick'.");
        const char *bad = "--kick takes drawer numbers 0 to 7 separated by commas, each once, not '%1'.";
        for (const char *list : {"", "8", "-1", "1,1", "0,,2", "1,", "a", "01", "0 2", "1;2", "１"})
            QTest::addRow("--kick '%s'", list)
                    << QStringList{"--check", "--kick", list} << QString(bad).arg(list);
        row("--kick twice", {"--check", "--kick", "1", "--kick", "2"}, "--kick may be given only once.");
    }
    void refused()
    {
        QFETCH(QStringList, arguments);
        const CommandLine line = parseCommandLine(QStringList{"crtest"} + arguments);
        QCOMPARE(int(line.action), int(Action::UsageError));
        QTEST(line.text, "why");
    }

    void helpListsEveryOptionAndStatus()
    {
        const QString help = parseCommandLine({"/opt/x/crtest", "--help"}).text;
        QVERIFY2(help.startsWith("Usage: crtest [options]\n"), qPrintable(help));
        for (const char *text : {"--check", "--kick <drawers>", "--json", "--openmetrics", "--verbose",
                                 "--version", "  0      all well", "  2      usage error",
                                 "  3      driver library missing or damaged",
                                 "  4      controller did not open", "  5      statistics read failed",
                                 "  6      a kicked drawer did not open", "143 SIGTERM"})
            QVERIFY2(help.contains(text), text);
        QCOMPARE(parseCommandLine({"crtest", "--version"}).text, QString("crtest 2.00\n"));
    }
};

QTEST_APPLESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
