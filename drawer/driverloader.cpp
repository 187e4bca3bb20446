#include "driverloader.h"

#ifdef _WIN32
#  include <windows.h>
#else
#  include <dlfcn.h>
#  include <link.h>
#  include <sys/stat.h>
#  include <unistd.h>

#  include <cstring>
#  include <fstream>
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

void *openLibrary(const std::string &name, std::string *error)
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
// The file the loader will map for name: a path as it stands, a plain name along the
// loader's own search list (LD_LIBRARY_PATH, run paths, the system directories).
std::string loaderFileOf(const std::string &name)
{
    if (name.find('/') != std::string::npos)
        return name;
    void *self = dlopen(nullptr, RTLD_LAZY);
    Dl_serinfo size;
    if (!self || dlinfo(self, RTLD_DI_SERINFOSIZE, &size) != 0)
        return {};
    std::vector<char> storage(size.dls_size);
    auto *paths = reinterpret_cast<Dl_serinfo *>(storage.data());
    if (dlinfo(self, RTLD_DI_SERINFOSIZE, paths) != 0 || dlinfo(self, RTLD_DI_SERINFO, paths) != 0)
        return {};
    for (unsigned i = 0; i < paths->dls_cnt; ++i) {
        const std::string candidate = std::string(paths->dls_serpath[i].dls_name) + '/' + name;
        struct stat info;
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            return candidate;
    }
    return {};
}

// A library cut short (an interrupted copy) makes the loader fault while it maps the
// missing part, which no error return can report; its headers tell how long it must be.
// Any other file that is no library is left to the loader to describe.
std::string truncationOf(const std::string &path)
{
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    const auto size = static_cast<unsigned long long>(file.tellg());
    ElfW(Ehdr) header;
    if (!file.seekg(0) || !file.read(reinterpret_cast<char *>(&header), sizeof header)
        || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0
        || header.e_phentsize != sizeof(ElfW(Phdr)) || !file.seekg(std::streamoff(header.e_phoff)))
        return {};
    for (int i = 0; i < header.e_phnum; ++i) {
        ElfW(Phdr) segment;
        if (!file.read(reinterpret_cast<char *>(&segment), sizeof segment))
            return {};
        const unsigned long long end = segment.p_offset + segment.p_filesz;
        if (segment.p_type == PT_LOAD && end > size)
            return path + ": file too short: it ends at byte " + std::to_string(size) + " of the "
                    + std::to_string(end)
                    + " its headers describe (a damaged or partly copied library)";
    }
    return {};
}

void *openLibrary(const std::string &name, std::string *error)
{
    if (std::string damage = truncationOf(loaderFileOf(name)); !damage.empty()) {
        *error = damage;
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

bool loadDriver(const std::string &name, DriverFunctions *functions, std::string *error)
{
    // A library that fails to bind stays mapped: a driver may start threads of its own when
    // loaded, and unmapping it under them would be worse than the few pages it keeps.
    void *handle = openLibrary(name, error);
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
