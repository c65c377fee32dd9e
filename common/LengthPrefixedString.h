// Length-prefixed strings of binary records: one length byte, then the
// characters, then zero bytes up to the capacity (capacity + 1 bytes in all).
// The database header (version, title) and the binary index files hold them.
#pragma once

#include "ByteOrder.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace norrvik {

// Bytes a length-prefixed string of `capacity` characters takes.
constexpr std::size_t LengthPrefixedSize(std::size_t capacity)
{
    return capacity + 1;
}

// Writes `text` at `offset`: its length, its characters, then zero bytes up to
// `capacity` characters. A text longer than the capacity (at most 255) keeps
// only its first `capacity` characters, as the field cannot hold more; callers
// that must not lose characters check the length first.
void WriteLengthPrefixedString(MutableBytes bytes, std::size_t offset, std::size_t capacity,
                               std::string_view text);

// Reads the string at `offset`. A length byte above the capacity (a damaged
// record) is taken as the capacity, so nothing past the field is read.
std::string ReadLengthPrefixedString(ConstBytes bytes, std::size_t offset, std::size_t capacity);

} // namespace norrvik
