// Length-prefixed strings of the binary records (database header, index
// records): length byte, characters, zero bytes up to the capacity.
#include "common/LengthPrefixedString.h"

#include "common/Exceptions.h"

#include <gtest/gtest.h>

#include <vector>

namespace norrvik {
namespace {

TEST(LengthPrefixedString, WritesLengthCharactersAndZerosOnly)
{
    std::vector<std::uint8_t> bytes(33, 0xFF);
    WriteLengthPrefixedString(bytes, 1, 30, "PDF2");
    std::vector<std::uint8_t> expected(33, 0);
    expected[0] = 0xFF;  // before the field: untouched
    expected[32] = 0xFF; // after the 31 bytes of the field: untouched
    expected[1] = 4;
    expected[2] = 'P';
    expected[3] = 'D';
    expected[4] = 'F';
    expected[5] = '2';
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(ReadLengthPrefixedString(bytes, 1, 30), "PDF2");

    // A text longer than the field keeps its first `capacity` characters.
    std::vector<std::uint8_t> code(10, 0xFF);
    WriteLengthPrefixedString(code, 0, 9, "0123456789");
    EXPECT_EQ(code[0], 9);
    EXPECT_EQ(ReadLengthPrefixedString(code, 0, 9), "012345678");

    WriteLengthPrefixedString(code, 0, 9, "");
    EXPECT_EQ(code, std::vector<std::uint8_t>(10, 0));
}

TEST(LengthPrefixedString, NeverReachesPastItsField)
{
    // A damaged length byte reads no more than the capacity.
    std::vector<std::uint8_t> bytes = {200, 'A', 'B', 'C', 'D', 'E', 'F', 'G'};
    EXPECT_EQ(ReadLengthPrefixedString(bytes, 0, 5), "ABCDE");
    // A field that does not fit its buffer is refused.
    EXPECT_THROW(ReadLengthPrefixedString(bytes, 3, 5), EAssertionFailed);
    EXPECT_THROW(WriteLengthPrefixedString(bytes, 0, 9, "X"), EAssertionFailed);
    EXPECT_EQ(bytes[1], 'A');
}

} // namespace
} // namespace norrvik
