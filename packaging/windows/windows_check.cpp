// Links the Windows driver binding and help launcher into a program of their own, so the
// cross-compile check proves they build and link without Qt.
#include "driverloader.h"
#include "helplauncher.h"

#include <cstdio>

int main(int argc, char **)
{
    DriverFunctions functions;
    std::string error;
    if (!loadDriver("bexor.dll", &functions, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("OpenBexor: %d\n", int(functions.openBexor()));
    std::printf("CloseBexor: %d\n", int(functions.closeBexor()));
    std::string command;
    if (argc > 1 && !startHelpEditor(&command))
        std::fprintf(stderr, "could not start %s\n", command.c_str());
    return 0;
}
