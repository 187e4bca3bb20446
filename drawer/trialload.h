// The child's side of the driver's trial load (see driverloader.cpp), shared by the helper
// program crtest-trial-load and the program's own forked child. Linux only, and free of the
// C++ library, so that the helper maps nothing but the C library before the driver.
#pragma once

// Loads the library as the binding does and ends the process: status 0 if it loaded, 1 if
// the loader refused it. If the loader faults, the faulting address and the process's
// mappings go to the descriptor report, and the process ends by the same signal.
[[noreturn]] void runTrialLoad(const char *name, int report);
