// What the files of the reference pattern share: the check of an index into
// one of its lists, and the message it raises.
#pragma once

namespace norrvik {

inline constexpr const char* kInvalidIndex = "Invalid index";

// Raises norrvik::Exception(message) unless 0 <= index < count.
void CheckIndex(int index, int count, const char* message);

} // namespace norrvik
