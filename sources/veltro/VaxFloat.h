// The VAX F_floating single-precision format of files written on VAX/VMS
// machines, converted into the host's IEEE single precision.
#pragma once

#include "common/ByteOrder.h"

#include <cstddef>
#include <cstdint>

namespace norrvik {

inline constexpr std::size_t kVaxFloatSize = 4;

// The value of the VAX F_floating number in the 4 bytes at `offset`.
//
// The bytes are two little-endian 16-bit words; the first holds the sign
// (bit 15), the 8-bit exponent e (bits 7..14, excess 128) and the high 7
// fraction bits, the second the low 16 fraction bits. The value is
// 0.1f x 2^(e - 128), the hidden bit lying before the fraction, which is
// 1.f x 2^(e - 129): swapping the words and lowering the exponent by 2 gives
// the same bits in IEEE single precision for every e >= 3.
//
// Values the swap cannot express are worked out from the definition:
// exponents 1 and 2 give IEEE subnormal numbers (rounded to nearest); an
// exponent of 0 with the sign clear is zero whatever the fraction; an exponent
// of 0 with the sign set is the VAX reserved operand, returned as a quiet NaN.
float VaxFloatToSingle(ConstBytes bytes, std::size_t offset);

// The same for the two words already read.
float VaxFloatFromWords(std::uint16_t high, std::uint16_t low);

} // namespace norrvik
