#include "trialload.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdint>

namespace {

// The write end of the pipe to the program.
int faultReport = -1;

// Runs when the loader faults: hands the program the faulting address and this process's
// mappings, so that it can name the file the address lies in. Nothing but system calls
// here. The handler is reset on entry, so the faulting access is made again on return and
// ends the process by the same signal.
void reportFault(int, siginfo_t *info, void *)
{
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    const int maps = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    char chunk[4096];
    ssize_t length = write(faultReport, &address, sizeof address);
    while (length > 0 && maps >= 0 && (length = read(maps, chunk, sizeof chunk)) > 0)
        length = write(faultReport, chunk, size_t(length));
}

} // namespace

void runTrialLoad(const char *name, int report)
{
    faultReport = report;
    struct sigaction action = {};
    action.sa_sigaction = reportFault;
    action.sa_flags = SA_SIGINFO | SA_RESETHAND;
    sigaction(SIGBUS, &action, nullptr);
    sigaction(SIGSEGV, &action, nullptr);
    // The binding's own flags, so that the same constructors run and the same symbols bind.
    _exit(dlopen(name, RTLD_NOW | RTLD_LOCAL) ? 0 : 1);
}
