#include "driverloader.h"

#ifdef _WIN32
#  include <windows.h>
#else
#  include "trialload.h"

#  include <dlfcn.h>
#  include <fcntl.h>
#  include <spawn.h>
#  include <sys/wait.h>
#  include <unistd.h>

#  include <cerrno>
#  include <csignal>
#  include <cstdio>
#  include <cstring>
#  include <sstream>
#  include <vector>
#endif

// The child of a trial load and the read end of the pipe it reports a fault on.
struct TrialProcess
{
    int child = -1;
    int report = -1;
};

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

void *openLibrary(const std::string &name, std::string *error, TrialProcess *)
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

// The trial helper beside the program file, which /proc/self/exe names even when the
// program was started through a link (/usr/bin/crtest); empty if it cannot be told.
std::string helperBesideProgram()
{
    std::vector<char> path(4096);
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || std::size_t(length) >= path.size())
        return {};
    const std::string program(path.data(), std::size_t(length));
    return program.substr(0, program.rfind('/') + 1) + "crtest-trial-load";
}

// A library cut short (an interrupted copy) makes the loader fault while it maps the
// missing part, which no error return can report and which would take the program down
// with it. So the library is first loaded in a process that does nothing else: that loads
// exactly what the real load will, wherever the loader finds it (LD_LIBRARY_PATH, run
// paths, its cache of the ld.so.conf folders), dependencies included. A trial that fails in
// the ordinary way is left to the real load to describe, in the loader's own words.
// That process is the helper crtest-trial-load, started beside the program with the
// program's environment; it is built with the program's run path, and beside it $ORIGIN
// means the same folder, so its loader searches the same places. posix_spawn shares the
// program's memory until the helper's exec instead of copying it.
TrialProcess startTrial(const std::string &name)
{
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        return {};
    pid_t child = -1;
    if (std::string helper = helperBesideProgram(); !helper.empty()) {
        std::string descriptor = std::to_string(report[1]), library = name;
        char *arguments[] = {helper.data(), descriptor.data(), library.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        // Onto itself, the write end loses its close-on-exec flag in the helper alone.
        posix_spawn_file_actions_adddup2(&actions, report[1], report[1]);
        if (posix_spawn(&child, helper.c_str(), &actions, nullptr, arguments, environ) != 0)
            child = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    // Without the helper (a copy of the program on its own, a test program) the program
    // still protects itself: the trial runs in a fork of the program, which costs more, as
    // the program's written pages are then copied or write-faulted on. fork copies only the
    // calling thread, so this is sound only before the program starts any other: a thread
    // holding a lock inside the loader would leave it held in the child.
    if (child < 0 && (child = fork()) == 0)
        runTrialLoad(name.c_str(), report[1]);
    close(report[1]);
    if (child < 0) {
        close(report[0]);
        return {};
    }
    return {child, report[0]};
}

// The trial's verdict: empty unless it died of a signal, then why, naming the file.
std::string trialLoadFault(TrialProcess &trial, const std::string &name)
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
    // trial too, and is the program's to answer.
    const int signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    if (signal != SIGBUS && signal != SIGSEGV && signal != SIGILL && signal != SIGFPE
        && signal != SIGABRT)
        return {};
    const std::string file = faultedFile(text);
    return (file.empty() ? name : file) + ": a trial load of it died of SIG"
            + sigabbrev_np(signal) + " (a damaged or partly copied library)";
}

void *openLibrary(const std::string &name, std::string *error, TrialProcess *trial)
{
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

DriverLoad::DriverLoad(std::string name) : m_name(std::move(name)), m_trial(new TrialProcess)
{
#ifndef _WIN32
    *m_trial = startTrial(m_name);
#endif
}

DriverLoad::~DriverLoad()
{
#ifndef _WIN32
    // A load never finished (the program ended before it) wants no verdict: the trial is
    // ended, so that nothing is left behind.
    if (m_trial->child >= 0) {
        close(m_trial->report);
        kill(m_trial->child, SIGKILL);
        while (waitpid(m_trial->child, nullptr, 0) < 0 && errno == EINTR) { }
    }
#endif
}

bool DriverLoad::finish(DriverFunctions *functions, std::string *error)
{
    // A library that fails to bind stays mapped: a driver may start threads of its own when
    // loaded, and unmapping it under them would be worse than the few pages it keeps.
    void *handle = openLibrary(m_name, error, m_trial.get());
    if (!handle)
        return false;
    DriverFunctions found;
#define BEXOR_RESOLVE(function, parameters, arguments) \
    if (!resolve(handle, m_name, #function, &found.function, error)) \
        return false;
    BEXOR_FUNCTIONS(BEXOR_RESOLVE)
#undef BEXOR_RESOLVE
    *functions = found;
    return true;
}

bool loadDriver(const std::string &name, DriverFunctions *functions, std::string *error)
{
    return DriverLoad(name).finish(functions, error);
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
