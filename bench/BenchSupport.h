// What the benchmarks share: the clock they time with, a step timed by the
// wall clock and by processor time, and the syllables their generated names
// are made of.
#pragma once

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

namespace norrvik::bench {

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Seconds of a step by the wall clock and by this process's processor time
// (the latter less disturbed by other programs on the machine).
struct Times {
    double Wall = 0;
    double Processor = 0;
};

template <typename Run>
Times Timed(Run run)
{
    const auto start = Clock::now();
    const std::clock_t processorStart = std::clock();
    run();
    return {SecondsSince(start), static_cast<double>(std::clock() - processorStart) / CLOCKS_PER_SEC};
}

inline const std::vector<std::string> kSyllables = {"al", "be", "cor", "dun", "ex", "fa", "gro", "hy",
                                                    "ite", "ka", "lum", "mo", "nit", "or", "pha", "qua",
                                                    "ri", "sil", "tor", "um", "vel", "wo", "xe", "zin"};

} // namespace norrvik::bench
