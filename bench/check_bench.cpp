// Starts crtest --check against the simulated controller and a bare Qt Core program
// alternately, and compares them: the check's wall time against its 800 ms of waits, the
// peak resident memory of the two (from wait4), and whether the check mapped any GUI
// library or platform plugin (one more run under LD_DEBUG=files).
//
//   crbench_check --program CRTEST --bare PROGRAM --libpath DIR [--runs N]
//
// Neither has a display: DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are taken away.
// Exits non-zero only when a run breaks (a program that fails or hangs) or the check maps
// a GUI library; times and memory never fail it.
#include "process.h"

#include <memory>

namespace {

constexpr double WaitsMs = 800, TimeTargetMs = WaitsMs + 25, MemoryTarget = 1.2;

// Runs argv to its end; returns it reaped.
std::unique_ptr<Process> run(const std::vector<std::string> &argv, const std::string &libpath,
                             bool traced = false)
{
    std::vector<std::string> set{"LD_LIBRARY_PATH=" + libpath};
    if (traced)
        set.push_back("LD_DEBUG=files");
    auto process = std::make_unique<Process>(
            argv, set, std::vector<std::string>{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM",
                                                "LD_DEBUG", "QT_LOGGING_RULES"});
    process->reap(false);
    if (!process->endedCleanly())
        process->broken("failed");
    return process;
}

std::string figure(const std::vector<double> &values)
{
    const Summary s = summarise(values);
    char text[64];
    std::snprintf(text, sizeof text, "%.1f (%.1f-%.1f)", s.median, s.min, s.max);
    return text;
}

} // namespace

int main(int argc, char *argv[])
{
    std::string program, bare, libpath;
    int runs = 15;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--program")
            program = argv[i + 1];
        else if (option == "--bare")
            bare = argv[i + 1];
        else if (option == "--libpath")
            libpath = argv[i + 1];
        else if (option == "--runs")
            runs = std::max(1, std::atoi(argv[i + 1]));
        else
            fail("unknown option " + option);
    }
    if (program.empty() || bare.empty() || libpath.empty())
        fail("usage: crbench_check --program CRTEST --bare PROGRAM --libpath DIR [--runs N]");

    // One unmeasured start of each, so that neither pays for a cold page cache.
    run({program, "--check"}, libpath);
    run({bare}, libpath);
    std::vector<double> checkMs, bareMs, checkMiB, bareMiB;
    for (int i = 0; i < runs; ++i) {
        const auto check = run({program, "--check"}, libpath);
        const auto yardstick = run({bare}, libpath);
        checkMs.push_back(msBetween(check->started, check->ended));
        checkMiB.push_back(check->peakMiB);
        bareMs.push_back(msBetween(yardstick->started, yardstick->ended));
        bareMiB.push_back(yardstick->peakMiB);
    }
    const std::string mapped = run({program, "--check"}, libpath, true)->errors();
    if (mapped.find("libbexor.so") == std::string::npos)
        fail("the check did not load the driver from " + libpath);
    std::string gui;
    for (const char *library : {"libQt6Gui", "libQt6Widgets", "/platforms/", "crtest-window"})
        if (mapped.find(library) != std::string::npos)
            gui += (gui.empty() ? "" : ", ") + std::string(library);

    const double beyond = summarise(checkMs).median - WaitsMs;
    const double ratio = summarise(checkMiB).median / summarise(bareMiB).median;
    std::printf("== crtest --check against a bare QCoreApplication program (%d runs each, "
                "alternating, no display) ==\n", runs);
    std::printf("check wall time (ms): %s; beyond its %.0f ms of waits: %.1f; target <= %.0f: %s\n",
                figure(checkMs).c_str(), WaitsMs, beyond, TimeTargetMs,
                beyond + WaitsMs <= TimeTargetMs ? "met" : "NOT MET");
    std::printf("bare program wall time (ms): %s\n", figure(bareMs).c_str());
    std::printf("peak RSS (MiB): check %s, bare %s; ratio of the medians %.3f; target <= %.1f: %s\n",
                figure(checkMiB).c_str(), figure(bareMiB).c_str(), ratio, MemoryTarget,
                ratio <= MemoryTarget ? "met" : "NOT MET");
    std::printf("GUI libraries or platform plugins mapped by the check (LD_DEBUG=files): %s\n",
                gui.empty() ? "none" : gui.c_str());
    return gui.empty() ? 0 : 1;
}
