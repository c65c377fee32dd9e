// Text index files on disk and in memory. The step-by-step operations work
// on a file exactly as its format describes (append a line and patch the
// count; read, upper-case, quicksort and rewrite). The cache holds a text
// index whose file is known to hold exactly FormatTextIndex(entries), so an
// index needs to be parsed only once while the database is open and appends
// and sorts can happen in memory with the same resulting bytes.
#pragma once

#include "refdb/Indexes.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace norrvik {

// Position of a text index in arrays of seven.
constexpr std::size_t TextIndexSlot(TextIndex index)
{
    return static_cast<std::size_t>(index);
}

// Appends the entry line "<recordNumber> <value>" to the text index and adds
// one to the count at its start, or creates the file with count 1 and the
// line when it does not exist. A value that is empty after trimming writes
// nothing. Raises EInOutError when the file cannot be written or its count
// is not a number.
void AppendIndexEntryToFile(const std::filesystem::path& path, std::int32_t recordNumber,
                            const std::string& value);

// Reads the text index (a missing file is an empty index), upper-cases and
// sorts it, and rewrites it. Returns the entries written, or nothing when the
// file cannot be read as a text index (it is then left untouched). A failure
// to write raises EInOutError: the file may then be incomplete.
std::optional<TIndexes> SortTextIndexFile(const std::filesystem::path& path);

// The entry a later read of the file gives for the line appended for
// `value`, or nothing when that line would not read back as one entry on its
// own (a line break in the value) or would not survive being rewritten.
std::optional<TIndexedString> ReadBackIndexEntry(std::int32_t recordNumber,
                                                 const std::string& value);

// The entries of the file's content when writing them back gives the same
// bytes; nothing otherwise (an unreadable file, other line ends, lines
// beyond the count).
std::optional<TIndexes> ParseExactTextIndex(const std::string& content,
                                            const std::string& fullPath);

class TTextIndexCache {
public:
    // The entries when the file is known to hold exactly them, else nullptr.
    TIndexes* Find(TextIndex index);
    void Set(TextIndex index, TIndexes entries);
    void Forget(TextIndex index);
    void Clear();

private:
    std::array<std::optional<TIndexes>, TextIndexCount> slots_;
};

} // namespace norrvik
