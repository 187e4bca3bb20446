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
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

extern char **environ;

namespace {

constexpr double WaitsMs = 800, TimeTargetMs = WaitsMs + 25, MemoryTarget = 1.2;

[[noreturn]] void fail(const std::string &why)
{
    std::fprintf(stderr, "crbench_check: %s\n", why.c_str());
    std::exit(1);
}

double monotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

struct Run
{
    double ms = 0;
    double peakMiB = 0;
    std::string err;
};

std::vector<std::string> environment(const std::string &libpath, bool debugFiles)
{
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        const std::string entry = *e;
        for (const char *drop : {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=",
                                 "LD_LIBRARY_PATH=", "LD_DEBUG=", "QT_LOGGING_RULES="})
            if (entry.rfind(drop, 0) == 0)
                goto skip;
        env.push_back(entry);
    skip:;
    }
    env.push_back("LD_LIBRARY_PATH=" + libpath);
    if (debugFiles)
        env.push_back("LD_DEBUG=files");
    return env;
}

// Runs argv to its end with standard output thrown away; keeps standard error if asked.
Run run(const std::vector<std::string> &argv, const std::vector<std::string> &env, bool keepErr)
{
    std::vector<char *> args, envp;
    for (const auto &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    for (const auto &e : env)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);

    int pipeFds[2] = {-1, -1};
    if (keepErr && pipe(pipeFds) != 0)
        fail("no pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (keepErr) {
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    }
    Run result;
    const double start = monotonicMs();
    pid_t pid = 0;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0)
        fail("cannot start " + argv[0]);
    posix_spawn_file_actions_destroy(&actions);
    if (keepErr) {
        close(pipeFds[1]);
        char buffer[65536];
        for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
            result.err.append(buffer, std::size_t(n));
        close(pipeFds[0]);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        fail("lost " + argv[0]);
    result.ms = monotonicMs() - start;
    result.peakMiB = usage.ru_maxrss / 1024.0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fail(argv[0] + " failed with status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1));
    return result;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string figure(const std::vector<double> &values, const char *format)
{
    char text[128];
    std::snprintf(text, sizeof text, format, median(values),
                  *std::min_element(values.begin(), values.end()),
                  *std::max_element(values.begin(), values.end()));
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

    const auto env = environment(libpath, false);
    // One unmeasured start of each, so that neither pays for a cold page cache.
    run({program, "--check"}, env, false);
    run({bare}, env, false);
    std::vector<double> checkMs, bareMs, checkMiB, bareMiB;
    for (int i = 0; i < runs; ++i) {
        const Run check = run({program, "--check"}, env, false);
        const Run yardstick = run({bare}, env, false);
        checkMs.push_back(check.ms);
        checkMiB.push_back(check.peakMiB);
        bareMs.push_back(yardstick.ms);
        bareMiB.push_back(yardstick.peakMiB);
    }
    const Run traced = run({program, "--check"}, environment(libpath, true), true);
    std::vector<std::string> gui;
    for (const char *library : {"libQt6Gui", "libQt6Widgets", "/platforms/", "crtest-window"})
        if (traced.err.find(library) != std::string::npos)
            gui.push_back(library);
    if (traced.err.find("libbexor.so") == std::string::npos)
        fail("the check did not load the driver from " + libpath);

    const double timeMedian = median(checkMs);
    const double ratio = median(checkMiB) / median(bareMiB);
    std::printf("== crtest --check against a bare QCoreApplication program (%d runs each, alternating, no display) ==\n",
                runs);
    std::printf("check wall time (ms): %s; beyond its %.0f ms of waits: %.1f; target <= %.0f: %s\n",
                figure(checkMs, "%.1f (%.1f-%.1f)").c_str(), WaitsMs, timeMedian - WaitsMs,
                TimeTargetMs, timeMedian <= TimeTargetMs ? "met" : "NOT MET");
    std::printf("bare program wall time (ms): %s\n", figure(bareMs, "%.1f (%.1f-%.1f)").c_str());
    std::printf("peak RSS (MiB): check %s, bare %s; ratio of the medians %.3f; target <= %.1f: %s\n",
                figure(checkMiB, "%.1f (%.1f-%.1f)").c_str(), figure(bareMiB, "%.1f (%.1f-%.1f)").c_str(),
                ratio, MemoryTarget, ratio <= MemoryTarget ? "met" : "NOT MET");
    std::string loaded;
    for (const auto &name : gui)
        loaded += (loaded.empty() ? "" : ", ") + name;
    std::printf("GUI libraries or platform plugins mapped by the check (LD_DEBUG=files): %s\n",
                loaded.empty() ? "none" : loaded.c_str());
    return gui.empty() ? 0 : 1;
}
