// The window's way in. On Linux the window lives in a module of its own, crtest-window.so
// beside the program, loaded only when a window is wanted: a check never maps the GUI
// libraries. On Windows the window is linked into the program.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#  define CRTEST_WINDOW_EXPORT
#else
#  define CRTEST_WINDOW_EXPORT __attribute__((visibility("default")))
#endif

// Runs the whole window mode: the application, the driver binding, the desktop's services,
// the window and its event loop. verbose turns on crtest.driver and crtest.events; the
// driver's trial load, if one was started, is the child trialChild reporting on trialReport
// (-1 for none). Returns the program's exit status.
CRTEST_WINDOW_EXPORT int crtest_run_window(int argc, char **argv, int verbose, int trialChild,
                                           int trialReport);
typedef int (*CrtestRunWindowFn)(int argc, char **argv, int verbose, int trialChild,
                                 int trialReport);

#ifdef __cplusplus
}
#endif
