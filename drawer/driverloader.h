// Loads a driver library and resolves its five functions. Free of Qt, so the Windows build
// of the binding can be compiled on its own.
#pragma once

#include "apideclarations.h"

#include <string>

// Each member bears the name of the function it points to.
struct DriverFunctions
{
#define BEXOR_MEMBER(name, parameters, arguments) name##Fn name = nullptr;
    BEXOR_FUNCTIONS(BEXOR_MEMBER)
#undef BEXOR_MEMBER
};

// A load of the library in a short-lived child, which a damaged library cannot take the
// program down with (see driverloader.cpp). It is started as early as the program can,
// before it has any thread and while it is still small, and looked at only just before the
// real load, so that the program rarely waits for it. Windows needs none: a child is the
// Linux loader's answer.
struct TrialLoad
{
    int child = -1;
    int report = -1; // the read end of the pipe the child reports a fault on
};
TrialLoad startTrialLoad(const std::string &name);

// name is UTF-8: a plain name goes through the system's ordinary library search (on
// Windows without the current directory), a path is loaded as it stands. On failure
// returns false and the loader's own reason, naming the file or the missing function.
// trial is one started for the same name, or null to make one now.
bool loadDriver(const std::string &name, DriverFunctions *functions, std::string *error,
                TrialLoad *trial = nullptr);

// The file the loader actually mapped for a bound driver, found from one of its resolved
// functions (UTF-8; empty if the system cannot tell). A plain name may have been found
// anywhere along the search, and a support ticket needs to know where.
std::string loadedFileOf(const DriverFunctions &functions);
