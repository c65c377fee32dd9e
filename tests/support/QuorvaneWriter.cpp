// Writer of Quorvane database file sets from plain data.
#include "support/QuorvaneWriter.h"

#include "common/Format.h"
#include "support/TempFolder.h"

#include <cstring>
#include <stdexcept>

namespace norrvik::test {

namespace {

// Each data file starts with a few filler bytes, so that no record sits at
// offset 0 and a reader that ignores the offsets is caught.
const std::vector<std::uint8_t> kDataFileLead = {'Q', 'V', 0xAA, 0x55};

// An offset of an absent slot: far past the end of any file.
constexpr std::int32_t kAbsentOffset = 0x7FFFFF00;

void PutU8(std::vector<std::uint8_t>& out, std::size_t at, std::uint8_t value)
{
    out.at(at) = value;
}

void PutLE(std::vector<std::uint8_t>& out, std::size_t at, std::uint64_t value, std::size_t width)
{
    for (std::size_t i = 0; i < width; ++i)
        out.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

void AppendLE(std::vector<std::uint8_t>& out, std::uint64_t value, std::size_t width)
{
    out.resize(out.size() + width);
    PutLE(out, out.size() - width, value, width);
}

void AppendI16(std::vector<std::uint8_t>& out, std::int16_t value)
{
    AppendLE(out, static_cast<std::uint16_t>(value), 2);
}

void AppendText(std::vector<std::uint8_t>& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

// A names or formula record: int16 length, then the text.
std::int32_t AppendTextRecord(std::vector<std::uint8_t>& out, const std::string& text,
                              std::optional<std::int16_t> length)
{
    const auto at = static_cast<std::int32_t>(out.size());
    AppendI16(out, length.value_or(static_cast<std::int16_t>(text.size())));
    AppendText(out, text);
    return at;
}

// A line list: int16 count, then per line a double and an int16.
std::int32_t AppendLineList(std::vector<std::uint8_t>& out, const QuorvanePattern& pattern)
{
    const auto at = static_cast<std::int32_t>(out.size());
    AppendI16(out, pattern.LineCount.value_or(static_cast<std::int16_t>(pattern.Lines.size())));
    for (const QuorvaneLine& line : pattern.Lines) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &line.D, sizeof bits);
        AppendLE(out, bits, 8);
        AppendI16(out, line.Intensity);
    }
    return at;
}

void PutIndexRecord(std::vector<std::uint8_t>& ind, std::size_t slot, const QuorvanePattern& pattern,
                    std::int32_t names, std::int32_t formula, std::int32_t lines)
{
    const std::size_t base = slot * kQuorvaneIndexRecordSize;
    PutLE(ind, base + 0, static_cast<std::uint32_t>(names), 4);
    PutLE(ind, base + 4, static_cast<std::uint32_t>(formula), 4);
    PutLE(ind, base + 8, static_cast<std::uint32_t>(lines), 4);
    PutLE(ind, base + 12, pattern.SubfileBits, 4);
    if (!pattern.Present)
        return;
    // Fields a reader keeps but does not interpret: recognisable filler.
    PutLE(ind, base + 16, 0x11223344u, 4);
    for (std::size_t i = 20; i < 62; ++i)
        PutU8(ind, base + i, static_cast<std::uint8_t>(i));
    if (pattern.PatternNumber.size() != 7)
        throw std::invalid_argument("pattern number must have 7 characters: " + pattern.PatternNumber);
    for (std::size_t i = 0; i < 2; ++i)
        PutU8(ind, base + 62 + i, static_cast<std::uint8_t>(pattern.PatternNumber[i]));
    for (std::size_t i = 0; i < 4; ++i)
        PutU8(ind, base + 64 + i, static_cast<std::uint8_t>(pattern.PatternNumber[3 + i]));
    PutU8(ind, base + 68, 0x68);
    PutU8(ind, base + 69, 0x69);
    PutU8(ind, base + 70, 1);
    PutU8(ind, base + 71, pattern.Deleted ? 'D' : ' ');
}

std::vector<std::uint8_t> BuildSetTable(const QuorvaneSetTable& table)
{
    std::vector<std::uint8_t> out;
    AppendI16(out, 0x0102); // skipped by readers
    AppendI16(out, table.SetValue);
    AppendI16(out, table.ByteCount.value_or(static_cast<std::int16_t>(4 * table.Entries.size())));
    for (std::int32_t entry : table.Entries)
        AppendLE(out, static_cast<std::uint32_t>(entry), 4);
    return out;
}

} // namespace

QuorvanePattern MakeQuorvanePattern(const std::string& patternNumber, const std::string& names,
                                    const std::string& formula, std::vector<QuorvaneLine> lines)
{
    QuorvanePattern pattern;
    pattern.PatternNumber = patternNumber;
    pattern.Names = names;
    pattern.Formula = formula;
    pattern.Lines = std::move(lines);
    return pattern;
}

QuorvaneDatabase ManyQuorvanePatterns(long count)
{
    QuorvaneDatabase database;
    database.ReferenceDatabase = true;
    for (long n = 0; n < count; ++n) {
        std::vector<QuorvaneLine> lines;
        for (long l = 0; l < 60; ++l)
            lines.push_back({0.7 + static_cast<double>((n * 61 + l * 977) % 100000) / 10000.0,
                             static_cast<std::int16_t>(1 + (n + l * 37) % 999)});
        database.Patterns.push_back(MakeQuorvanePattern(Format("%02ld-%04ld", n / 10000, n % 10000),
                                                        QuorvaneNames({{'M', Format("mineral %ld", n)}}), "SI O2",
                                                        std::move(lines)));
    }
    return database;
}

std::string QuorvaneNames(const std::vector<std::pair<char, std::string>>& items)
{
    std::string text;
    for (const auto& [tag, item] : items)
        text += item + "~" + tag + "~";
    return text;
}

QuorvaneFiles BuildQuorvaneFiles(const QuorvaneDatabase& database)
{
    QuorvaneFiles files;
    files.Ind.assign((database.Patterns.size() + 1) * kQuorvaneIndexRecordSize, 0);
    files.Dis = files.Nam = files.Frm = kDataFileLead;

    PutLE(files.Ind, 0, static_cast<std::uint32_t>(
                            database.PatternCount.value_or(static_cast<std::int32_t>(database.Patterns.size()))),
          4);
    PutU8(files.Ind, 4, database.ReferenceDatabase ? 1 : 0);
    for (std::size_t i = 0; i < 2 && i < database.HeaderTag.size(); ++i)
        PutU8(files.Ind, 5 + i, static_cast<std::uint8_t>(database.HeaderTag[i]));
    PutU8(files.Ind, 7, static_cast<std::uint8_t>(database.HeaderSetValue));

    for (std::size_t k = 0; k < database.Patterns.size(); ++k) {
        const QuorvanePattern& pattern = database.Patterns[k];
        if (!pattern.Present) {
            PutIndexRecord(files.Ind, k + 1, pattern, kAbsentOffset, kAbsentOffset, kAbsentOffset);
            continue;
        }
        const std::int32_t names = AppendTextRecord(files.Nam, pattern.Names, pattern.NamesLength);
        const std::int32_t formula = AppendTextRecord(files.Frm, pattern.Formula, pattern.FormulaLength);
        const std::int32_t lines = AppendLineList(files.Dis, pattern);
        PutIndexRecord(files.Ind, k + 1, pattern, names, formula, lines);
    }
    if (database.SetTable)
        files.Ils = BuildSetTable(*database.SetTable);
    return files;
}

void WriteQuorvaneFiles(const std::filesystem::path& folder, const QuorvaneFiles& files, bool lowerCaseNames)
{
    const std::string base = lowerCaseNames ? "quorvane." : "QUORVANE.";
    const auto name = [&](const std::string& upper, const std::string& lower) {
        return folder / (base + (lowerCaseNames ? lower : upper));
    };
    std::filesystem::create_directories(folder);
    WriteFile(name("IND", "ind"), files.Ind);
    WriteFile(name("DIS", "dis"), files.Dis);
    WriteFile(name("NAM", "nam"), files.Nam);
    WriteFile(name("FRM", "frm"), files.Frm);
    if (files.Ils)
        WriteFile(name("ILS", "ils"), *files.Ils);
}

void WriteQuorvaneDatabase(const std::filesystem::path& folder, const QuorvaneDatabase& database,
                           bool lowerCaseNames)
{
    WriteQuorvaneFiles(folder, BuildQuorvaneFiles(database), lowerCaseNames);
}

} // namespace norrvik::test
