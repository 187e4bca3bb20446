// A driver library that lacks one of the five functions (the one named by OMIT), to prove
// that a missing function is caught when the library is bound, not when it is first used.
#define BEXOR_BUILDING_DRIVER
#include "apideclarations.h"

#define OMIT_OpenBexor 1
#define OMIT_CloseBexor 2
#define OMIT_DrawerOpen 3
#define OMIT_DrawerState 4
#define OMIT_RetrieveStatistics 5

extern "C" {
#if OMIT != OMIT_OpenBexor
BEXOR_EXPORT int32_t BEXOR_CALL OpenBexor(void) { return 0; }
#endif
#if OMIT != OMIT_CloseBexor
BEXOR_EXPORT int32_t BEXOR_CALL CloseBexor(void) { return 0; }
#endif
#if OMIT != OMIT_DrawerOpen
BEXOR_EXPORT int32_t BEXOR_CALL DrawerOpen(int32_t) { return 0; }
#endif
#if OMIT != OMIT_DrawerState
BEXOR_EXPORT int32_t BEXOR_CALL DrawerState(int32_t) { return -1; }
#endif
#if OMIT != OMIT_RetrieveStatistics
BEXOR_EXPORT int32_t BEXOR_CALL RetrieveStatistics(int16_t, int32_t, uint8_t *, int16_t) { return 1; }
#endif
}
