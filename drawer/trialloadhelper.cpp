// crtest-trial-load DESCRIPTOR NAME: the driver's trial load as a program of its own,
// started by the binding (driverloader.cpp) from beside the program, with the program's
// environment, so that the loader searches exactly as it will for the program.
#include "trialload.h"

#include <cstdlib>

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    runTrialLoad(argv[2], std::atoi(argv[1]));
}
