// What the fault driver answers, and every call it received. The library exports one as
// faultScript; the test reaches it through the loader and rewrites it for each run.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct FaultScript
{
    // Successive OpenBexor results; the last one repeats.
    std::vector<int32_t> open{0};
    int32_t close = 0;
    // A kick answered 0 opens a present drawer, as hardware would.
    int32_t kick = 0;
    std::array<int32_t, 8> state{1, 17, 33, 49, -1, -1, -1, -1};
    int32_t statistics = 0;
    // Written to the caller's buffer as it stands, whatever length was asked for.
    std::string block;
    // Each call received, one a line, in order ("Open", "Kick2", "State0", "Stats", "Close");
    // a test may note its own events among them.
    std::string calls;
    std::size_t openCalls = 0;
};
