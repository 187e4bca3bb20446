#pragma once

class DriverLoad;

// The window mode, whole: the application, the driver binding, the desktop's services, the
// window and its event loop. verbose turns on crtest.driver and crtest.events; driverLoad is
// the driver's load begun for it. Returns the program's exit status.
int runWindowProgram(int argc, char **argv, bool verbose, DriverLoad &driverLoad);
