// A driver that answers at once, so that whatever time a handler takes beyond its
// deliberate waits is the utility's own. It notes when each call arrived.
#pragma once

#include "drawerdriver.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <string_view>
#include <vector>

class ZeroDriver final : public DrawerDriver
{
public:
    using Clock = std::chrono::steady_clock;

    // A state code for every drawer; closed (16 n + 1) leaves each one ticked for a kick,
    // absent (-1) leaves it unticked.
    std::array<int32_t, 8> states{};
    std::vector<Clock::time_point> kicks;
    std::vector<Clock::time_point> statisticsReads;
    int stateReads = 0;

    explicit ZeroDriver(bool drawersPresent)
    {
        for (int32_t n = 0; n < 8; ++n)
            states[size_t(n)] = drawersPresent ? 16 * n + 1 : -1;
        // A block as a controller in use returns it: texts padded with zeros, and the two
        // counters the window decodes, least significant byte first.
        const auto put = [this](size_t offset, std::string_view text) {
            std::memcpy(m_block.data() + offset, text.data(), text.size());
        };
        put(46, "SN-000123456");
        put(62, "20240115");
        put(70, "R2.0");
        put(82, "20240301");
        const uint32_t good = 123456, failed = 789;
        for (size_t i = 0; i < 4; ++i) {
            m_block[98 + i] = uint8_t(good >> (8 * i));
            m_block[102 + i] = uint8_t(failed >> (8 * i));
        }
    }

    void forget()
    {
        kicks.clear();
        statisticsReads.clear();
        stateReads = 0;
    }

    int32_t openBexor() override { return 0; }
    int32_t closeBexor() override { return 0; }
    int32_t drawerOpen(int32_t) override
    {
        kicks.push_back(Clock::now());
        return 0;
    }
    int32_t drawerState(int32_t drawer) override
    {
        ++stateReads;
        return states.at(size_t(drawer));
    }
    int32_t retrieveStatistics(int16_t, int32_t, uint8_t *buffer, int16_t length) override
    {
        statisticsReads.push_back(Clock::now());
        std::memcpy(buffer, m_block.data(), std::min<size_t>(size_t(length), m_block.size()));
        return 0;
    }

private:
    std::array<uint8_t, 106> m_block{};
};
