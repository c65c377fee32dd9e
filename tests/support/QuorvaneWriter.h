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
    double d = 0.0;
    std::int16_t intensity = 0;
};

// One slot of the index. An absent slot is written with its present flag 0
// and offsets that point far past the end of every file.
struct QuorvanePattern {
    bool present = true;
    std::string patternNumber = "00-0000"; // set (2 characters), "-", serial (4 characters)
    std::string names;                     // the whole text of the names record
    std::string formula;                   // the whole text of the formula record
    std::uint32_t subfileBits = 0;
    std::vector<QuorvaneLine> lines;
    bool deleted = false;
    // Written instead of the true values when set, for damaged records.
    std::optional<std::int16_t> namesLength;
    std::optional<std::int16_t> formulaLength;
    std::optional<std::int16_t> lineCount;
};

// The set table file of a PDF1 reference database.
struct QuorvaneSetTable {
    std::int16_t setValue = 0;
    std::vector<std::int32_t> entries;       // written as 4 bytes each
    std::optional<std::int16_t> byteCount;   // written instead of 4 * entries when set
};

struct QuorvaneDatabase {
    bool referenceDatabase = false;
    std::string headerTag = "QV";
    std::int8_t headerSetValue = 0;
    std::optional<std::int32_t> patternCount; // written instead of patterns.size() when set
    std::vector<QuorvanePattern> patterns;
    std::optional<QuorvaneSetTable> setTable; // QUORVANE.ILS, written only when set
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
    std::vector<std::uint8_t> ind;
    std::vector<std::uint8_t> dis;
    std::vector<std::uint8_t> nam;
    std::vector<std::uint8_t> frm;
    std::optional<std::vector<std::uint8_t>> ils;
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
inline constexpr std::size_t QuorvaneIndexRecordSize = 72;
inline constexpr std::size_t QuorvaneNamesOffsetField = 0;
inline constexpr std::size_t QuorvaneFormulaOffsetField = 4;
inline constexpr std::size_t QuorvaneLinesOffsetField = 8;

} // namespace norrvik::test
