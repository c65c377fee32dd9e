// Length-prefixed strings of the binary records (database header, index
// records): length byte, characters, zero bytes up to the capacity.
#include "common/LengthPrefixedString.h"

#include "common/Exceptions.h"

#include <gtest/gtest.h>

#include <vector>

namespace norrvik {
namespace {

TEST(LengthPrefixedString, FieldBytesTruncationAndDamagedLength)
{
    std::vector<std::uint8_t> bytes(33, 0xFF);
    WriteLengthPrefixedString(bytes, 1, 30, "PDF2");
    std::vector<std::uint8_t> expected(33, 0);
    expected[0] = expected[32] = 0xFF; // around the 31-byte field: untouched
    expected[1] = 4;
    for (std::size_t k = 0; k < 4; ++k)
        expected[2 + k] = static_cast<std::uint8_t>("PDF2"[k]);
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(ReadLengthPrefixedString(bytes, 1, 30), "PDF2");

    // A longer text keeps its first `capacity` characters.
    WriteLengthPrefixedString(bytes, 0, 9, "0123456789");
    EXPECT_EQ(ReadLengthPrefixedString(bytes, 0, 9), "012345678");
    // A damaged length byte reads no more than the capacity.
    bytes[0] = 200;
    EXPECT_EQ(ReadLengthPrefixedString(bytes, 0, 5), "01234");
    // A field that does not fit its buffer is refused.
    EXPECT_THROW(ReadLengthPrefixedString(bytes, 30, 5), EAssertionFailed);
    EXPECT_THROW(WriteLengthPrefixedString(bytes, 30, 9, "X"), EAssertionFailed);
}

} // namespace
} // namespace norrvik
