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
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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

// The text indexes held in memory while the database is open. A held index
// is either the exact content of its file or, once entries were appended or
// its order changed, what the file is to hold when the held indexes are
// written (`Changed`).
//
// Sorting a held index gives exactly the order SortIndexes (upper-case, then
// the index files' quicksort) would give the entries in their present order.
// The entries stay where they were appended; the order is an array of keys,
// each the entry's rank in the upper 32 bits (ranks compare exactly as the
// texts do, equal texts share a rank) and its place among the entries in the
// lower ones, and the quicksort runs on these keys (QuickSortRankedKeys).
// Ranks are spaced so that an appended text usually finds a free rank
// between its neighbours. Sorting an index that gained no entry since its
// last sort repeats that sort's exchanges exactly: such sorts are counted
// and done at once when the order is next needed (one quicksort gives the
// permutation, which is then applied as often as counted).
class TTextIndexCache {
public:
    bool Holds(TextIndex index) const;
    // Entries held in all indexes together, or in one.
    std::size_t HeldEntries() const;
    std::size_t HeldEntries(TextIndex index) const;
    // The held entries in their present order (an empty array when none).
    TIndexes Entries(TextIndex index);
    // The bytes of the held index's file: FormatTextIndex of Entries.
    std::string FileContent(TextIndex index);
    // Entries as their file holds them, in any order.
    void Set(TextIndex index, TIndexes entries);
    // Appends entries to a held index (which must be held).
    void Append(TextIndex index, std::vector<TIndexedString> entries);
    void Forget(TextIndex index);
    void Clear();
    // Sorts the held entries; false when none are held.
    bool Sort(TextIndex index);
    // True when the held entries differ from what their file holds.
    bool Changed(TextIndex index);
    // The held entries have been written to their file.
    void MarkWritten(TextIndex index);

private:
    struct TSlot {
        TIndexes Entries;                // in the order appended
        std::vector<std::uint64_t> Keys; // the order of the sorted entries
        // Entries [Keys.size(), Entries.size()) were appended since the last
        // sort and follow the sorted ones, in the order appended.
        std::uint64_t RepeatedSorts = 0; // sorts counted, not yet done
        bool Changed = false;
        TRankedKeyMarks Marks; // of Keys, kept from their last sort
    };

    static TSlot& Settled(TSlot& slot);
    std::array<std::optional<TSlot>, kTextIndexCount> slots_;
};

// The text index entries of added patterns kept while a rebuild is pending
// (it makes every index anew, so they are needed only when an index is
// wanted before it). All texts share one string, so that a run of many
// patterns keeps a few bytes per entry.
class TPendingTextEntries {
public:
    using Texts = std::array<std::vector<std::string>, kTextIndexCount>;

    bool Empty() const { return patterns_.empty(); }
    void Add(std::int32_t recordNumber, const Texts& texts);
    // Calls `apply` with each pattern's record number and texts, in the
    // order added.
    template <typename Apply>
    void ForEach(Apply&& apply) const
    {
        for (std::size_t p = 0; p < patterns_.size(); ++p)
            apply(patterns_[p].RecordNumber, TextsOf(p));
    }
    void Clear();

private:
    struct TPattern {
        std::int32_t RecordNumber = 0;
        std::uint32_t FirstText = 0; // in texts_
    };
    struct TText {
        std::uint32_t End = 0; // in arena_
        std::uint32_t Index = 0;
    };

    Texts TextsOf(std::size_t pattern) const;

    std::vector<TPattern> patterns_;
    std::vector<TText> texts_;
    std::string arena_;
};

} // namespace norrvik
