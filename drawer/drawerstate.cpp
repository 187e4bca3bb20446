#include "drawerstate.h"

DrawerCondition classifyDrawerState(int32_t stateCode, int32_t openCode)
{
    // Open is tested first: drawer 0 opens with 0, which other drawers use for closed.
    if (stateCode == openCode)
        return DrawerCondition::Open;
    if (stateCode == -1)
        return DrawerCondition::NotPresent;
    return DrawerCondition::Closed;
}

DrawerLook lookOf(DrawerCondition condition)
{
    switch (condition) {
    case DrawerCondition::Open:
        return {QLatin1Char('O'), 0xFF0000, 1};
    case DrawerCondition::NotPresent:
        return {QLatin1Char('N'), 0x0000FF, 0};
    case DrawerCondition::Closed:
        break;
    }
    return {QLatin1Char('C'), 0x000000, 1};
}
