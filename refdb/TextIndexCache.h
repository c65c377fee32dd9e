// Text index files on disk and in memory. The file operations work on a file
// exactly as its format describes (append a line and patch the count; read,
// upper-case, quicksort and rewrite); the store uses them for files it cannot
// hold in memory. The cache holds text indexes in memory while the database
// is open: parsed once, appended to and sorted there with the same resulting
// bytes, and written to their files once, when the store writes them.
#pragma once

#include "refdb/Indexes.h"

#include <array>
#include <cstddef>
#include <utility>
#include <vector>
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

// Sorts like SortIndexes (upper-case, then the index files' quicksort), for
// entries whose first `sortedCount` are a result of that sort (upper case,
// ascending) and whose others were appended since. The quicksort runs on
// integer ranks that compare exactly as the texts do, so it makes the same
// exchanges, and leaves equal texts in the same order, much faster. When all
// texts differ, the ascending order is the only one any correct sort can
// leave, and the appended entries are merged into place without a sort.
// Returns false when the order of the entries is unchanged. `groups`, when
// given, carries from one sort to the next which entries have equal texts
// (one number per distinct text, ascending), so that the sorted part need
// not be compared again; a size other than sortedCount means not known.
bool SortAppendedIndexes(TIndexes& entries, std::size_t sortedCount,
                         std::vector<std::uint32_t>* groups = nullptr);

// The text indexes held in memory while the database is open. A held index
// is either the exact content of its file or, once entries were appended or
// its order changed, what the file is to hold when the held indexes are
// written (`Changed`).
class TTextIndexCache {
public:
    // The held entries, else nullptr.
    TIndexes* Find(TextIndex index);
    // Entries as read from a file: their order is not known to be sorted.
    void Set(TextIndex index, TIndexes entries);
    // Entries as this program's sort left them, as their file holds them.
    void SetSorted(TextIndex index, TIndexes entries);
    // Appends entries to a held index (which must be held).
    void Append(TextIndex index, std::vector<TIndexedString> entries);
    void Forget(TextIndex index);
    void Clear();
    // Sorts the held entries (SortIndexes) and returns them; nullptr when
    // none are held.
    TIndexes* Sort(TextIndex index);
    // True when the held entries differ from what their file holds.
    bool Changed(TextIndex index) const;
    // The held entries have been written to their file.
    void MarkWritten(TextIndex index);

private:
    struct Slot {
        TIndexes Entries;
        std::size_t SortedCount = 0; // entries [0, SortedCount) are sorted
        std::vector<std::uint32_t> Groups; // equal texts of the sorted part
        bool Changed = false;
    };
    std::array<std::optional<Slot>, TextIndexCount> slots_;
};

} // namespace norrvik
