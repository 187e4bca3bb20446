// What each command line asks for, and what it refuses with a usage error.
#include "commandline.h"

#include <QRegularExpression>
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
        row("-h wins over --check", {"--check", "-h"}, "help");
        row("-v", {"-v"}, "version");
        row("--check --json --verbose", {"--check", "--json", "--verbose"}, "check json verbose");
        row("--openmetrics before --check", {"--openmetrics", "--check"}, "check openmetrics");
        row("--check --prometheus", {"--check", "--prometheus"}, "check prometheus");
        row("--kick=7,3,0 keeps its order", {"--check", "--kick=7,3,0"}, "check kick 7 3 0");
        row("an unknown option", {"--kcik", "1"}, "usage: Unknown option 'kcik'.");
        row("a word", {"check"}, "usage: Unexpected argument 'check'.");
        row("--json with --openmetrics", {"--check", "--json", "--openmetrics"},
            "usage: --json and --openmetrics cannot be given together.");
        row("--openmetrics with --prometheus", {"--check", "--openmetrics", "--prometheus"},
            "usage: --prometheus and --openmetrics cannot be given together.");
        row("--kick twice", {"--check", "--kick", "1", "--kick", "2"}, "usage: --kick may be given only once.");
        for (const char *list : {"", "8", "-1", "1,1", "1,", "01", "0 2", "１"})
            QTest::addRow("--kick '%s'", list) << QStringList{"--check", "--kick", list}
                    << QString("usage: --kick takes drawer numbers 0 to 7 separated by commas, each "
                               "once, not '%1'.").arg(list);
        // Every option the help gives "With --check" is refused without it: read from the help,
        // so that a new one is held to that too. One that takes a value is given one.
        const QRegularExpression checkOnly("^  (--[a-z]+)( <\\w+>)? +With --check",
                                           QRegularExpression::MultilineOption);
        int found = 0;
        for (auto it = checkOnly.globalMatch(parseCommandLine({"crtest", "--help"}).text);
             it.hasNext(); ++found) {
            const QRegularExpressionMatch match = it.next();
            const QString option = match.captured(1);
            QTest::addRow("%s without --check", qPrintable(option))
                << QStringList {option, "0"}.mid(0, match.hasCaptured(2) ? 2 : 1)
                << "usage: " + option + " needs --check.";
        }
        QVERIFY(found >= 3);
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
