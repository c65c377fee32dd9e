// Block repair of files copied from VAX/VMS: Veltro files are sequences of
// 512-byte blocks, and copying them to a PC may have added a line feed, or a
// carriage return and line feed, after every block. The repair removes them
// so that block k starts at 512 * k again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace norrvik {

inline constexpr std::size_t kVaxBlockSize = 512;

// Bytes added after every block by the copy: 0 (none found), 1 (line feed)
// or 2 (carriage return and line feed). Every terminator position that lies
// before the last byte must hold one; a content too short to hold any tested
// position counts as line-feed terminated.
std::size_t BlockTerminatorWidth(const std::vector<std::uint8_t>& content);

// Repairs `content` in place and resizes it to the repaired length:
// - without terminators the content stays as it is;
// - otherwise every block that lies wholly inside the content is moved down
//   to its place, a trailing piece shorter than a block is dropped, and a
//   content of at most one block becomes one block (missing bytes zero);
// - a content of whole blocks (more than one) whose detected terminators
//   would move no block is kept as it stands: the bytes that looked like
//   terminators are data (an unterminated pattern file whose first count is
//   10 has a line feed's value at byte 512).
// Returns the repaired length.
std::size_t RepairBlocks(std::vector<std::uint8_t>& content);

} // namespace norrvik
