// Loads a driver library and resolves its five functions. Free of Qt, so the Windows build
// of the binding can be compiled on its own.
#pragma once

#include "apideclarations.h"

#include <memory>
#include <string>

// Each member bears the name of the function it points to.
struct DriverFunctions
{
#define BEXOR_MEMBER(name, parameters, arguments) name##Fn name = nullptr;
    BEXOR_FUNCTIONS(BEXOR_MEMBER)
#undef BEXOR_MEMBER
};

struct TrialProcess;

// The load of a driver library, begun as early as the program can: on Linux a trial load of
// it starts at once in a short-lived process, which a damaged library cannot take the
// program down with (see driverloader.cpp), and is looked at only when the load is finished,
// so that the program rarely waits for it. Make it before the program starts any thread.
// Windows has no trial: a separate process is the Linux loader's answer.
class DriverLoad
{
public:
    // name is UTF-8: a plain name goes through the system's ordinary library search (on
    // Windows without the current directory), a path is loaded as it stands.
    explicit DriverLoad(std::string name);
    ~DriverLoad();
    DriverLoad(const DriverLoad &) = delete;
    DriverLoad &operator=(const DriverLoad &) = delete;

    const std::string &name() const { return m_name; }

    // Loads the library and resolves its five functions. On failure returns false and the
    // loader's own reason, naming the file or the missing function.
    bool finish(DriverFunctions *functions, std::string *error);

private:
    std::string m_name;
    std::unique_ptr<TrialProcess> m_trial;
};

// The whole load at once, trial included.
bool loadDriver(const std::string &name, DriverFunctions *functions, std::string *error);

// The file the loader actually mapped for a bound driver, found from one of its resolved
// functions (UTF-8; empty if the system cannot tell). A plain name may have been found
// anywhere along the search, and a support ticket needs to know where.
std::string loadedFileOf(const DriverFunctions &functions);
