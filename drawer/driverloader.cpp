#include "driverloader.h"

#ifdef _WIN32
#  include <windows.h>
#else
#  include <dlfcn.h>
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

void *openLibrary(const std::string &name, std::string *error)
{
    const int size = MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, nullptr, 0);
    std::wstring wide(size > 0 ? size : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, wide.data(), size);
    // The current directory is left out of the search: a stray file there must never
    // stand in for the installed driver.
    HMODULE module = LoadLibraryExW(wide.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (!module)
        *error = name + ": " + lastSystemError();
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
void *openLibrary(const std::string &name, std::string *error)
{
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
    if (!resolve(handle, name, "OpenBexor", &found.openBexor, error)
        || !resolve(handle, name, "CloseBexor", &found.closeBexor, error)
        || !resolve(handle, name, "DrawerOpen", &found.drawerOpen, error)
        || !resolve(handle, name, "DrawerState", &found.drawerState, error)
        || !resolve(handle, name, "RetrieveStatistics", &found.retrieveStatistics, error))
        return false;
    *functions = found;
    return true;
}
