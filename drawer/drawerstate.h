// How a drawer's state code reads. Each drawer has its own open code (16 x its number),
// so the same value means open for one drawer and closed for another.
#pragma once

#include <array>
#include <cstdint>

inline constexpr int DrawerCount = 8;

// Entry n is the code with which drawer n reports itself open; the ninth entry is never
// read but kept so the table can be indexed by a finished drawer counter.
using OpenCodeTable = std::array<int32_t, DrawerCount + 1>;
inline constexpr OpenCodeTable OpenCode = [] {
    OpenCodeTable codes{};
    for (int n = 0; n < DrawerCount; ++n)
        codes[n] = 16 * n;
    return codes;
}();

// NotRead: nothing has been asked of the drawer yet, so nothing is known about it.
enum class DrawerReading { NotRead, Open, Closed, NotPresent };

DrawerReading classifyDrawerState(int32_t stateCode, int32_t openCode);
