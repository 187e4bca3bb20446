#include "drawerstate.h"

DrawerReading classifyDrawerState(int32_t stateCode, int32_t openCode)
{
    // Open is tested first: drawer 0 opens with 0, which other drawers use for closed.
    if (stateCode == openCode)
        return DrawerReading::Open;
    if (stateCode == -1)
        return DrawerReading::NotPresent;
    return DrawerReading::Closed;
}
