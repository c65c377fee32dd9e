// The formula code of Veltro log entries: ASCII characters plus one-byte
// codes for chemical elements (128..228) and common groups (229..255).
#pragma once

#include "common/ByteOrder.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace norrvik {

inline constexpr std::uint8_t kVeltroFirstElementCode = 128;
inline constexpr std::uint8_t kVeltroLastElementCode = 228;
inline constexpr std::uint8_t kVeltroFirstGroupCode = 229;
inline constexpr std::size_t kVeltroGroupCount = 27;

// The groups of codes 229..255, in code order.
extern const std::array<std::string_view, kVeltroGroupCount> kVeltroGroups;

// A decoded formula and the position of the byte after its ending zero
// (`bytes.size()` when the formula runs to the end).
struct TVeltroDecodedFormula {
    std::string Formula;
    std::size_t End = 0;
};

// Decodes the formula that starts at the first byte of `bytes` and ends at a
// zero byte or at the end: a blank goes before every element and group,
// a blank that precedes "." and a digit is dropped, and the result is
// trimmed at both ends.
TVeltroDecodedFormula DecodeVeltroFormula(ConstBytes bytes);

} // namespace norrvik
