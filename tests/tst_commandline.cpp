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
        row("--cycles with every setting", {"--check", "--kick", "1,0", "--cycles", "1000000000",
            "--interval", "0", "--open-timeout", "2s", "--close-timeout", "1440min", "--csv", "f"},
            "check kick 1 0");
        row("--cycles without --kick", {"--check", "--cycles", "5"}, "usage: --cycles needs --kick.");
        row("--interval without --cycles", {"--check", "--kick", "1", "--interval", "5"},
            "usage: --interval needs --cycles.");
        row("--csv without --cycles", {"--check", "--kick", "1", "--csv", "f"},
            "usage: --csv needs --cycles.");
        row("--cycles twice", {"--check", "--kick", "1", "--cycles", "1", "--cycles", "2"},
            "usage: --cycles may be given only once.");
        for (const char *count : {"0", "-3", "+3", "1000000001", "2x", ""})
            QTest::addRow("--cycles '%s'", count)
                    << QStringList{"--check", "--kick", "1", "--cycles", count}
                    << QString("usage: --cycles takes a whole number from 1 to 1000000000, not '%1'.")
                               .arg(count);
        for (const char *time : {"1.5s", "2h", "-1", "86401s", "1441min", "s", " 5"})
            QTest::addRow("--open-timeout '%s'", time)
                    << QStringList{"--check", "--kick", "1", "--cycles", "1", "--open-timeout", time}
                    << QString("usage: --open-timeout takes a time such as 250, 250ms, 2s or 1min, "
                               "up to 24 h, not '%1'.").arg(time);
        for (const char *list : {"", "8", "-1", "1,1", "1,", "01", "0 2", "１"})
            QTest::addRow("--kick '%s'", list) << QStringList{"--check", "--kick", list}
                    << QString("usage: --kick takes drawer numbers 0 to 7 separated by commas, each "
                               "once, not '%1'.").arg(list);
        // Every option the help gives "With --check" is refused without it: read from the help,
        // so that a new one is held to that too. One that takes a value is given one.
        // "With --kick" and "With --cycles" ask for --check too, through the option they name.
        const QRegularExpression checkOnly("^  (--[a-z-]+)( <\\w+>)? +With --(check|kick|cycles)",
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
