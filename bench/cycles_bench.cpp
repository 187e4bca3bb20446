// The cycle run's own cost, beyond its reads and waits, and its memory over a long run.
//
//   crbench_cycles --program CRTEST --libpath DIR --dir FOLDER [--runs N] [--cycles N]
//                  [--short N] [--long N]
//
// In process: runCycles on a driver that answers at once (a drawer opens on the first read
// after its kick and is closed on the two after), with the program's own waits at an interval
// of 0, so that all the time taken is the run's: the controller model, the looks for a
// signal, the tallies, the progress line and the CSV rows. Four drawers, --cycles each; the
// median of --runs runs, without output and with the terminal's progress line (to /dev/null)
// and CSV rows synced to a file in FOLDER. The processor time is the run's work; the wall
// time adds the waits for the disk to take each row, which a real run makes inside its
// interval between reads.
//
// Processes: crtest --check --kick 0 --cycles --short, then --long, against the simulator
// with --interval 0, BEXOR_SIM_OPEN_MS=1 and --csv /dev/null, and each one's peak resident
// memory from wait4.
//
// Exits non-zero only when a run breaks (a cycle that does not open, a program that fails);
// the figures never fail it.
#include "cycleoutput.h"
#include "drawerdriver.h"
#include "process.h"
#include "signalwaits.h"

#include <ctime>

namespace {

constexpr double OwnWorkTargetMs = 1.0, MemoryTargetMiB = 1.0;

// Closed before its kick, open on the read after it, closed on the two after that; each kick
// counted as a good opening.
struct InstantDriver : DrawerDriver
{
    std::array<int, DrawerCount> sinceKick{3, 3, 3, 3, 3, 3, 3, 3};
    uint32_t goodOpens = 0;
    int32_t openBexor() override { return 0; }
    int32_t closeBexor() override { return 0; }
    int32_t drawerOpen(int32_t drawer) override
    {
        ++goodOpens;
        return sinceKick[drawer] = 0;
    }
    int32_t drawerState(int32_t drawer) override
    {
        return 16 * drawer + (++sinceKick[drawer] != 1);
    }
    int32_t retrieveStatistics(int16_t, int32_t, uint8_t *buffer, int16_t) override
    {
        std::fill(buffer, buffer + 106, 0);
        for (int i = 0; i < 4; ++i)
            buffer[98 + i] = uint8_t(goodOpens >> (8 * i));
        return 0;
    }
};

double processorMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

struct Cost
{
    double wallUs, processorUs;
};

// What a drawer's cycle took, over one whole run: its wall time and the processor's.
Cost cycleCost(int cycles, std::FILE *progress, bool terminal, std::FILE *csv)
{
    InstantDriver driver;
    SignalWaits waits;
    CycleOutput output(progress, terminal, csv);
    const CycleSetup setup{{&driver, {}, "instant", true, {0, 1, 2, 3}, 0}, cycles,
                           std::chrono::milliseconds(0), std::chrono::seconds(2),
                           std::chrono::minutes(1)};
    const Clock::time_point start = Clock::now();
    const double processorStart = processorMs();
    const Report report = runCycles(setup, waits, output);
    const Cost cost{msBetween(start, Clock::now()) * 1000 / (4.0 * cycles),
                    (processorMs() - processorStart) * 1000 / (4.0 * cycles)};
    if (report.cycles.done() != 4 * cycles || exitStatusOf(report) != 0)
        fail("the cycles on the instant driver did not all pass");
    return cost;
}

double peakMiB(const std::string &program, const std::string &libpath, int cycles)
{
    Process run({program, "--check", "--kick", "0", "--cycles", std::to_string(cycles),
                 "--interval", "0", "--csv", "/dev/null"},
                {"LD_LIBRARY_PATH=" + libpath, "BEXOR_SIM_OPEN_MS=1"},
                {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QT_LOGGING_RULES"});
    run.reap(false);
    if (!run.endedCleanly())
        run.broken("failed");
    std::printf("  %d cycles: %.1f s, peak RSS %.2f MiB\n", cycles,
                msBetween(run.started, run.ended) / 1000, run.peakMiB);
    return run.peakMiB;
}

} // namespace

int main(int argc, char *argv[])
{
    std::string program, libpath, dir;
    int runs = 9, cycles = 2500, shortRun = 100, longRun = 100000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i], value = argv[i + 1];
        if (option == "--program")
            program = value;
        else if (option == "--libpath")
            libpath = value;
        else if (option == "--dir")
            dir = value;
        else if (option == "--runs")
            runs = std::max(1, std::stoi(value));
        else if (option == "--cycles")
            cycles = std::max(1, std::stoi(value));
        else if (option == "--short")
            shortRun = std::max(1, std::stoi(value));
        else if (option == "--long")
            longRun = std::max(1, std::stoi(value));
        else
            fail("unknown option " + option);
    }
    if (program.empty() || libpath.empty() || dir.empty())
        fail("usage: crbench_cycles --program CRTEST --libpath DIR --dir FOLDER [--runs N] "
             "[--cycles N] [--short N] [--long N]");

    std::FILE *devNull = std::fopen("/dev/null", "w");
    const std::string rows = dir + "/crbench_cycles.csv";
    std::vector<double> bareWall, bareProcessor, shownWall, shownProcessor;
    cycleCost(cycles, devNull, false, nullptr); // unmeasured: the first run pays for the pages
    for (int i = 0; i < runs; ++i) {
        const Cost bare = cycleCost(cycles, devNull, false, nullptr);
        std::FILE *csv = std::fopen(rows.c_str(), "w");
        if (!csv)
            fail("cannot write " + rows);
        const Cost shown = cycleCost(cycles, devNull, true, csv);
        std::fclose(csv);
        bareWall.push_back(bare.wallUs);
        bareProcessor.push_back(bare.processorUs);
        shownWall.push_back(shown.wallUs);
        shownProcessor.push_back(shown.processorUs);
    }
    std::remove(rows.c_str());
    const double work = summarise(shownProcessor).median / 1000;
    std::printf("== the cycle run's own work, in process (4 drawers x %d cycles, %d runs, an "
                "instant driver, interval 0) ==\n", cycles, runs);
    std::printf("per cycle and drawer, no output (us): wall %s, processor %s\n",
                figure(bareWall, 2).c_str(), figure(bareProcessor, 2).c_str());
    std::printf("per cycle and drawer, progress line and CSV rows synced to %s (us): wall %s, "
                "processor %s; target <= %.0f ms of processor time: %s\n", dir.c_str(),
                figure(shownWall, 2).c_str(), figure(shownProcessor, 2).c_str(), OwnWorkTargetMs,
                work <= OwnWorkTargetMs ? "met" : "NOT MET");

    std::printf("== memory over a long run: crtest --check --kick 0 --cycles N --interval 0 "
                "--csv /dev/null, BEXOR_SIM_OPEN_MS=1 ==\n");
    const double small = peakMiB(program, libpath, shortRun);
    const double large = peakMiB(program, libpath, longRun);
    std::printf("peak RSS growth from %d to %d cycles (MiB): %.2f; target <= %.0f: %s\n", shortRun,
                longRun, large - small, MemoryTargetMiB,
                large - small <= MemoryTargetMiB ? "met" : "NOT MET");
    return 0;
}
