#include "driverloader.h"

#ifdef _WIN32
#  include <windows.h>
#else
#  include <dlfcn.h>
#  include <fcntl.h>
#  include <sys/wait.h>
#  include <unistd.h>

#  include <cerrno>
#  include <csignal>
#  include <cstdio>
#  include <cstring>
#  include <sstream>
#  include <vector>
#endif

namespace {

#ifdef _WIN32
std::string toUtf8(const wchar_t *text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    return result;
}

std::string lastSystemError()
{
    const DWORD code = GetLastError();
    wchar_t *text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                           | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string message = text ? toUtf8(text) : "error " + std::to_string(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    return message;
}

// The folder of the program file, which the library search visits first, with its final
// separator: "C:" alone would name the current directory of drive C.
std::wstring programFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const auto separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
}

void *openLibrary(const std::string &name, std::string *error, TrialLoad *)
{
    const int size = MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, nullptr, 0);
    std::wstring wide(size > 0 ? size : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, wide.data(), size);
    // The system's ordinary search, which finds the driver where its installer put it: the
    // program's folder, the system folders, the Windows folder or a folder on PATH. Only the
    // current directory is taken out: a stray file there must never stand in for the
    // installed driver. A DLL directory takes the current directory's place in the search;
    // the program's own folder, searched first anyway, adds nothing there. (An empty one
    // should do the same, but Wine takes it for "back to the default", current directory
    // included.) The setting is process-wide and handed to child processes, so it is undone
    // once the driver and what it imports are loaded.
    const std::wstring folder = programFolder();
    HMODULE module = nullptr;
    if (!folder.empty() && SetDllDirectoryW(folder.c_str()))
        module = LoadLibraryW(wide.c_str());
    if (!module)
        *error = name + ": " + lastSystemError();
    SetDllDirectoryW(nullptr);
    return reinterpret_cast<void *>(module);
}

void *findSymbol(void *handle, const std::string &library, const char *symbol, std::string *error)
{
    FARPROC address = GetProcAddress(static_cast<HMODULE>(handle), symbol);
    if (!address)
        *error = library + ": " + symbol + ": " + lastSystemError();
    return reinterpret_cast<void *>(address);
}
#else
// The write end of the pipe to the parent, in the trial child only.
int faultReport = -1;

// Runs in the trial child when the loader faults: hands the parent the faulting address
// and the child's mappings, so that it can name the file the address lies in. Nothing but
// system calls here. The handler is reset on entry, so the faulting access is made again
// on return and ends the child by the same signal.
void reportFault(int, siginfo_t *info, void *)
{
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    const int maps = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    char chunk[4096];
    ssize_t length = write(faultReport, &address, sizeof address);
    while (length > 0 && maps >= 0 && (length = read(maps, chunk, sizeof chunk)) > 0)
        length = write(faultReport, chunk, std::size_t(length));
}

// The path of the mapping that holds the address a fault report begins with, or empty.
std::string faultedFile(const std::string &report)
{
    uintptr_t address = 0;
    if (report.size() < sizeof address)
        return {};
    std::memcpy(&address, report.data(), sizeof address);
    std::istringstream maps(report.substr(sizeof address));
    for (std::string line; std::getline(maps, line);) {
        unsigned long long start = 0, end = 0;
        int path = 0;
        if (std::sscanf(line.c_str(), "%llx-%llx %*s %*s %*s %*s %n", &start, &end, &path) == 2
            && path > 0 && start <= address && address < end)
            return line.substr(std::size_t(path));
    }
    return {};
}

// A library cut short (an interrupted copy) makes the loader fault while it maps the
// missing part, which no error return can report and which would take the program down
// with it. So the library is first loaded in a child that does nothing else: that loads
// exactly what the real load will, wherever the loader finds it (LD_LIBRARY_PATH, run
// paths, its cache of the ld.so.conf folders), dependencies included. A child that fails
// in the ordinary way is left to the real load to describe, in the loader's own words.
// fork copies only the calling thread, so this is sound only before the program starts
// any other: a thread holding a lock inside the loader would leave it held in the child.
TrialLoad startTrial(const std::string &name)
{
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        return {};
    const pid_t child = fork();
    if (child == 0) {
        faultReport = report[1];
        struct sigaction action = {};
        action.sa_sigaction = reportFault;
        action.sa_flags = SA_SIGINFO | SA_RESETHAND;
        sigaction(SIGBUS, &action, nullptr);
        sigaction(SIGSEGV, &action, nullptr);
        _exit(dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL) ? 0 : 1);
    }
    close(report[1]);
    if (child < 0) {
        close(report[0]);
        return {};
    }
    return {child, report[0]};
}

// The child's verdict: empty unless it died of a signal, then why, naming the file.
std::string trialLoadFault(TrialLoad &trial, const std::string &name)
{
    if (trial.child < 0)
        return {};
    std::string text;
    char chunk[4096];
    for (ssize_t length; (length = read(trial.report, chunk, sizeof chunk)) != 0;)
        if (length > 0)
            text.append(chunk, std::size_t(length));
        else if (errno != EINTR)
            break;
    close(trial.report);
    int status = 0;
    while (waitpid(trial.child, &status, 0) < 0 && errno == EINTR) { }
    trial = {};
    // Only a crash tells of a damaged library; an interrupt from the keyboard reaches the
    // child too, and is the program's to answer.
    const int signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    if (signal != SIGBUS && signal != SIGSEGV && signal != SIGILL && signal != SIGFPE
        && signal != SIGABRT)
        return {};
    const std::string file = faultedFile(text);
    return (file.empty() ? name : file) + ": a trial load of it died of SIG"
            + sigabbrev_np(signal) + " (a damaged or partly copied library)";
}

void *openLibrary(const std::string &name, std::string *error, TrialLoad *trial)
{
    TrialLoad own;
    if (!trial) {
        own = startTrial(name);
        trial = &own;
    }
    if (std::string fault = trialLoadFault(*trial, name); !fault.empty()) {
        *error = fault;
        return nullptr;
    }
    void *handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        *error = dlerror();
    return handle;
}

void *findSymbol(void *handle, const std::string &, const char *symbol, std::string *error)
{
    dlerror();
    void *address = dlsym(handle, symbol);
    if (!address) {
        const char *reason = dlerror();
        *error = reason ? reason : std::string(symbol) + ": symbol is null";
    }
    return address;
}
#endif

template <typename Fn>
bool resolve(void *handle, const std::string &library, const char *symbol, Fn *target,
             std::string *error)
{
    *target = reinterpret_cast<Fn>(findSymbol(handle, library, symbol, error));
    return *target != nullptr;
}

} // namespace

TrialLoad startTrialLoad(const std::string &name)
{
#ifdef _WIN32
    (void)name;
    return {};
#else
    return startTrial(name);
#endif
}

bool loadDriver(const std::string &name, DriverFunctions *functions, std::string *error,
                TrialLoad *trial)
{
    // A library that fails to bind stays mapped: a driver may start threads of its own when
    // loaded, and unmapping it under them would be worse than the few pages it keeps.
    void *handle = openLibrary(name, error, trial);
    if (!handle)
        return false;
    DriverFunctions found;
#define BEXOR_RESOLVE(function, parameters, arguments) \
    if (!resolve(handle, name, #function, &found.function, error)) \
        return false;
    BEXOR_FUNCTIONS(BEXOR_RESOLVE)
#undef BEXOR_RESOLVE
    *functions = found;
    return true;
}

std::string loadedFileOf(const DriverFunctions &functions)
{
    const void *address = reinterpret_cast<const void *>(functions.OpenBexor);
    if (!address)
        return {};
#ifdef _WIN32
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS
                                    | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module))
        return {};
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, path.data(), DWORD(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return toUtf8(path.c_str());
        }
        path.resize(path.size() * 2);
    }
#else
    Dl_info info;
    if (dladdr(address, &info) == 0 || !info.dli_fname)
        return {};
    // A plain name is kept as the path the search found it at; a relative one, as with
    // LD_LIBRARY_PATH=sim, is relative to the folder the program started in, which a report
    // read elsewhere does not know.
    std::string file = info.dli_fname;
    if (!file.empty() && file[0] != '/') {
        std::vector<char> folder(4096);
        if (getcwd(folder.data(), folder.size()))
            file = std::string(folder.data()) + '/' + (file.rfind("./", 0) == 0 ? file.substr(2) : file);
    }
    return file;
#endif
}
