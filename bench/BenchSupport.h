// What the benchmarks share: the clock they time with and the syllables
// their generated names are made of.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace norrvik::bench {

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

inline const std::vector<std::string> kSyllables = {"al", "be", "cor", "dun", "ex", "fa", "gro", "hy",
                                                    "ite", "ka", "lum", "mo", "nit", "or", "pha", "qua",
                                                    "ri", "sil", "tor", "um", "vel", "wo", "xe", "zin"};

} // namespace norrvik::bench
