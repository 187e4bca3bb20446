// A driver library that lacks one of the five functions (the build renames it), to prove
// that a missing function is caught when the library is bound, not when it is first used.
#define BEXOR_BUILDING_DRIVER
#include "apideclarations.h"

int32_t BEXOR_CALL OpenBexor(void) { return 0; }
int32_t BEXOR_CALL CloseBexor(void) { return 0; }
int32_t BEXOR_CALL DrawerOpen(int32_t) { return 0; }
int32_t BEXOR_CALL DrawerState(int32_t) { return -1; }
int32_t BEXOR_CALL RetrieveStatistics(int16_t, int32_t, uint8_t *, int16_t) { return 1; }
