// Starts crtest --check against the simulated controller many times and times it against
// its 800 ms of waits, from just before the start until it has been reaped.
//
//   crbench_check --program CRTEST --libpath DIR [--runs N]
//
// It has no display: DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are taken away. Exits
// non-zero only when a run breaks (a check that fails, which it does without its driver, or
// hangs); times never fail it.
#include "process.h"

#include <memory>

namespace {

constexpr double WaitsMs = 800, TimeTargetMs = WaitsMs + 10;

// Runs argv to its end; returns it reaped.
std::unique_ptr<Process> run(const std::vector<std::string> &argv, const std::string &libpath)
{
    auto process = std::make_unique<Process>(
            argv, std::vector<std::string>{"LD_LIBRARY_PATH=" + libpath},
            std::vector<std::string>{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "LD_DEBUG",
                                     "QT_LOGGING_RULES"});
    process->reap(false);
    if (!process->endedCleanly())
        process->broken("failed");
    return process;
}

} // namespace

int main(int argc, char *argv[])
{
    std::string program, libpath;
    int runs = 15;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--program")
            program = argv[i + 1];
        else if (option == "--libpath")
            libpath = argv[i + 1];
        else if (option == "--runs")
            runs = std::max(1, std::atoi(argv[i + 1]));
        else
            fail("unknown option " + option);
    }
    if (program.empty() || libpath.empty())
        fail("usage: crbench_check --program CRTEST --libpath DIR [--runs N]");

    // One unmeasured start, so that it does not pay for a cold page cache.
    run({program, "--check"}, libpath);
    // The program started and ended with nothing to do, alternating with the check: what any
    // command of a program that links the window pays before it does anything.
    std::vector<double> checkMs, checkMiB, versionMs;
    for (int i = 0; i < runs; ++i) {
        const auto check = run({program, "--check"}, libpath);
        checkMs.push_back(msBetween(check->started, check->ended));
        checkMiB.push_back(check->peakMiB);
        const auto version = run({program, "--version"}, libpath);
        versionMs.push_back(msBetween(version->started, version->ended));
    }

    const double beyond = summarise(checkMs).median - WaitsMs;
    std::printf("== crtest --check (%d runs, no display) ==\n", runs);
    std::printf("check wall time (ms): %s; beyond its %.0f ms of waits: %.1f; target <= %.0f: %s\n",
                figure(checkMs, 1).c_str(), WaitsMs, beyond, TimeTargetMs,
                beyond + WaitsMs <= TimeTargetMs ? "met" : "NOT MET");
    std::printf("  of which start-up and exit alone, crtest --version (ms): %s; the check's own "
                "work: %.1f\n",
                figure(versionMs, 1).c_str(), beyond - summarise(versionMs).median);
    std::printf("peak RSS (MiB): %s\n", figure(checkMiB, 1).c_str());
    return 0;
}
