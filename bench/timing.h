// One clock and one summary for whatever the benchmarks time: the calls the tests' fake
// driver and fake services note, and every figure they print. Plain C++, so that programs
// without Qt can use it; the clock is CLOCK_MONOTONIC, the same in every process.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;

inline double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// A point in time as another process can read it back.
inline long long nanosecondsAt(Clock::time_point at)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
}
inline Clock::time_point timeAt(long long ns)
{
    return Clock::time_point(std::chrono::nanoseconds(ns));
}

struct Summary
{
    double median = 0, min = 0, max = 0;
};

inline Summary summarise(std::vector<double> values)
{
    if (values.empty())
        return {};
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return {n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2, values.front(),
            values.back()};
}

// "median (min-max)", to the given number of decimals.
inline std::string figure(const std::vector<double> &values, int decimals)
{
    const Summary s = summarise(values);
    char text[96];
    std::snprintf(text, sizeof text, "%.*f (%.*f-%.*f)", decimals, s.median, decimals, s.min,
                  decimals, s.max);
    return text;
}
