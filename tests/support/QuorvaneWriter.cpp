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
const std::vector<std::uint8_t> DataFileLead = {'Q', 'V', 0xAA, 0x55};

// An offset of an absent slot: far past the end of any file.
constexpr std::int32_t AbsentOffset = 0x7FFFFF00;

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
    AppendI16(out, pattern.lineCount.value_or(static_cast<std::int16_t>(pattern.lines.size())));
    for (const QuorvaneLine& line : pattern.lines) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &line.d, sizeof bits);
        AppendLE(out, bits, 8);
        AppendI16(out, line.intensity);
    }
    return at;
}

void PutIndexRecord(std::vector<std::uint8_t>& ind, std::size_t slot, const QuorvanePattern& pattern,
                    std::int32_t names, std::int32_t formula, std::int32_t lines)
{
    const std::size_t base = slot * QuorvaneIndexRecordSize;
    PutLE(ind, base + 0, static_cast<std::uint32_t>(names), 4);
    PutLE(ind, base + 4, static_cast<std::uint32_t>(formula), 4);
    PutLE(ind, base + 8, static_cast<std::uint32_t>(lines), 4);
    PutLE(ind, base + 12, pattern.subfileBits, 4);
    if (!pattern.present)
        return;
    // Fields a reader keeps but does not interpret: recognisable filler.
    PutLE(ind, base + 16, 0x11223344u, 4);
    for (std::size_t i = 20; i < 62; ++i)
        PutU8(ind, base + i, static_cast<std::uint8_t>(i));
    if (pattern.patternNumber.size() != 7)
        throw std::invalid_argument("pattern number must have 7 characters: " + pattern.patternNumber);
    for (std::size_t i = 0; i < 2; ++i)
        PutU8(ind, base + 62 + i, static_cast<std::uint8_t>(pattern.patternNumber[i]));
    for (std::size_t i = 0; i < 4; ++i)
        PutU8(ind, base + 64 + i, static_cast<std::uint8_t>(pattern.patternNumber[3 + i]));
    PutU8(ind, base + 68, 0x68);
    PutU8(ind, base + 69, 0x69);
    PutU8(ind, base + 70, 1);
    PutU8(ind, base + 71, pattern.deleted ? 'D' : ' ');
}

std::vector<std::uint8_t> BuildSetTable(const QuorvaneSetTable& table)
{
    std::vector<std::uint8_t> out;
    AppendI16(out, 0x0102); // skipped by readers
    AppendI16(out, table.setValue);
    AppendI16(out, table.byteCount.value_or(static_cast<std::int16_t>(4 * table.entries.size())));
    for (std::int32_t entry : table.entries)
        AppendLE(out, static_cast<std::uint32_t>(entry), 4);
    return out;
}

} // namespace

QuorvanePattern MakeQuorvanePattern(const std::string& patternNumber, const std::string& names,
                                    const std::string& formula, std::vector<QuorvaneLine> lines)
{
    QuorvanePattern pattern;
    pattern.patternNumber = patternNumber;
    pattern.names = names;
    pattern.formula = formula;
    pattern.lines = std::move(lines);
    return pattern;
}

QuorvaneDatabase ManyQuorvanePatterns(long count)
{
    QuorvaneDatabase database;
    database.referenceDatabase = true;
    for (long n = 0; n < count; ++n) {
        std::vector<QuorvaneLine> lines;
        for (long l = 0; l < 60; ++l)
            lines.push_back({0.7 + static_cast<double>((n * 61 + l * 977) % 100000) / 10000.0,
                             static_cast<std::int16_t>(1 + (n + l * 37) % 999)});
        database.patterns.push_back(MakeQuorvanePattern(Format("%02ld-%04ld", n / 10000, n % 10000),
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
    files.ind.assign((database.patterns.size() + 1) * QuorvaneIndexRecordSize, 0);
    files.dis = files.nam = files.frm = DataFileLead;

    PutLE(files.ind, 0, static_cast<std::uint32_t>(
                            database.patternCount.value_or(static_cast<std::int32_t>(database.patterns.size()))),
          4);
    PutU8(files.ind, 4, database.referenceDatabase ? 1 : 0);
    for (std::size_t i = 0; i < 2 && i < database.headerTag.size(); ++i)
        PutU8(files.ind, 5 + i, static_cast<std::uint8_t>(database.headerTag[i]));
    PutU8(files.ind, 7, static_cast<std::uint8_t>(database.headerSetValue));

    for (std::size_t k = 0; k < database.patterns.size(); ++k) {
        const QuorvanePattern& pattern = database.patterns[k];
        if (!pattern.present) {
            PutIndexRecord(files.ind, k + 1, pattern, AbsentOffset, AbsentOffset, AbsentOffset);
            continue;
        }
        const std::int32_t names = AppendTextRecord(files.nam, pattern.names, pattern.namesLength);
        const std::int32_t formula = AppendTextRecord(files.frm, pattern.formula, pattern.formulaLength);
        const std::int32_t lines = AppendLineList(files.dis, pattern);
        PutIndexRecord(files.ind, k + 1, pattern, names, formula, lines);
    }
    if (database.setTable)
        files.ils = BuildSetTable(*database.setTable);
    return files;
}

void WriteQuorvaneFiles(const std::filesystem::path& folder, const QuorvaneFiles& files, bool lowerCaseNames)
{
    const std::string base = lowerCaseNames ? "quorvane." : "QUORVANE.";
    const auto name = [&](const std::string& upper, const std::string& lower) {
        return folder / (base + (lowerCaseNames ? lower : upper));
    };
    std::filesystem::create_directories(folder);
    WriteFile(name("IND", "ind"), files.ind);
    WriteFile(name("DIS", "dis"), files.dis);
    WriteFile(name("NAM", "nam"), files.nam);
    WriteFile(name("FRM", "frm"), files.frm);
    if (files.ils)
        WriteFile(name("ILS", "ils"), *files.ils);
}

void WriteQuorvaneDatabase(const std::filesystem::path& folder, const QuorvaneDatabase& database,
                           bool lowerCaseNames)
{
    WriteQuorvaneFiles(folder, BuildQuorvaneFiles(database), lowerCaseNames);
}

} // namespace norrvik::test
