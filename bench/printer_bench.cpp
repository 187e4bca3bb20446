// Times the printer driver's state read against the simulated printer on a pseudo-terminal:
// what a DrawerState call costs beyond the printer's own answer, which the printer's log
// gives (from the request's arrival to the answer's departure).
//
//   crbench_printer --library LIBBEXOR --simulator SIMPRINTER.PY [--reads N]
//
// Exits non-zero only when a read breaks (an answer other than drawer 0 closed); times
// never fail it.
#include "process.h"

#include "../drawer/apideclarations.h"

#include <dlfcn.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

constexpr double TargetMs = 2;

// The simulated printer, its standard input held open (it ends when that closes) and its
// first line, the terminal's path, read from its standard output.
struct SimulatedPrinter {
    pid_t pid = -1;
    int input = -1;
    std::string device;

    SimulatedPrinter(const std::string &script, const std::string &log)
    {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
            fail("cannot make pipes for the simulated printer");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        const char *argv[] = {"python3", script.c_str(), "--log", log.c_str(), nullptr};
        if (posix_spawnp(&pid, "python3", &actions, nullptr, const_cast<char **>(argv), environ) != 0)
            fail("cannot start python3 " + script);
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        input = in[1];
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n')
            device += c;
        close(out[0]);
        if (device.empty())
            fail("the simulated printer gave no terminal");
    }
    ~SimulatedPrinter()
    {
        close(input);
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) { }
    }
};

template <typename F> F resolve(void *library, const char *name)
{
    auto f = reinterpret_cast<F>(dlsym(library, name));
    if (!f)
        fail(std::string("the driver has no ") + name);
    return f;
}

} // namespace

int main(int argc, char *argv[])
{
    std::string library, script;
    int reads = 500;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--library")
            library = argv[i + 1];
        else if (option == "--simulator")
            script = argv[i + 1];
        else if (option == "--reads")
            reads = std::max(1, std::atoi(argv[i + 1]));
        else
            fail("unknown option " + option);
    }
    if (library.empty() || script.empty())
        fail("usage: crbench_printer --library LIBBEXOR --simulator SIMPRINTER.PY [--reads N]");

    char folder[] = "/tmp/crbench-printer-XXXXXX";
    if (!mkdtemp(folder))
        fail("cannot make a scratch folder");
    const std::string log = std::string(folder) + "/printer.log";
    std::vector<double> callMs, beyondMs;
    {
        SimulatedPrinter printer(script, log);
        setenv("BEXOR_PRINTER_DEVICE", printer.device.c_str(), 1);
        setenv("BEXOR_PRINTER_STATE_DIR", folder, 1);
        void *driver = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!driver)
            fail(dlerror());
        const auto open = resolve<OpenBexorFn>(driver, "OpenBexor");
        const auto state = resolve<DrawerStateFn>(driver, "DrawerState");
        const auto close = resolve<CloseBexorFn>(driver, "CloseBexor");
        if (const int32_t status = open(); status != 0)
            fail("OpenBexor returned " + std::to_string(status));
        for (int i = 0; i < reads; ++i) {
            const Clock::time_point before = Clock::now();
            const int32_t code = state(0);
            callMs.push_back(msBetween(before, Clock::now()));
            if (code != 1)
                fail("DrawerState(0) returned " + std::to_string(code) + ", not 1 (closed)");
        }
        close();
    }

    // The printer's own part of each read: from the request's arrival to the answer's
    // departure. The first request and answer are the open's.
    std::vector<long long> arrived, answered;
    std::ifstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        long long ns = 0;
        std::string way;
        fields >> ns >> way;
        (way == "rx" ? arrived : answered).push_back(ns);
    }
    if (arrived.size() != size_t(reads) + 1 || answered.size() != arrived.size())
        fail("the printer's log does not show one request and one answer a read");
    for (int i = 0; i < reads; ++i)
        beyondMs.push_back(callMs[i] - (answered[i + 1] - arrived[i + 1]) / 1e6);
    std::filesystem::remove_all(folder);

    const double beyond = summarise(beyondMs).median;
    std::printf("== printer driver: DrawerState on the simulated printer (%d reads) ==\n", reads);
    std::printf("state read (ms): %s\n", figure(callMs, 3).c_str());
    std::printf("beyond the printer's own answer (ms): %s; target <= %.0f: %s\n",
                figure(beyondMs, 3).c_str(), TargetMs, beyond <= TargetMs ? "met" : "NOT MET");
    return 0;
}
