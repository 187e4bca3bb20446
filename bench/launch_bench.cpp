// Starts the utility and the bare window alternately, many times, with the launch probe
// preloaded, and compares them: launch to first painted frame, peak resident memory, and
// for the utility the processor time and wake-ups once start-up is over. Given --fork, a
// copy of the utility without its trial helper beside it, which tries the driver in a fork
// of itself instead, takes its turn among them to the first frame.
//
//   crbench_launch --probe LIB --real PROGRAM --bare PROGRAM [--fork PROGRAM] [--dir DIR]
//                  [--libpath DIR] [--runs N] [--idle-runs N] [--idle-seconds S]
//                  [--idle-delay S]
//
// The platform is whatever QT_QPA_PLATFORM (and DISPLAY) say. Exits non-zero only when a
// run breaks: a program that dies, hangs or never paints. Times never fail it.
#include "process.h"

#include <dirent.h>

#include <cstring>

#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <thread>

namespace {

struct Options
{
    std::string probe, real, bare, fork, dir = ".", libpath;
    int runs = 15, idleRuns = 3;
    double idleSeconds = 10;
    // Events the display still owes the utility when its last box closes (the repaint of
    // what the box covered, focus changes) end start-up; idling is counted after them.
    double idleDelaySeconds = 1;
};

// The probe's mode (launch_probe.cpp) and where it reports.
std::vector<std::string> probeEnvironment(const Options &o, const std::string &mode)
{
    std::string path = o.libpath;
    if (const char *old = std::getenv("LD_LIBRARY_PATH"); old && *old)
        path += (path.empty() ? "" : ":") + std::string(old);
    return {"LD_LIBRARY_PATH=" + path, "LD_PRELOAD=" + o.probe, "CRBENCH_PROBE_FD=3",
            "CRBENCH_PROBE_MODE=" + mode};
}

// A probe report, "<word> <monotonic ns> <peak RSS kB> <rest>", timed from the launch.
struct Report
{
    double ms = 0, rssMiB = 0;
    std::string rest;
};

Report expect(Process &child, const std::string &word, int timeoutMs, const char *missing)
{
    const auto line = child.readLine(timeoutMs);
    if (!line || line->rfind(word + ' ', 0) != 0)
        child.broken(missing);
    std::istringstream in(line->substr(word.size()));
    long long at = 0, rssKb = 0;
    Report report;
    in >> at >> rssKb;
    std::getline(in >> std::ws, report.rest);
    report.ms = msBetween(child.started, timeAt(at));
    report.rssMiB = rssKb / 1024.0;
    return report;
}

// One launch to the first painted frame, where the probe ends the program; rest is the
// window's title.
Report launchToFrame(const Options &o, const std::string &program, double *cpuMs)
{
    Process child({program}, probeEnvironment(o, "frame"), {}, true);
    const Report frame = expect(child, "frame", 30000, "no painted frame");
    child.reap(false);
    if (!child.endedCleanly())
        child.broken("did not end cleanly after its first frame");
    *cpuMs = child.cpuMs;
    return frame;
}

// Start-up done: the program first waits for input with no message box open; rest is the
// number of message boxes the probe answered.
Report startUp(Process &child)
{
    expect(child, "frame", 30000, "no painted frame");
    return expect(child, "settled", 60000, "start-up never finished");
}

// Processor ticks of the whole process, and the voluntary and involuntary switches of each
// of its threads; a thread that sleeps in the kernel for good adds to neither.
struct Usage
{
    long long ticks = 0;
    std::map<std::string, long long> switches;
};

Usage usageOf(pid_t pid)
{
    Usage usage;
    const std::string base = "/proc/" + std::to_string(pid);
    std::ifstream stat(base + "/stat");
    const std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    for (int n = 0; n < 13 && fields >> field; ++n)
        if (n >= 11) // utime, stime
            usage.ticks += std::stoll(field);
    if (DIR *tasks = opendir((base + "/task").c_str())) {
        while (dirent *task = readdir(tasks)) {
            if (task->d_name[0] == '.')
                continue;
            std::ifstream status(base + "/task/" + task->d_name + "/status");
            for (std::string row; std::getline(status, row);)
                if (row.find("ctxt_switches:") != std::string::npos)
                    usage.switches[task->d_name] += std::stoll(row.substr(row.find(':') + 1));
        }
        closedir(tasks);
    }
    return usage;
}

// Ticks and thread switches over idleSeconds, after start-up and idleDelaySeconds.
std::pair<double, double> idle(const Options &o)
{
    Process child({o.real}, probeEnvironment(o, "settle"), {}, true);
    startUp(child);
    std::this_thread::sleep_for(std::chrono::duration<double>(o.idleDelaySeconds));
    const Usage before = usageOf(child.pid);
    std::this_thread::sleep_for(std::chrono::duration<double>(o.idleSeconds));
    const Usage after = usageOf(child.pid);
    siginfo_t info{};
    if (waitid(P_PID, id_t(child.pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid)
        child.broken("ended while idle");
    long long switches = 0;
    for (const auto &[task, count] : after.switches) {
        const auto old = before.switches.find(task);
        switches += count - (old == before.switches.end() ? 0 : old->second);
    }
    return {double(after.ticks - before.ticks), double(switches)};
}

void row(const char *figure, const std::vector<double> &real, const std::vector<double> &bare,
         double limit = 0)
{
    const Summary r = summarise(real), b = summarise(bare);
    const double ratio = r.median / b.median;
    char target[32] = "";
    if (limit > 0)
        std::snprintf(target, sizeof target, "<= %.2f %s", limit, ratio <= limit ? "met" : "NOT MET");
    std::printf("%-34s %9.1f %7.1f %7.1f   %9.1f %7.1f %7.1f   %6.3f  %s\n", figure, r.median,
                r.min, r.max, b.median, b.min, b.max, ratio, target);
}

Options parse(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; i += 2) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            fail("missing value after " + arg);
        const std::string value = argv[i + 1];
        if (arg == "--probe") o.probe = value;
        else if (arg == "--real") o.real = value;
        else if (arg == "--bare") o.bare = value;
        else if (arg == "--fork") o.fork = value;
        else if (arg == "--dir") o.dir = value;
        else if (arg == "--libpath") o.libpath = value;
        else if (arg == "--runs") o.runs = std::max(1, std::stoi(value));
        else if (arg == "--idle-runs") o.idleRuns = std::max(0, std::stoi(value));
        else if (arg == "--idle-seconds") o.idleSeconds = std::stod(value);
        else if (arg == "--idle-delay") o.idleDelaySeconds = std::stod(value);
        else fail("unknown option " + arg);
    }
    if (o.probe.empty() || o.real.empty() || o.bare.empty())
        fail("--probe, --real and --bare are required");
    return o;
}

} // namespace

int main(int argc, char **argv)
{
    const Options o = parse(argc, argv);
    // The utility opens its help text from the current folder, so both run from there.
    if (chdir(o.dir.c_str()) != 0)
        fail("cannot enter " + o.dir);
    const char *platform = std::getenv("QT_QPA_PLATFORM");
    std::printf("== launch and memory: utility against bare window, platform %s, %d runs each ==\n",
                platform ? platform : "(default)", o.runs);

    // One unmeasured start of each fills the file cache and the font cache.
    double cpuMs = 0;
    const std::string realTitle = launchToFrame(o, o.real, &cpuMs).rest;
    const std::string bareTitle = launchToFrame(o, o.bare, &cpuMs).rest;
    std::printf("first frames: utility \"%s\", bare \"%s\"\n", realTitle.c_str(), bareTitle.c_str());

    // [0] the utility, [1] the bare window, [2] the utility that forks for its trial; which
    // goes first turns with each run, so that a slow patch of the machine hits all alike.
    std::vector<std::string> programs{o.real, o.bare};
    if (!o.fork.empty()) {
        programs.push_back(o.fork);
        launchToFrame(o, o.fork, &cpuMs);
    }
    const int count = int(programs.size());
    std::vector<double> ms[3], cpu[3], rss[3], settledRss[2], settledMs;
    std::string answered;
    for (int run = 0; run < o.runs; ++run)
        for (int turn = 0; turn < count; ++turn) {
            const int which = (run + turn) % count;
            const Report frame = launchToFrame(o, programs[size_t(which)], &cpuMs);
            ms[which].push_back(frame.ms);
            cpu[which].push_back(cpuMs);
            rss[which].push_back(frame.rssMiB);
        }
    for (int run = 0; run < o.runs; ++run)
        for (const int which : {run % 2, 1 - run % 2}) {
            Process child({which ? o.bare : o.real}, probeEnvironment(o, "settle"), {}, true);
            const Report settled = startUp(child);
            settledRss[which].push_back(settled.rssMiB);
            if (which == 0) {
                settledMs.push_back(settled.ms);
                answered = settled.rest;
            }
        }

    // A real X server shows what the utility costs beside the window it draws; offscreen
    // nothing is drawn, so the fixed costs weigh more there.
    const bool x11 = platform && std::strcmp(platform, "xcb") == 0;
    std::printf("%-34s %9s %7s %7s   %9s %7s %7s   %6s  %s\n", "figure", "utility", "min",
                "max", "bare", "min", "max", "ratio", "target");
    row("launch to first frame (ms)", ms[0], ms[1], x11 ? 1.05 : 1.10);
    row("  processor time to it (ms)", cpu[0], cpu[1], x11 ? 1.05 : 0);
    row("peak RSS at first frame (MiB)", rss[0], rss[1]);
    row("peak RSS start-up done (MiB)", settledRss[0], settledRss[1], 1.10);
    if (count == 3) {
        row("launch, trial by fork (ms)", ms[2], ms[1]);
        row("  processor time to it (ms)", cpu[2], cpu[1]);
        std::printf("utility with its trial helper against the one that forks: launch %.3f, "
                    "processor time %.3f (ratios of the medians)\n",
                    summarise(ms[0]).median / summarise(ms[2]).median,
                    summarise(cpu[0]).median / summarise(cpu[2]).median);
    }
    const Summary settle = summarise(settledMs);
    std::printf("utility start-up done after %.1f ms median (min %.1f, max %.1f), "
                "%s message boxes answered\n",
                settle.median, settle.min, settle.max, answered.c_str());

    if (o.idleRuns > 0) {
        std::vector<double> ticks, switches;
        for (int run = 0; run < o.idleRuns; ++run) {
            const auto [t, s] = idle(o);
            ticks.push_back(t);
            switches.push_back(s);
        }
        const Summary t = summarise(ticks), s = summarise(switches);
        std::printf("idle %.0f s after start-up, %d runs: CPU ticks median %.0f (min %.0f, max "
                    "%.0f), target 0: %s; thread wake-ups median %.0f (min %.0f, max %.0f), "
                    "0 means no timer runs\n",
                    o.idleSeconds, o.idleRuns, t.median, t.min, t.max,
                    t.max == 0 ? "met" : "NOT MET", s.median, s.min, s.max);
    }
    return 0;
}
