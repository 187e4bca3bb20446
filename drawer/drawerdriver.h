// The driver as the window sees it: the five controller operations, nothing else. The
// real binding loads the vendor library; tests substitute a scripted driver.
#pragma once

#include <cstdint>

class DrawerDriver
{
public:
    virtual ~DrawerDriver() = default;

    virtual int32_t openBexor() = 0;
    virtual int32_t closeBexor() = 0;
    virtual int32_t drawerOpen(int32_t drawer) = 0;
    virtual int32_t drawerState(int32_t drawer) = 0;
    virtual int32_t retrieveStatistics(int16_t unit, int32_t selector, uint8_t *buffer,
                                       int16_t length) = 0;
};
