// The command line decides first: help, version and usage errors are answered before
// anything is loaded; a check runs on Qt Core alone; only the window loads the GUI.
#include "bexorlibrary.h"
#include "checkprogram.h"
#include "commandline.h"
#include "windowentry.h"

#include <QString>
#include <QStringList>

#include <cstdio>

#ifndef CRTEST_WINDOW_STATIC
#  include <dlfcn.h>
#  include <unistd.h>

#  include <string>
#endif

namespace {

#ifndef CRTEST_WINDOW_STATIC
// The program's own folder, from the kernel: argv[0] may be a bare name found on PATH.
std::string programFolder()
{
    std::string path(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || std::size_t(length) >= path.size())
        return ".";
    path.resize(std::size_t(length));
    return path.substr(0, path.find_last_of('/'));
}
#endif

int runWindow(int argc, char **argv, bool verbose, const TrialLoad &trial)
{
#ifdef CRTEST_WINDOW_STATIC
    return crtest_run_window(argc, argv, verbose, trial.child, trial.report);
#else
    // Beside the program, both in the build folder and installed (where /usr/bin/crtest
    // links to the program in its private folder).
    const std::string module = programFolder() + "/" CRTEST_WINDOW_MODULE;
    void *library = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto entry = library ? reinterpret_cast<CrtestRunWindowFn>(dlsym(library, "crtest_run_window"))
                               : nullptr;
    if (!entry) {
        // The loader's reason usually begins with the file's name; it is said once.
        std::string reason = dlerror();
        if (reason.rfind(module + ": ", 0) == 0)
            reason.erase(0, module.size() + 2);
        std::fprintf(stderr, "crtest: the window cannot be opened: %s could not be loaded: %s\n",
                     module.c_str(), reason.c_str());
        return 1;
    }
    return entry(argc, argv, verbose, trial.child, trial.report);
#endif
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine line = parseCommandLine(arguments);
    switch (line.action) {
    case CommandLine::Action::Help:
    case CommandLine::Action::Version:
        std::fputs(line.text.toLocal8Bit().constData(), stdout);
        return 0;
    case CommandLine::Action::UsageError:
        std::fprintf(stderr, "crtest: %s\n%s\nTry 'crtest --help' for more information.\n",
                     line.text.toLocal8Bit().constData(), usageLine().toLocal8Bit().constData());
        return 2;
    case CommandLine::Action::Check:
    case CommandLine::Action::Window:
        break;
    }
    // The driver's trial load runs beside Qt's start-up, while the program is still small
    // and has no other thread.
    TrialLoad trial = startTrialLoad(BexorLibrary::DefaultName);
    if (line.action == CommandLine::Action::Check)
        return runCheckProgram(argc, argv, line, trial);
    return runWindow(argc, argv, line.verbose, trial);
}
