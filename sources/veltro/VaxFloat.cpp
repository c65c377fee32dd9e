// Conversion of VAX F_floating numbers into IEEE single precision.
#include "sources/veltro/VaxFloat.h"

#include <bit>
#include <cmath>
#include <limits>

namespace norrvik {

namespace {

constexpr std::uint16_t kSignBit = 0x8000;
constexpr std::uint16_t kExponentMask = 0x7F80;
constexpr int kExponentShift = 7;
constexpr std::uint16_t kHighFractionMask = 0x007F;
// Lowers the exponent field by 2: VAX excess 128 with the hidden bit after
// the point against IEEE excess 127 with the hidden bit before it.
constexpr std::uint16_t kExponentAdjust = 0x0100;

// Exponents 1 and 2 lie below IEEE's normal range: the value is built from
// its parts; double holds the 24-bit significand exactly, so the one
// rounding into float is correct.
float SmallVaxValue(std::uint16_t high, std::uint16_t low, int exponent)
{
    const auto fraction = (static_cast<std::uint32_t>(high & kHighFractionMask) << 16) | low;
    const double significand = 0.5 + std::ldexp(static_cast<double>(fraction), -24);
    const double magnitude = std::ldexp(significand, exponent - 128);
    return static_cast<float>((high & kSignBit) != 0 ? -magnitude : magnitude);
}

} // namespace

float VaxFloatFromWords(std::uint16_t high, std::uint16_t low)
{
    const int exponent = (high & kExponentMask) >> kExponentShift;
    if (exponent == 0) {
        if ((high & kSignBit) != 0)
            return std::numeric_limits<float>::quiet_NaN();
        return 0.0f;
    }
    if (exponent < 3)
        return SmallVaxValue(high, low, exponent);
    const auto adjusted = static_cast<std::uint16_t>(high - kExponentAdjust);
    return std::bit_cast<float>((static_cast<std::uint32_t>(adjusted) << 16) | low);
}

float VaxFloatToSingle(ConstBytes bytes, std::size_t offset)
{
    return VaxFloatFromWords(ReadU16LE(bytes, offset), ReadU16LE(bytes, offset + 2));
}

} // namespace norrvik
