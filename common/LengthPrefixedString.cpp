// Length-prefixed strings of binary records.
#include "LengthPrefixedString.h"

#include "Exceptions.h"

#include <algorithm>

namespace norrvik {

void WriteLengthPrefixedString(MutableBytes bytes, std::size_t offset, std::size_t capacity,
                               std::string_view text)
{
    NORRVIK_ASSERT(capacity <= 255, "Capacity of a length-prefixed string above 255");
    CheckByteRange(bytes.size(), offset, LengthPrefixedSize(capacity));
    const std::size_t length = std::min(text.size(), capacity);
    bytes[offset] = static_cast<std::uint8_t>(length);
    WriteStringBytes(bytes, offset + 1, text.substr(0, length));
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(offset + 1 + length),
              bytes.begin() + static_cast<std::ptrdiff_t>(offset + 1 + capacity), std::uint8_t{0});
}

std::string ReadLengthPrefixedString(ConstBytes bytes, std::size_t offset, std::size_t capacity)
{
    CheckByteRange(bytes.size(), offset, LengthPrefixedSize(capacity));
    const std::size_t length = std::min<std::size_t>(bytes[offset], capacity);
    return ReadBytesAsString(bytes, offset + 1, length);
}

} // namespace norrvik
