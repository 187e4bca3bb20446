// Starts the utility and the bare window alternately, many times, with the launch probe
// preloaded, and compares them: launch to first painted frame, peak resident memory, and
// for the utility the processor time and wake-ups once start-up is over.
//
//   crbench_launch --probe LIB --real PROGRAM --bare PROGRAM [--dir DIR] [--libpath DIR]
//                  [--runs N] [--idle-runs N] [--idle-seconds S] [--idle-delay S]
//                  [--label TEXT]
//
// The platform is whatever QT_QPA_PLATFORM (and DISPLAY) say. Exits non-zero only when a
// run breaks: a program that dies, hangs or never paints. Times never fail it.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace {

struct Options
{
    std::string probe, real, bare, dir = ".", libpath, label;
    int runs = 15;
    int idleRuns = 3;
    double idleSeconds = 10;
    // Events the display still owes the utility when its last box closes (the repaint of
    // what the box covered, focus changes) end start-up; idling is counted after them.
    double idleDelaySeconds = 1;
};

long long monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

[[noreturn]] void fail(const std::string &why)
{
    std::fprintf(stderr, "crbench_launch: %s\n", why.c_str());
    std::exit(1);
}

struct Child
{
    pid_t pid = -1;
    int reportFd = -1;
    long long started = 0;
    std::string name;
    std::string buffered;

    // Next report line, or nothing if the program ended or stayed silent too long.
    std::optional<std::string> readLine(int timeoutMs)
    {
        const long long deadline = monotonicNs() + timeoutMs * 1000000LL;
        for (;;) {
            const auto newline = buffered.find('\n');
            if (newline != std::string::npos) {
                std::string line = buffered.substr(0, newline);
                buffered.erase(0, newline + 1);
                return line;
            }
            const long long left = (deadline - monotonicNs()) / 1000000;
            if (left <= 0)
                return std::nullopt;
            pollfd p{reportFd, POLLIN, 0};
            if (poll(&p, 1, int(left)) <= 0)
                continue;
            char chunk[512];
            const ssize_t n = read(reportFd, chunk, sizeof chunk);
            if (n <= 0)
                return std::nullopt;
            buffered.append(chunk, size_t(n));
        }
    }

    // Processor time the program used, user and system, once finish() has reaped it.
    double cpuMs = 0;

    // Kills the program if it still runs; returns its wait status.
    int finish(bool kill)
    {
        if (kill)
            ::kill(pid, SIGKILL);
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
                + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
        close(reportFd);
        return status;
    }
};

std::string stderrLog()
{
    return std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp")
           + "/crbench_launch_" + std::to_string(getpid()) + ".log";
}

Child spawn(const Options &options, const std::string &program, const char *mode)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        fail("pipe failed");

    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("LD_PRELOAD=", 0) == 0 || entry.rfind("CRBENCH_PROBE_", 0) == 0
            || entry.rfind("LD_LIBRARY_PATH=", 0) == 0)
            continue;
        env.push_back(entry);
    }
    const char *oldPath = std::getenv("LD_LIBRARY_PATH");
    std::string path = options.libpath;
    if (oldPath && *oldPath) {
        if (!path.empty())
            path += ':';
        path += oldPath;
    }
    env.push_back("LD_LIBRARY_PATH=" + path);
    env.push_back("LD_PRELOAD=" + options.probe);
    env.push_back("CRBENCH_PROBE_FD=3");
    env.push_back(std::string("CRBENCH_PROBE_MODE=") + mode);
    std::vector<char *> envp;
    for (std::string &entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, stderrLog().c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);

    std::string programCopy = program;
    char *argv[] = {programCopy.data(), nullptr};
    Child child;
    child.name = program;
    child.started = monotonicNs();
    if (posix_spawn(&child.pid, program.c_str(), &actions, nullptr, argv, envp.data()) != 0)
        fail("cannot start " + program);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    child.reportFd = fds[0];
    return child;
}

[[noreturn]] void broken(Child &child, const std::string &what)
{
    const int status = child.finish(true);
    std::ifstream in(stderrLog());
    std::stringstream text;
    text << in.rdbuf();
    fail(child.name + ": " + what + " (wait status " + std::to_string(status) + ")\n"
         + text.str());
}

std::vector<std::string> fields(const std::string &line)
{
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string word; in >> word;)
        out.push_back(word);
    return out;
}

struct Frame
{
    double ms;
    double cpuMs;
    double rssMiB;
    long controls;
    std::string title;
};

Frame launchToFrame(const Options &options, const std::string &program)
{
    Child child = spawn(options, program, "frame");
    const auto line = child.readLine(30000);
    if (!line || line->rfind("frame ", 0) != 0)
        broken(child, "no painted frame");
    std::istringstream in(*line);
    std::string word;
    long long at = 0, rssKb = 0;
    Frame frame{};
    in >> word >> at >> rssKb >> frame.controls;
    std::getline(in >> std::ws, frame.title);
    frame.ms = (at - child.started) / 1e6;
    frame.rssMiB = rssKb / 1024.0;
    const int status = child.finish(false);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        broken(child, "did not end cleanly after its first frame");
    frame.cpuMs = child.cpuMs;
    return frame;
}

struct Settled
{
    double ms;
    double rssMiB;
    int answered;
};

Settled startUp(const Options &options, const std::string &program, Child &child)
{
    child = spawn(options, program, "settle");
    const auto frame = child.readLine(30000);
    if (!frame || frame->rfind("frame ", 0) != 0)
        broken(child, "no painted frame");
    const auto line = child.readLine(60000);
    if (!line || line->rfind("settled ", 0) != 0)
        broken(child, "start-up never finished");
    const auto f = fields(*line);
    return {(std::stoll(f.at(1)) - child.started) / 1e6, std::stol(f.at(2)) / 1024.0,
            std::stoi(f.at(3))};
}

// Processor ticks of the whole process and voluntary plus involuntary switches of each of
// its threads; a thread that sleeps in the kernel for good adds to neither.
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
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    const auto after = text.rfind(')');
    const auto f = fields(text.substr(after + 2));
    usage.ticks = std::stoll(f.at(11)) + std::stoll(f.at(12)); // utime, stime
    if (DIR *tasks = opendir((base + "/task").c_str())) {
        while (dirent *task = readdir(tasks)) {
            if (task->d_name[0] == '.')
                continue;
            std::ifstream status(base + "/task/" + task->d_name + "/status");
            long long total = 0;
            for (std::string row; std::getline(status, row);)
                if (row.find("ctxt_switches:") != std::string::npos)
                    total += std::stoll(row.substr(row.find(':') + 1));
            usage.switches[task->d_name] = total;
        }
        closedir(tasks);
    }
    return usage;
}

struct Idle
{
    long long ticks;
    long long switches;
};

Idle idleAfterStartUp(const Options &options, Settled *settled)
{
    Child child;
    *settled = startUp(options, options.real, child);
    std::this_thread::sleep_for(std::chrono::duration<double>(options.idleDelaySeconds));
    const Usage before = usageOf(child.pid);
    std::this_thread::sleep_for(std::chrono::duration<double>(options.idleSeconds));
    const Usage after = usageOf(child.pid);
    if (waitpid(child.pid, nullptr, WNOHANG) != 0)
        broken(child, "ended while idle");
    child.finish(true);
    Idle idle{after.ticks - before.ticks, 0};
    for (const auto &[task, count] : after.switches) {
        const auto old = before.switches.find(task);
        idle.switches += count - (old == before.switches.end() ? 0 : old->second);
    }
    return idle;
}

struct Summary
{
    double median, min, max;
};

Summary summarise(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back()};
}

void row(const char *figure, const Summary &real, const Summary &bare, const char *target,
         double limit)
{
    const double ratio = real.median / bare.median;
    std::printf("%-34s %9.1f %7.1f %7.1f   %9.1f %7.1f %7.1f   %6.3f  %-8s %s\n", figure,
                real.median, real.min, real.max, bare.median, bare.min, bare.max, ratio, target,
                *target == 0 ? "" : ratio <= limit ? "met" : "NOT MET");
}

Options parse(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            fail("missing value after " + arg);
        const std::string value = argv[++i];
        if (arg == "--probe") o.probe = value;
        else if (arg == "--real") o.real = value;
        else if (arg == "--bare") o.bare = value;
        else if (arg == "--dir") o.dir = value;
        else if (arg == "--libpath") o.libpath = value;
        else if (arg == "--label") o.label = value;
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
    const Options options = parse(argc, argv);
    // The utility opens its help text from the current folder, so both run from there.
    if (chdir(options.dir.c_str()) != 0)
        fail("cannot enter " + options.dir);
    const char *platform = std::getenv("QT_QPA_PLATFORM");
    std::printf("== launch and memory: %s, platform %s, %d runs each ==\n",
                options.label.c_str(), platform ? platform : "(default)", options.runs);

    // One unmeasured start of each fills the file cache and the font cache.
    const Frame realSample = launchToFrame(options, options.real);
    const Frame bareSample = launchToFrame(options, options.bare);
    std::printf("first window: utility \"%s\" with %ld child widgets, bare \"%s\" with %ld\n",
                realSample.title.c_str(), realSample.controls, bareSample.title.c_str(),
                bareSample.controls);
    if (realSample.controls != bareSample.controls)
        std::printf("WARNING: the bare window no longer has as many controls as the utility; "
                    "bench/bare_window.cpp must follow the window's layout\n");

    std::vector<double> realMs, bareMs, pairRatios, realCpu, bareCpu, realRss, bareRss, realSettledRss, bareSettledRss,
            realSettledMs;
    for (int run = 0; run < options.runs; ++run) {
        // Alternate which goes first, so a slow patch of the machine hits both alike.
        for (int turn = 0; turn < 2; ++turn) {
            const bool real = (run + turn) % 2 == 0;
            const Frame frame = launchToFrame(options, real ? options.real : options.bare);
            (real ? realMs : bareMs).push_back(frame.ms);
            (real ? realCpu : bareCpu).push_back(frame.cpuMs);
            (real ? realRss : bareRss).push_back(frame.rssMiB);
        }
        pairRatios.push_back(realMs.back() / bareMs.back());
    }
    int answered = -1;
    for (int run = 0; run < options.runs; ++run) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool real = (run + turn) % 2 == 0;
            Child child;
            const Settled settled = startUp(options, real ? options.real : options.bare, child);
            child.finish(true);
            (real ? realSettledRss : bareSettledRss).push_back(settled.rssMiB);
            if (real) {
                realSettledMs.push_back(settled.ms);
                answered = settled.answered;
            }
        }
    }

    std::printf("%-34s %9s %7s %7s   %9s %7s %7s   %6s  %s\n", "figure", "utility", "min",
                "max", "bare", "min", "max", "ratio", "target");
    row("launch to first frame (ms)", summarise(realMs), summarise(bareMs), "<= 1.10", 1.10);
    row("  processor time to it (ms)", summarise(realCpu), summarise(bareCpu), "", 1e9);
    row("peak RSS at first frame (MiB)", summarise(realRss), summarise(bareRss), "<= 1.15", 1.15);
    row("peak RSS start-up done (MiB)", summarise(realSettledRss), summarise(bareSettledRss),
        "<= 1.15", 1.15);
    const Summary pairs = summarise(pairRatios);
    std::printf("launch ratio of each back-to-back pair: median %.3f (min %.3f, max %.3f)\n",
                pairs.median, pairs.min, pairs.max);
    const Summary settle = summarise(realSettledMs);
    std::printf("utility start-up done after %.1f ms median (min %.1f, max %.1f), "
                "%d message boxes answered\n",
                settle.median, settle.min, settle.max, answered);

    if (options.idleRuns > 0) {
        std::vector<double> ticks, switches;
        for (int run = 0; run < options.idleRuns; ++run) {
            Settled settled{};
            const Idle idle = idleAfterStartUp(options, &settled);
            ticks.push_back(double(idle.ticks));
            switches.push_back(double(idle.switches));
        }
        const Summary t = summarise(ticks);
        const Summary s = summarise(switches);
        std::printf("idle %.0f s after start-up, %d runs: CPU ticks median %.0f (min %.0f, max "
                    "%.0f), target 0: %s; thread wake-ups median %.0f (min %.0f, max %.0f), "
                    "0 means no timer runs\n",
                    options.idleSeconds, options.idleRuns, t.median, t.min, t.max,
                    t.max == 0 ? "met" : "NOT MET", s.median, s.min, s.max);
    }
    std::remove(stderrLog().c_str());
    return 0;
}
