#include "bexorlibrary.h"

#ifdef Q_OS_WIN
#  include <windows.h>
#else
#  include <QFile>

#  include <dlfcn.h>
#endif

namespace {

#ifdef Q_OS_WIN
QString lastSystemError()
{
    wchar_t *text = nullptr;
    const DWORD code = GetLastError();
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                           | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    QString message = text ? QString::fromWCharArray(text).trimmed()
                           : QStringLiteral("error %1").arg(code);
    LocalFree(text);
    return message;
}

void *openLibrary(const QString &name, QString *error)
{
    // The current directory is left out of the search: a stray file there must never
    // stand in for the installed driver.
    HMODULE module = LoadLibraryExW(reinterpret_cast<LPCWSTR>(name.utf16()), nullptr,
                                    LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (!module)
        *error = QStringLiteral("%1: %2").arg(name, lastSystemError());
    return module;
}

void *findSymbol(void *handle, const QString &library, const char *symbol, QString *error)
{
    FARPROC address = GetProcAddress(static_cast<HMODULE>(handle), symbol);
    if (!address)
        *error = QStringLiteral("%1: %2: %3")
                         .arg(library, QString::fromLatin1(symbol), lastSystemError());
    return reinterpret_cast<void *>(address);
}
#else
void *openLibrary(const QString &name, QString *error)
{
    void *handle = dlopen(QFile::encodeName(name).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        *error = QString::fromLocal8Bit(dlerror());
    return handle;
}

void *findSymbol(void *handle, const QString &, const char *symbol, QString *error)
{
    dlerror();
    void *address = dlsym(handle, symbol);
    if (!address) {
        const char *reason = dlerror();
        *error = reason ? QString::fromLocal8Bit(reason)
                        : QStringLiteral("%1: symbol is null").arg(QString::fromLatin1(symbol));
    }
    return address;
}
#endif

template <typename Fn>
bool resolve(void *handle, const QString &library, const char *symbol, Fn *target,
             QString *error)
{
    *target = reinterpret_cast<Fn>(findSymbol(handle, library, symbol, error));
    return *target != nullptr;
}

} // namespace

std::unique_ptr<BexorLibrary> BexorLibrary::load(const QString &name, QString *error)
{
    std::unique_ptr<BexorLibrary> library(new BexorLibrary);
    library->m_handle = openLibrary(name, error);
    if (!library->m_handle)
        return nullptr;

    void *h = library->m_handle;
    if (!resolve(h, name, "OpenBexor", &library->m_openBexor, error)
        || !resolve(h, name, "CloseBexor", &library->m_closeBexor, error)
        || !resolve(h, name, "DrawerOpen", &library->m_drawerOpen, error)
        || !resolve(h, name, "DrawerState", &library->m_drawerState, error)
        || !resolve(h, name, "RetrieveStatistics", &library->m_retrieveStatistics, error))
        return nullptr;
    return library;
}

// The library stays mapped until the process ends: a driver may keep threads or
// handlers of its own alive after CloseBexor, and unloading it at exit gains nothing.
BexorLibrary::~BexorLibrary() = default;

int32_t BexorLibrary::openBexor()
{
    return m_openBexor();
}

int32_t BexorLibrary::closeBexor()
{
    return m_closeBexor();
}

int32_t BexorLibrary::drawerOpen(int32_t drawer)
{
    return m_drawerOpen(drawer);
}

int32_t BexorLibrary::drawerState(int32_t drawer)
{
    return m_drawerState(drawer);
}

int32_t BexorLibrary::retrieveStatistics(int16_t unit, int32_t selector, uint8_t *buffer,
                                         int16_t length)
{
    return m_retrieveStatistics(unit, selector, buffer, length);
}
