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
typedef int32_t(BEXOR_CALL *RetrieveStatisticsFn)(int16_t unit, int32_t selector, uint8_t *buffer,
                                                  int16_t length);

// Declared for the libraries that implement the interface; the utility itself never links
// these symbols, it resolves them by name.
#ifdef BEXOR_BUILDING_DRIVER
BEXOR_EXPORT int32_t BEXOR_CALL OpenBexor(void);
BEXOR_EXPORT int32_t BEXOR_CALL CloseBexor(void);
BEXOR_EXPORT int32_t BEXOR_CALL DrawerOpen(int32_t drawer);
BEXOR_EXPORT int32_t BEXOR_CALL DrawerState(int32_t drawer);
BEXOR_EXPORT int32_t BEXOR_CALL RetrieveStatistics(int16_t unit, int32_t selector, uint8_t *buffer,
                                                   int16_t length);
#endif

#ifdef __cplusplus
}
#endif
