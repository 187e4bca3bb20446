// Stands in front of the bound driver and writes every call to crtest.driver: its name,
// its arguments, its result and how long it took. The check and the window both talk to
// the driver through one, so a support log reads the same whichever ran.
#pragma once

#include "drawerdriver.h"

class LoggingDriver final : public DrawerDriver
{
public:
    explicit LoggingDriver(DrawerDriver &driver) : m_driver(driver) { }

    int32_t openBexor() override;
    int32_t closeBexor() override;
    int32_t drawerOpen(int32_t drawer) override;
    int32_t drawerState(int32_t drawer) override;
    int32_t retrieveStatistics(int16_t unit, int32_t selector, uint8_t *buffer,
                               int16_t length) override;

private:
    DrawerDriver &m_driver;
};
