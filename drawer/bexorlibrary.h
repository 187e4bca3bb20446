// The controller's driver library, bound at run time. Every function is resolved before
// the first call, so a missing library or symbol is reported once, at start-up, with the
// loader's own words, instead of failing in the middle of a kick.
#pragma once

#include "drawerdriver.h"
#include "driverloader.h"

#include <QString>

#include <memory>

class BexorLibrary final : public DrawerDriver
{
public:
#ifdef Q_OS_WIN
    static constexpr const char *DefaultName = "bexor.dll";
#else
    static constexpr const char *DefaultName = "libbexor.so";
#endif

    // Returns nullptr and sets *error to the loader's reason when the library or one of
    // its functions cannot be found. The load is one begun early (see DriverLoad), or the
    // named library's, whole, now.
    static std::unique_ptr<BexorLibrary> load(DriverLoad &load, QString *error);
    static std::unique_ptr<BexorLibrary> load(const QString &name, QString *error);

    // The file the loader mapped, as a path (see loadedFileOf).
    QString file() const { return m_file; }

    int32_t openBexor() override { return m_functions.OpenBexor(); }
    int32_t closeBexor() override { return m_functions.CloseBexor(); }
    int32_t drawerOpen(int32_t drawer) override { return m_functions.DrawerOpen(drawer); }
    int32_t drawerState(int32_t drawer) override { return m_functions.DrawerState(drawer); }
    int32_t retrieveStatistics(int16_t unit, int32_t selector, uint8_t *buffer,
                               int16_t length) override
    {
        return m_functions.RetrieveStatistics(unit, selector, buffer, length);
    }

private:
    BexorLibrary(const DriverFunctions &functions, const QString &file)
        : m_functions(functions), m_file(file)
    {
    }

    // The library stays mapped until the process ends: a driver may keep threads or
    // handlers of its own alive after CloseBexor, and unloading it at exit gains nothing.
    DriverFunctions m_functions;
    QString m_file;
};
