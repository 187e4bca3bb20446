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

// The functions, each as X(name, parameters, arguments); every one returns an int32_t
// status through BEXOR_CALL. This list is the only place the names are written: the
// binding, the drivers, the Windows and Linux export lists and the export checks are all
// made from it, and the build reads the names from the lines that begin with "X(".
//
// Every result is a status: 0 is success, except for DrawerState, which returns a state
// code (16 * drawer: open, -1: not present, anything else: closed).
// The statistics unit and length are 16-bit values that reach the driver widened to 32 bits.
// They are declared as what the driver receives: declared 16-bit, the caller would leave the
// upper half of each register to chance on x86-64, and a driver reading 32 bits would see
// garbage there. BexorLibrary widens the int16_t values it is given.
#define BEXOR_FUNCTIONS(X)                                                                 \
    X(OpenBexor, (void), ())                                                               \
    X(CloseBexor, (void), ())                                                              \
    X(DrawerOpen, (int32_t drawer), (drawer))                                              \
    X(DrawerState, (int32_t drawer), (drawer))                                             \
    X(RetrieveStatistics, (int32_t unit, int32_t selector, uint8_t *buffer, int32_t length), \
      (unit, selector, buffer, length))

#ifdef __cplusplus
extern "C" {
#endif

// OpenBexorFn and so on: what the utility calls through.
#define BEXOR_POINTER_TYPE(name, parameters, arguments) \
    typedef int32_t(BEXOR_CALL *name##Fn) parameters;
BEXOR_FUNCTIONS(BEXOR_POINTER_TYPE)
#undef BEXOR_POINTER_TYPE

// Declared for the libraries that implement the interface; the utility itself never links
// these symbols, it resolves them by name.
#ifdef BEXOR_BUILDING_DRIVER
#  define BEXOR_DECLARATION(name, parameters, arguments) \
      BEXOR_EXPORT int32_t BEXOR_CALL name parameters;
BEXOR_FUNCTIONS(BEXOR_DECLARATION)
#  undef BEXOR_DECLARATION
#endif

#ifdef __cplusplus
}
#endif

#if defined(__cplusplus) && defined(BEXOR_BUILDING_DRIVER)
#  include <type_traits>
// Placed after a C++ driver's definitions. A definition whose parameters drifted from the
// list (int16_t for int32_t, say) is a C++ overload of its own that nothing exports, and
// the utility would find no such function in the library; an overloaded name has no single
// address, and a wrong calling convention no matching type, so either stops the build.
#  define BEXOR_SIGNATURE_CHECK(name, parameters, arguments) \
      static_assert(std::is_same_v<decltype(&name), name##Fn>, #name " must be as declared");
#  define BEXOR_CHECK_DEFINITIONS() BEXOR_FUNCTIONS(BEXOR_SIGNATURE_CHECK) static_assert(true)
#endif
