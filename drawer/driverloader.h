// Loads a driver library and resolves its five functions. Free of Qt, so the Windows build
// of the binding can be compiled on its own.
#pragma once

#include "apideclarations.h"

#include <string>

struct DriverFunctions
{
    OpenBexorFn openBexor = nullptr;
    CloseBexorFn closeBexor = nullptr;
    DrawerOpenFn drawerOpen = nullptr;
    DrawerStateFn drawerState = nullptr;
    RetrieveStatisticsFn retrieveStatistics = nullptr;
};

// name is UTF-8: a plain name goes through the system's ordinary library search (on
// Windows without the current directory), a path is loaded as it stands. On failure
// returns false and the loader's own reason, naming the file or the missing function.
bool loadDriver(const std::string &name, DriverFunctions *functions, std::string *error);
