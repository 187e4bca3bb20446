// One program, two kinds of application: the command line's answers and the check run on
// Qt Core alone, the window on Qt Widgets. The command line decides first, so that --help,
// --version and a usage error never load the driver nor touch the display.
#include "bexorlibrary.h"
#include "checkprogram.h"
#include "commandline.h"
#include "windowprogram.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <cstdio>

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine line = parseCommandLine(arguments);
    switch (line.action) {
    case CommandLine::Action::Help:
    case CommandLine::Action::Version: {
        QCoreApplication application(argc, argv);
        std::fputs(line.text.toLocal8Bit().constData(), stdout);
        return 0;
    }
    case CommandLine::Action::UsageError:
        std::fprintf(stderr, "crtest: %s\n%s\nTry 'crtest --help' for more information.\n",
                     line.text.toLocal8Bit().constData(), usageLine().toLocal8Bit().constData());
        return 2;
    case CommandLine::Action::Check:
    case CommandLine::Action::Window:
        break;
    }
    // The driver's load begins here, its trial running beside Qt's start-up, before the
    // program has any other thread.
    DriverLoad driver(BexorLibrary::DefaultName);
    if (line.action == CommandLine::Action::Check)
        return runCheckProgram(argc, argv, line, driver);
    return runWindowProgram(argc, argv, line.verbose, driver);
}
