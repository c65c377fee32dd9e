// Builds Quorvane database file sets (QUORVANE.IND, .DIS, .NAM, .FRM and the
// optional .ILS) from plain data, for tests, fuzz seeds and bundled samples.
// The bytes follow the file layouts of the format, independent of the reader.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace norrvik::test {

struct QuorvaneLine {
    double D = 0.0;
    std::int16_t Intensity = 0;
};

// One slot of the index. An absent slot is written with its present flag 0
// and offsets that point far past the end of every file.
struct QuorvanePattern {
    bool Present = true;
    std::string PatternNumber = "00-0000"; // set (2 characters), "-", serial (4 characters)
    std::string Names;                     // the whole text of the names record
    std::string Formula;                   // the whole text of the formula record
    std::uint32_t SubfileBits = 0;
    std::vector<QuorvaneLine> Lines;
    bool Deleted = false;
    // Written instead of the true values when set, for damaged records.
    std::optional<std::int16_t> NamesLength;
    std::optional<std::int16_t> FormulaLength;
    std::optional<std::int16_t> LineCount;
};

// The set table file of a PDF1 reference database.
struct QuorvaneSetTable {
    std::int16_t SetValue = 0;
    std::vector<std::int32_t> Entries;       // written as 4 bytes each
    std::optional<std::int16_t> ByteCount;   // written instead of 4 * entries when set
};

struct QuorvaneDatabase {
    bool ReferenceDatabase = false;
    std::string HeaderTag = "QV";
    std::int8_t HeaderSetValue = 0;
    std::optional<std::int32_t> PatternCount; // written instead of patterns.size() when set
    std::vector<QuorvanePattern> Patterns;
    std::optional<QuorvaneSetTable> SetTable; // QUORVANE.ILS, written only when set
};

// A present pattern with the given texts and lines.
QuorvanePattern MakeQuorvanePattern(const std::string& patternNumber, const std::string& names,
                                    const std::string& formula, std::vector<QuorvaneLine> lines);

// A PDF1 reference database of `count` patterns of 60 lines each, numbered
// 00-0000, 00-0001, ...: a source whose conversion runs for some seconds.
QuorvaneDatabase ManyQuorvanePatterns(long count);

// The names record text of tagged items: {{'M', "quartz"}, {'C', "silica"}}
// gives "quartz~M~silica~C~".
std::string QuorvaneNames(const std::vector<std::pair<char, std::string>>& items);

// The bytes of each file of a set, before they are written (tests may damage them).
struct QuorvaneFiles {
    std::vector<std::uint8_t> Ind;
    std::vector<std::uint8_t> Dis;
    std::vector<std::uint8_t> Nam;
    std::vector<std::uint8_t> Frm;
    std::optional<std::vector<std::uint8_t>> Ils;
};

QuorvaneFiles BuildQuorvaneFiles(const QuorvaneDatabase& database);

// Writes the files into `folder` (created when missing) as QUORVANE.<ext>;
// `lowerCaseNames` writes quorvane.<ext> instead, as copies from other
// systems may carry them.
void WriteQuorvaneFiles(const std::filesystem::path& folder, const QuorvaneFiles& files,
                        bool lowerCaseNames = false);

void WriteQuorvaneDatabase(const std::filesystem::path& folder, const QuorvaneDatabase& database,
                           bool lowerCaseNames = false);

// Byte offsets in QUORVANE.IND of the fields a test may want to damage.
inline constexpr std::size_t kQuorvaneIndexRecordSize = 72;
inline constexpr std::size_t kQuorvaneNamesOffsetField = 0;
inline constexpr std::size_t kQuorvaneFormulaOffsetField = 4;
inline constexpr std::size_t kQuorvaneLinesOffsetField = 8;

} // namespace norrvik::test
