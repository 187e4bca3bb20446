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
// the window and its event loop. verbose turns on crtest.driver and crtest.events. Returns
// the program's exit status.
CRTEST_WINDOW_EXPORT int crtest_run_window(int argc, char **argv, int verbose);
typedef int (*CrtestRunWindowFn)(int argc, char **argv, int verbose);

#ifdef __cplusplus
}
#endif
