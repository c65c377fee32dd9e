// The prefix search of one text index file where it lies: a binary search
// over the file's bytes that reads only the blocks it touches, so that a
// search started as a command costs a few reads, not the parse of a file of
// many megabytes.
#pragma once

#include "refdb/Indexes.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace norrvik {

// Bytes the search in place reads at a time.
inline constexpr std::size_t kIndexBlockSize = 16384;

// The entries of the text index file `path` whose texts begin with
// `key` (compared as stored: the caller upper-cases it), in the file's
// order; none for a missing file.
//
// The search trusts the file to be as the store writes it (lines ending in
// CR LF, the entries in the index order, as many entry lines as the count
// line says) and checks all it reads: every whole line of each block it
// reads, and of the file's last 16 KiB, where entries appended by another
// program stand, must be an entry line in the index order, and so must the
// lines it meets on its way. Where one is not, it gives nothing: the caller
// then reads the file whole, which puts such a file in order or raises the
// index-file messages. A read that fails raises EInOutError naming the file.
std::optional<TIndexes> FindPrefixInPlace(const std::filesystem::path& path, std::string_view key,
                                          std::size_t blockSize = kIndexBlockSize);

} // namespace norrvik
