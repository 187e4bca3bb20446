// Binds the controller's driver library at run time. Every function is resolved before
// the first call, so a missing library or symbol is reported once, at start-up, with the
// loader's own words, instead of failing in the middle of a kick.
#pragma once

#include "apideclarations.h"
#include "drawerdriver.h"

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
    // its functions cannot be found. A plain name goes through the system's ordinary
    // library search; a path is loaded as it stands.
    static std::unique_ptr<BexorLibrary> load(const QString &name, QString *error);

    ~BexorLibrary() override;

    int32_t openBexor() override;
    int32_t closeBexor() override;
    int32_t drawerOpen(int32_t drawer) override;
    int32_t drawerState(int32_t drawer) override;
    int32_t retrieveStatistics(int16_t unit, int32_t selector, uint8_t *buffer,
                               int16_t length) override;

private:
    BexorLibrary() = default;

    void *m_handle = nullptr;
    OpenBexorFn m_openBexor = nullptr;
    CloseBexorFn m_closeBexor = nullptr;
    DrawerOpenFn m_drawerOpen = nullptr;
    DrawerStateFn m_drawerState = nullptr;
    RetrieveStatisticsFn m_retrieveStatistics = nullptr;
};
