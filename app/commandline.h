// What the command line asks for. Parsed before anything else happens, so that --help,
// --version and a usage error never load the driver nor touch the display.
#pragma once

#include <QList>
#include <QString>

#include <chrono>
#include <optional>

struct CommandLine
{
    enum class Action { Window, Check, Help, Version, UsageError };
    enum class Format { Text, Json, Prometheus, OpenMetrics };

    Action action = Action::Window;
    Format format = Format::Text;
    bool verbose = false;
    bool kickAsked = false;
    QList<int> kicks;
    // --cycles and its settings; a setting not given keeps the cycle run's own default.
    int cycles = 0;
    std::optional<std::chrono::milliseconds> interval, openTimeout, closeTimeout;
    QString csvFile;
    // What to print: the help or version text, or for a usage error what was wrong.
    QString text;
};

// arguments includes the program's name first, as argv has it.
CommandLine parseCommandLine(const QStringList &arguments);

// The short form of the syntax, shown with a usage error.
QString usageLine();
