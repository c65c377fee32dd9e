// VAX F_floating numbers read as IEEE single precision; expected values are
// worked out from the format: 0.1f x 2^(e - 128).
#include "sources/veltro/VaxFloat.h"

#include "support/VeltroWriter.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

namespace norrvik {
namespace {

float FromWords(std::uint16_t high, std::uint16_t low)
{
    const auto bytes = test::VaxWordBytes(high, low);
    return VaxFloatToSingle(bytes, 0);
}

TEST(VaxFloat, NormalValuesKeepEveryBit)
{
    // 1.0 = 0.5 x 2^1: e = 129, fraction 0.
    EXPECT_EQ(FromWords(0x4080, 0x0000), 1.0f);
    // -2.5 = -(0.101b) x 2^2: e = 130, high fraction bits 0x20.
    EXPECT_EQ(FromWords(0xC120, 0x0000), -2.5f);
    // The low word carries the low 16 fraction bits: 0.5 + 1/2^24 at e = 129.
    EXPECT_EQ(FromWords(0x4080, 0x0001), static_cast<float>(std::ldexp(0.5 + std::ldexp(1.0, -24), 1)));
    // Largest: e = 255, every fraction bit set = (1 - 2^-24) x 2^127.
    EXPECT_EQ(FromWords(0x7FFF, 0xFFFF), static_cast<float>(std::ldexp(1.0 - std::ldexp(1.0, -24), 127)));
    // Smallest normal IEEE value: e = 3 -> 0.5 x 2^-125 = 2^-126.
    EXPECT_EQ(FromWords(0x0180, 0x0000), std::ldexp(1.0f, -126));
    // A wavelength written from its decimal value comes back as that single.
    const auto lambda = test::VaxFloatBytes(1.5406);
    EXPECT_EQ(VaxFloatToSingle(lambda, 0), 1.5406f);
}

TEST(VaxFloat, ExponentsBelowTheIeeeNormalRangeBecomeSubnormals)
{
    EXPECT_EQ(FromWords(0x0100, 0x0000), std::ldexp(1.0f, -127)); // e = 2
    EXPECT_EQ(FromWords(0x0080, 0x0000), std::ldexp(1.0f, -128)); // e = 1
    EXPECT_EQ(FromWords(0x8080, 0x0000), -std::ldexp(1.0f, -128)); // sign kept
    // 0.11b x 2^-126 at e = 2: exactly representable as a subnormal.
    EXPECT_EQ(FromWords(0x0140, 0x0000), static_cast<float>(std::ldexp(0.75, -126)));
    // The lowest fraction bit at e = 1 lies below the subnormal resolution.
    EXPECT_EQ(FromWords(0x0080, 0x0001), std::ldexp(1.0f, -128));
}

TEST(VaxFloat, ZeroExponentIsZeroOrTheReservedOperand)
{
    EXPECT_EQ(std::bit_cast<std::uint32_t>(FromWords(0x0000, 0x0000)), 0u);
    // A "dirty zero": fraction bits with e = 0 still mean zero.
    EXPECT_EQ(FromWords(0x007F, 0xFFFF), 0.0f);
    EXPECT_TRUE(std::isnan(FromWords(0x8000, 0x0000)));
    EXPECT_TRUE(std::isnan(FromWords(0x807F, 0x1234)));
}

} // namespace
} // namespace norrvik
