// The ten index files of a target database, as pure functions on patterns,
// entries and bytes (no file access): which texts one pattern contributes to
// each of the seven text indexes (for a full rebuild and for adding a single
// pattern), the three fixed-size binary index records, the text-index file
// format (writing and parsing), the sort of a text index by the index files'
// own quicksort (IndexSort.h), and the binary search over a sorted index. The store does the file I/O.
#pragma once

#include "common/ByteOrder.h"
#include "refdb/DatabaseFiles.h"
#include "refdb/IndexSort.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace norrvik {

class TReferencePattern;

// ---------------------------------------------------------------------------
// Text index entries

// One entry of a text index: the entry text and the record number of its
// pattern (1 = first pattern of the main data file).
struct TIndexedString {
    std::string Text;
    std::int32_t RecordNumber = 0;
};
using TIndexes = std::vector<TIndexedString>;

// ---------------------------------------------------------------------------
// The seven text indexes and their file names

enum class TextIndex { ReferenceCode, Name, MineralName, Formula, Color, Journal, Author };

inline constexpr std::size_t kTextIndexCount = 7;

// "ReferenceCode.PDB", "Name.PDB", "MineralName.PDB", "Formula.PDB",
// "Color.PDB", "Journal.PDB", "Author.PDB".
std::string_view TextIndexFileName(TextIndex index);

// Order in which a rebuild (and a new database) creates the text indexes.
inline constexpr std::array<TextIndex, kTextIndexCount> kRebuildTextIndexOrder{
    TextIndex::ReferenceCode, TextIndex::Name,    TextIndex::MineralName, TextIndex::Formula,
    TextIndex::Color,         TextIndex::Journal, TextIndex::Author};

// Order in which the store sorts the seven text index files (the order
// changes no byte of any of them). An interrupted run is recognised by the
// run marker (DatabaseFiles.h), not by which file was written last.
inline constexpr std::array<TextIndex, kTextIndexCount> kSortTextIndexOrder{
    TextIndex::Name,   TextIndex::MineralName, TextIndex::Formula,      TextIndex::Color,
    TextIndex::Author, TextIndex::Journal,     TextIndex::ReferenceCode};

// Order in which adding one pattern appends its text entries (each file
// receives its own entries in their order; ReferenceCode.PDB last, as above).
inline constexpr std::array<TextIndex, kTextIndexCount> kAddPatternTextIndexOrder{
    TextIndex::Color, TextIndex::MineralName, TextIndex::Journal,      TextIndex::Author,
    TextIndex::Name,  TextIndex::Formula,     TextIndex::ReferenceCode};

// ---------------------------------------------------------------------------
// The records of the three binary indexes (their file names and record
// sizes are those of the table of database files, DatabaseFiles.h)

using IndexRecord = std::array<std::uint8_t, kIndexRecordSize>;
using CrystalIndexRecord = std::array<std::uint8_t, kCrystalIndexRecordSize>;
using StrongestLinesRecord = std::array<std::uint8_t, kStrongestLinesRecordSize>;

// Capacity of the length-prefixed reference code in the binary records.
inline constexpr std::size_t kIndexReferenceCodeCapacity = 9;

// ---------------------------------------------------------------------------
// Entry texts one pattern contributes

// Replaces every character with a code below 32 by a blank.
std::string CleanIndexText(std::string_view text);

// The stored reference code of the pattern record: its (up to) 9 characters,
// up to the first zero byte, no dashes, not trimmed.
std::string StoredReferenceCodeText(const TReferencePattern& pattern);

// The entry texts the pattern contributes to `index` during a full rebuild,
// in the order they are written: control characters become blanks, empty
// values are left out (except the reference code, which always gives exactly
// one entry), names of every type in record order, the formula line only when
// it differs from both formulas. The text lists are read through the pattern's
// getters, so a pattern linked to its database loads them on demand.
std::vector<std::string> RebuildIndexTexts(TextIndex index, TReferencePattern& pattern);

// The values adding one pattern appends to `index`, in the order appended, as
// the getters return them (names trimmed; formula line only when it differs
// from both formulas). Every value is returned, empty ones included: the
// store's append step writes nothing for a value that is empty after trimming.
// Line breaks (CR, LF) inside a value become blanks, as one entry must stay on
// one line of the index file (a colour of two comments is joined by a line
// feed); every other character is kept as the getter gives it.
std::vector<std::string> AddedIndexTexts(TextIndex index, TReferencePattern& pattern);

// ---------------------------------------------------------------------------
// Binary index records

// "Index.PDB": elements, subfiles, status, status byte, reference code.
IndexRecord MakeIndexRecord(const TReferencePattern& pattern);

// "CrystalIndex.PDB": the crystal-data values of the record and the code.
CrystalIndexRecord MakeCrystalIndexRecord(const TReferencePattern& pattern);

// "StrongestLines.PDB": sorts the pattern's lines by intensity, codes the
// min(line count, 8) strongest (d-code 16384 / d, intensity relative x 10,
// rounded halves to even, clamped into 16 bits: d = 0 gives 32767), then sorts
// the lines back by descending d. Unused slots are zero.
StrongestLinesRecord MakeStrongestLinesRecord(TReferencePattern& pattern);
// The same record, the pattern's lines left as they are (for a pattern that
// is let go at once).
StrongestLinesRecord MakeStrongestLinesRecordOf(const TReferencePattern& pattern);

// True when two StrongestLines.PDB records say the same: the reference
// number, the count and the first `count` slots of both arrays (the slots
// beyond the count and the padding carry no meaning). Records of another
// size are never the same.
bool SameStrongestLines(ConstBytes a, ConstBytes b);

// The d-code of one line: 16384 / d in extended precision, rounded halves to
// even, clamped into int16; d = 0 gives 32767 and a NaN gives 0.
std::int16_t StrongestLineDCode(float d);
// The intensity code of one line: relative intensity (percent) x 10, rounded
// halves to even, clamped into int16 (a NaN gives 0).
std::int16_t StrongestLineIntensityCode(float relativeIntensity);

// The meaningful part of a "StrongestLines.PDB" record: the reference
// number and the first Count line slots (Count at most 8; the slots beyond
// it are left zero here, whatever the file holds).
struct TStrongestLinesEntry {
    std::int32_t ReferenceNumber = 0;
    std::uint8_t Count = 0;
    std::array<std::int16_t, 8> DCodes{};
    std::array<std::int16_t, 8> Intensities{}; // 1000 = the strongest line
};
TStrongestLinesEntry ReadStrongestLinesRecord(ConstBytes record);
// The d-spacing a d-code stands for, 16384 / code; 0 for a code of 0 or
// less (no d-spacing is coded so).
double DSpacingOfDCode(std::int16_t code);

// ---------------------------------------------------------------------------
// Text index files

// The count line's text: the number right-aligned in 7 characters
// ("      0"). A number of more than 7 digits gives a longer text; a caller
// that patches the count in place must check the length.
std::string FormatIndexCount(std::size_t count);

// One entry line: "<record number> <text>\r\n".
std::string FormatIndexEntryLine(std::int32_t recordNumber, std::string_view text);
// The most bytes of an entry line beside its text: the record number's 11
// digits and sign, the blank and the line end.
inline constexpr std::size_t kIndexEntryLineFrame = 16;
// At least the bytes of the file FormatTextIndex makes of these entries, in
// any order: room for its content.
std::size_t TextIndexFileBytesAtMost(const TIndexes& entries);
// Appends the entry line to `out` (no temporary string).
void AppendIndexEntryLine(std::string& out, std::int32_t recordNumber, std::string_view text);

// The bytes of a whole text index: the count line, then one line per entry
// in array order; every line ends with CR LF.
std::string FormatTextIndex(const TIndexes& entries);

// Parses the bytes of a text index file. Lines end with CR LF, LF or CR.
// The first line is the entry count (leading blanks allowed); each entry line
// is trimmed, the text before its first blank is the record number and the
// text after that blank is the entry text (a line without a blank is a record
// number with an empty text). Lines after the counted ones are ignored.
// Raises norrvik::Exception with `fullPath` in the message:
//   "No data in index file "<path>"."  the first line is empty (or no line);
//   "Error in index file <path>"       the count or a record number is not a
//                                      decimal 32-bit number, the count is
//                                      negative, or the file holds fewer
//                                      entry lines than its count.
TIndexes ParseTextIndex(std::string_view content, const std::string& fullPath);

// One entry of a text index as it stands in the file's bytes: the text is a
// view into them.
struct TIndexEntryView {
    std::string_view Text;
    std::int32_t RecordNumber = 0;
};
// The two kinds of line ParseTextIndex reads (line end removed), for a
// reader that takes single lines from the file: the count line (leading
// blanks allowed; false unless a decimal 32-bit number >= 0) and an entry
// line (trimmed; false when the record number is not a decimal 32-bit
// number; the text is a view into `line`).
bool ParseIndexCountLine(std::string_view line, std::int32_t& count);
bool ParseIndexEntryLine(std::string_view line, TIndexEntryView& entry);

// ParseTextIndex without copying a text (a searcher reads large indexes
// whole): the views point into `content`, which must outlive them.
std::vector<TIndexEntryView> ParseTextIndexViews(std::string_view content, const std::string& fullPath);

// ---------------------------------------------------------------------------
// Sorting and searching

// Byte-wise comparison of entry texts as unsigned 8-bit values; a proper
// prefix is smaller.
bool IndexTextLess(std::string_view a, std::string_view b);
// True when `text` begins with `prefix`, byte for byte. In an index sorted
// by IndexTextLess the texts with a prefix stand together, right after the
// texts below the prefix.
bool IndexTextHasPrefix(std::string_view text, std::string_view prefix);

// Upper-cases every entry text in place (ASCII letters a..z only).
void UpperCaseIndexTexts(TIndexes& entries);

// Sorts entries lo..hi by text with the index files' own quicksort (ranges of
// fewer than 11 entries by an exchange step that also exchanges equal texts,
// larger ones by partitioning around the middle entry). The order it leaves
// equal texts in is part of the file format. Record numbers are never
// compared. A range with hi < lo is left as it is.
void QuickSortIndexes(TIndexes& entries, std::ptrdiff_t lo, std::ptrdiff_t hi);

// Room to reserve for an index of `entries` entries: a sixteenth more, so
// that the first entries a run adds to a held index do not move all the
// others into an array twice the size.
std::size_t IndexCapacityFor(std::size_t entries);

// Upper-cases the texts and sorts all entries (QuickSortIndexes over 0..n-1).
void SortIndexes(TIndexes& entries);

// Binary search of `key` (upper-cased first) in entries sorted by text;
// returns the record number of the first of several equal entries and stores
// its position in `position`. Raises norrvik::Exception "Indexes not read"
// for an empty array and "No pattern found with "Reference code <key>"."
// (the key as given) when no entry matches.
std::int32_t FindInIndex(const TIndexes& entries, std::int32_t& position, const std::string& key);

// The position FindInIndex finds, or nothing where it raises an error.
std::optional<std::size_t> FindIndexPosition(const TIndexes& entries, const std::string& key);

} // namespace norrvik
