#pragma once

struct TrialLoad;

// The window mode, whole: the application, the driver binding, the desktop's services, the
// window and its event loop. verbose turns on crtest.driver and crtest.events; trial is the
// driver's trial load started for it. Returns the program's exit status.
int runWindowProgram(int argc, char **argv, bool verbose, TrialLoad &trial);
