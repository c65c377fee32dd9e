// The byte layout of a Tessaly database's main data file and text-line
// files, as the tests read them: where each field of the header record and
// of a pattern record lies, and small readers of records and text lines.
// Written from the file layouts, independent of the store's own constants,
// so a test catches a store that moves a field.
#pragma once

#include "common/ByteOrder.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace norrvik::test {

// ReferenceDatabase.PDB: a header record, then one record per pattern.
inline constexpr std::size_t kRecordSize = 3310;

// Header record.
inline constexpr std::size_t kHeaderPatternCount = 6;      // 32-bit
inline constexpr std::size_t kHeaderUserPatternCount = 10; // 32-bit

// Pattern record.
inline constexpr std::size_t kCodeField = 0;                   // 9 characters
inline constexpr std::size_t kRecordNumberField = 9;           // 32-bit
inline constexpr std::size_t kStatusField = 17;                // 16-bit
inline constexpr std::size_t kReferencesStartField = 20;       // 32-bit line number, -1 for none
inline constexpr std::size_t kCodedCommentsStartField = 24;    // 32-bit line number
inline constexpr std::size_t kCommentsStartField = 32;         // 32-bit line number
inline constexpr std::size_t kReferencesCountField = 36;       // 16-bit
inline constexpr std::size_t kCodedCommentsCountField = 38;    // 16-bit
inline constexpr std::size_t kCommentsCountField = 42;         // 16-bit
inline constexpr std::size_t kSubfilesField = 117;             // 32-bit bit set
inline constexpr std::size_t kFormulaLineField = 792;          // 67 characters
inline constexpr std::size_t kLineCountField = 859;            // 8-bit
inline constexpr std::size_t kDField = 860;                    // 204 singles
inline constexpr std::size_t kIntensityField = 1676;           // 204 16-bit
inline constexpr std::size_t kHField = 2084;                   // 204 16-bit
inline constexpr std::size_t kKField = 2492;                   // 204 16-bit
inline constexpr std::size_t kLField = 2900;                   // 204 16-bit
inline constexpr std::size_t kMaxIntensityField = 3308;        // 16-bit

// Comment.PDB and Literature.PDB: text lines of 70 characters.
inline constexpr std::size_t kTextLineSize = 70;

// Record `n` (0 = the header) of the main data file's bytes; throws
// std::out_of_range when the file is shorter.
ConstBytes RecordOf(const std::vector<std::uint8_t>& mainFile, std::size_t n);

// The bytes of the main data file of the database in `folder`.
std::vector<std::uint8_t> ReadMainDataFile(const std::filesystem::path& folder);

// `line` padded with blanks to a text line, as the text-line files store it.
std::string PaddedTextLine(const std::string& line);

// Line `n` of Comment.PDB in `folder`, as stored (70 characters); throws
// std::out_of_range when the file is shorter.
std::string CommentLineOf(const std::filesystem::path& folder, std::size_t n);

} // namespace norrvik::test
