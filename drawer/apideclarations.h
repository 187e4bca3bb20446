// The controller's driver interface: the five C functions that the utility binds at run
// time and that every driver library (the vendor's, our simulated controller, the test
// doubles) exports under these plain, undecorated names.
#pragma once

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#  define BEXOR_CALL __stdcall
#else
#  define BEXOR_CALL
#endif

#if defined(_WIN32)
#  define BEXOR_EXPORT __declspec(dllexport)
#else
#  define BEXOR_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Every result is a status: 0 is success, except for DrawerState, which returns a state
// code (16 * drawer: open, -1: not present, anything else: closed).
typedef int32_t(BEXOR_CALL *OpenBexorFn)(void);
typedef int32_t(BEXOR_CALL *CloseBexorFn)(void);
typedef int32_t(BEXOR_CALL *DrawerOpenFn)(int32_t drawer);
typedef int32_t(BEXOR_CALL *DrawerStateFn)(int32_t drawer);
// The statistics unit and length are 16-bit values that reach the driver widened to 32 bits.
// They are declared as what the driver receives: declared 16-bit, the caller would leave the
// upper half of each register to chance on x86-64, and a driver reading 32 bits would see
// garbage there. BexorLibrary widens the int16_t values it is given.
typedef int32_t(BEXOR_CALL *RetrieveStatisticsFn)(int32_t unit, int32_t selector, uint8_t *buffer,
                                                  int32_t length);

// Declared for the libraries that implement the interface; the utility itself never links
// these symbols, it resolves them by name.
#ifdef BEXOR_BUILDING_DRIVER
BEXOR_EXPORT int32_t BEXOR_CALL OpenBexor(void);
BEXOR_EXPORT int32_t BEXOR_CALL CloseBexor(void);
BEXOR_EXPORT int32_t BEXOR_CALL DrawerOpen(int32_t drawer);
BEXOR_EXPORT int32_t BEXOR_CALL DrawerState(int32_t drawer);
BEXOR_EXPORT int32_t BEXOR_CALL RetrieveStatistics(int32_t unit, int32_t selector, uint8_t *buffer,
                                                   int32_t length);
#endif

#ifdef __cplusplus
}
#endif
