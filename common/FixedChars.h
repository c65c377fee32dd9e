// Fixed-width character fields of binary records: a value shorter than its
// field is followed by one NUL byte (the bytes after it stay as they were); a
// value of full width has no terminator.
#pragma once

#include "ByteOrder.h"

#include <string>
#include <string_view>

namespace norrvik {

// Takes the characters up to the first NUL or up to maxLength characters
// (never past the end of `chars`), whichever comes first, and returns them
// trimmed at both ends (every character <= 32 removed).
std::string ReadFixedChars(ConstBytes chars, int maxLength);

// Writes `value` to the start of `dest`, followed by one NUL when it is
// shorter than maxLength. Raises norrvik::Exception "The actual length of the
// string (%d) is larger than the allowed length (%d)." when the value is
// longer than maxLength; the field is then left unchanged. `dest` must hold
// at least maxLength bytes.
void WriteFixedChars(MutableBytes dest, int maxLength, std::string_view value);

} // namespace norrvik
