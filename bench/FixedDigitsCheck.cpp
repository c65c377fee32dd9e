// Compares dump's own digit writers of d-spacings with the formatting they
// stand in for, on every one of the 2^32 float bit patterns (NaNs and
// infinities included): the text form's fixed decimals (at the width and
// precision it prints them with) against to_chars of the value as a double,
// and every 4099th value against printf itself; the JSON form's number
// against the JSON library's text of the double read back from the float's
// shortest digits. Run once by hand in a Release build (many minutes on two
// processors); prints the values that differ and their count.
//
// Usage: norrvik_fixed_digits_check [width precision]
#include "cli/DumpFormat.h"
#include "cli/JsonOutput.h"
#include "common/Format.h"
#include "common/Parallel.h"

#include <atomic>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace {

// dump --json's d-spacing as the JSON library made it, through a double.
void LibraryJsonNumber(std::string& out, float value)
{
    char text[32];
    double shortest = 0;
    std::from_chars(text, std::to_chars(text, text + sizeof text, value).ptr, shortest);
    if (!std::isfinite(shortest)) {
        out.append("null");
        return;
    }
    char digits[64];
    out.append(digits, nlohmann::detail::to_chars(digits, digits + sizeof digits, shortest));
}

} // namespace

int main(int argc, char** argv)
{
    const int width = argc > 2 ? std::atoi(argv[1]) : 10;
    const int precision = argc > 2 ? std::atoi(argv[2]) : 5;
    constexpr std::size_t kChunks = 4096;
    constexpr std::uint64_t kPerChunk = (std::uint64_t{1} << 32) / kChunks;
    std::atomic<std::uint64_t> differing{0};
    std::atomic<std::uint64_t> printed{0};
    std::mutex reporting;
    const auto failures = norrvik::RunTasksSideBySide(kChunks, [&](std::size_t chunk) {
        std::string fast;
        std::string reference;
        for (std::uint64_t b = chunk * kPerChunk; b < (chunk + 1) * kPerChunk; ++b) {
            const float value = std::bit_cast<float>(static_cast<std::uint32_t>(b));
            fast.clear();
            reference.clear();
            norrvik::AppendFixedFloat(fast, value, width, precision);
            norrvik::AppendFixed(reference, static_cast<double>(value), width, precision);
            const bool againstPrintf = b % 4099 == 0;
            if (againstPrintf)
                printed.fetch_add(1, std::memory_order_relaxed);
            bool same = fast == reference && (!againstPrintf || fast == norrvik::Format("%*.*f", width, precision,
                                                                                         static_cast<double>(value)));
            if (same) {
                fast.clear();
                reference.clear();
                norrvik::AppendJsonDSpacing(fast, value);
                LibraryJsonNumber(reference, value);
                same = fast == reference;
            }
            if (same)
                continue;
            if (differing.fetch_add(1) < 20) {
                const std::lock_guard<std::mutex> lock(reporting);
                std::printf("bits %08llx: \"%s\", formatted \"%s\"\n", static_cast<unsigned long long>(b),
                            fast.c_str(), reference.c_str());
            }
        }
    });
    for (const auto& failure : failures)
        if (failure)
            return 2;
    std::printf("%llu of 2^32 float values differ at %%%d.%df or in JSON (%llu also set against printf)\n",
                static_cast<unsigned long long>(differing.load()), width, precision,
                static_cast<unsigned long long>(printed.load()));
    return differing.load() == 0 ? 0 : 1;
}
