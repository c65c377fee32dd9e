// Reading the Veltro log and the pattern files of its entries.
#include "sources/veltro/VeltroUserDB.h"

#include "common/ByteOrder.h"
#include "common/Exceptions.h"
#include "common/Files.h"
#include "common/FixedChars.h"
#include "common/Format.h"
#include "common/Numbers.h"
#include "common/SourceFolder.h"
#include "common/Text.h"
#include "sources/veltro/BlockRepair.h"
#include "sources/veltro/VaxFloat.h"
#include "sources/veltro/VeltroFormula.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace norrvik {

namespace {

constexpr std::string_view kLogFileName = "uplog.pdf";
constexpr std::string_view kPatternFileExtension = ".di";

// The log: 64-byte records, record 0 the header, records 1..n the entries.
constexpr std::size_t kLogRecordSize = 64;
constexpr std::size_t kEntryCountOffset = 6;
constexpr std::size_t kHeaderValue8Offset = 8;
constexpr std::size_t kHeaderValue10Offset = 10;

constexpr std::size_t kEntryValue1Offset = 0;
constexpr std::size_t kEntryValue2Offset = 2;
constexpr std::size_t kPatternFileOffset = 4;
constexpr std::size_t kPatternFileWidth = 24;
constexpr std::size_t kFormulaOffset = 28;
static_assert(kFormulaOffset == kPatternFileOffset + kPatternFileWidth);
static_assert(kFormulaOffset < kLogRecordSize);

// The pattern file: the wavelength in block 0, then blocks of up to 51 lines,
// each block starting with its line count.
constexpr std::size_t kWavelengthOffset = 14;
constexpr std::size_t kLinesPerBlock = 51;
constexpr std::size_t kLineCountSize = 2;
constexpr std::size_t kLineEntrySize = 10;
constexpr std::size_t kTwoThetaCodeOffset = 0;
constexpr std::size_t kFirstIntensityOffset = 4;
constexpr std::size_t kSecondIntensityOffset = 6;
static_assert(kLineCountSize + kLinesPerBlock * kLineEntrySize <= kVaxBlockSize);
static_assert(kWavelengthOffset + kVaxFloatSize <= kVaxBlockSize);

constexpr double kTwoThetaStep = 0.005;
constexpr double kLeastPercent = 1.0;

// The 24-character name field up to its first zero byte, without a VMS
// directory part ("[USER.DB]quartz"), upper-cased and trimmed.
std::string PatternFileName(ConstBytes field)
{
    std::string name = ReadBytesAsString(field, 0, field.size());
    name.erase(std::min(name.find('\0'), name.size()));
    const std::size_t directoryEnd = name.find(']');
    if (directoryEnd != std::string::npos)
        name.erase(0, directoryEnd + 1);
    return Trim(UpperCaseAscii(name));
}

TVeltroReferencePattern ParseEntry(ConstBytes record)
{
    TVeltroReferencePattern entry;
    entry.Value1 = ReadI16LE(record, kEntryValue1Offset);
    entry.Value2 = ReadI16LE(record, kEntryValue2Offset);
    entry.PatternFile = PatternFileName(record.subspan(kPatternFileOffset, kPatternFileWidth));
    if (entry.PatternFile.empty()) {
        entry.LoadState = kVeltroNoPatternFile;
        return entry;
    }
    const ConstBytes texts = record.subspan(kFormulaOffset);
    const TVeltroDecodedFormula decoded = DecodeVeltroFormula(texts);
    entry.Formula = decoded.Formula;
    const ConstBytes name = texts.subspan(decoded.End);
    entry.Name = ReadFixedChars(name, static_cast<int>(name.size()));
    entry.LoadState = kVeltroLinesNotLoaded;
    return entry;
}

// Codes count 0.005 degree steps; a negative code marks a position half a
// step above the step -code - 1.
double TwoThetaFromCode(std::int16_t code)
{
    if (code > 0)
        return code * kTwoThetaStep;
    return (-static_cast<int>(code) - 1) * kTwoThetaStep + kTwoThetaStep / 2;
}

// The sum of the line counts at the start of every line block.
std::int64_t DeclaredLineCount(ConstBytes content)
{
    std::int64_t count = 0;
    for (std::size_t start = kVaxBlockSize; start + kLineCountSize <= content.size(); start += kVaxBlockSize)
        count += ReadI16LE(content, start);
    return count;
}

std::size_t LineEntryOffset(std::size_t line)
{
    return kVaxBlockSize * (line / kLinesPerBlock + 1) + kLineCountSize + kLineEntrySize * (line % kLinesPerBlock);
}

// Reads lines until the declared count, a 2-theta code of 0, or the first
// line entry that does not lie wholly inside the content.
std::vector<TVeltroLine> ReadLines(ConstBytes content, double wavelength)
{
    const std::int64_t declared = DeclaredLineCount(content);
    std::vector<TVeltroLine> lines;
    for (std::size_t i = 0; static_cast<std::int64_t>(i) < declared; ++i) {
        const std::size_t offset = LineEntryOffset(i);
        if (offset + kLineEntrySize > content.size())
            break;
        const std::int16_t code = ReadI16LE(content, offset + kTwoThetaCodeOffset);
        if (code == 0)
            break;
        const double p = ReadI16LE(content, offset + kFirstIntensityOffset);
        const double b = ReadI16LE(content, offset + kSecondIntensityOffset);
        lines.push_back({DSpacingFromTwoTheta(wavelength, TwoThetaFromCode(code)), p * p / 100 - b * b / 100});
    }
    return lines;
}

// Intensities in percent of the strongest line, at least 1 %.
void NormaliseIntensities(std::vector<TVeltroLine>& lines)
{
    double strongest = kLeastPercent;
    for (const TVeltroLine& line : lines)
        strongest = std::max(strongest, line.Intensity);
    for (TVeltroLine& line : lines)
        line.Intensity = std::max(line.Intensity / (strongest / 100), kLeastPercent);
}

} // namespace

void TVeltroUserDB::SetDBName(const std::string& folder)
{
    // The first folder is always read, even one whose text is "<Unknown>".
    if (folder == dbName_ && dbNameSet_)
        return;
    dbName_ = folder;
    dbNameSet_ = true;
    sourceFolder_ = TSourceFolder(PathFromText(folder));
    entries_.clear();
    entryCount_ = 0;
    linesHeldBy_ = -1;
    ReadLog();
}

void TVeltroUserDB::ReadLog()
{
    // No log: no entries. Anything else of that name (a folder, a pipe, a
    // device) is refused by the read with an error naming it.
    const std::filesystem::path path = sourceFolder_.Locate(kLogFileName);
    if (FileMissing(path))
        return;
    std::vector<std::uint8_t> content = ReadFileBytes(path);
    RepairBlocks(content);
    if (content.size() % kLogRecordSize != 0)
        throw Exception("Incorrect length of file UPLOG.PDF.");
    const ConstBytes log(content);
    const std::int16_t count = ReadI16LE(log, kEntryCountOffset);
    const std::size_t recordsHeld = content.size() / kLogRecordSize - 1;
    if (count < 0 || static_cast<std::size_t>(count) > recordsHeld)
        ThrowCannotReadFile(PathText(path), Format("the header counts %d entries but the file holds %zu entry records",
                                                   count, recordsHeld));
    std::vector<TVeltroReferencePattern> entries;
    entries.reserve(static_cast<std::size_t>(count));
    for (std::size_t e = 1; e <= static_cast<std::size_t>(count); ++e)
        entries.push_back(ParseEntry(log.subspan(e * kLogRecordSize, kLogRecordSize)));
    headerValue8_ = ReadI16LE(log, kHeaderValue8Offset);
    headerValue10_ = ReadI16LE(log, kHeaderValue10Offset);
    entries_ = std::move(entries);
    entryCount_ = count;
}

void TVeltroUserDB::GetEntry(std::int32_t index, TVeltroReferencePattern& entry)
{
    if (index < 0 || index >= entryCount_)
        throw Exception("Index out of range");
    TVeltroReferencePattern& stored = entries_[static_cast<std::size_t>(index)];
    if (stored.LoadState == kVeltroLinesNotLoaded) {
        ReleaseHeldLines();
        LoadLines(stored);
        if (stored.LoadState == kVeltroLinesLoaded)
            linesHeldBy_ = index;
    }
    entry = stored;
}

void TVeltroUserDB::ReleaseHeldLines()
{
    if (linesHeldBy_ < 0 || linesHeldBy_ >= entryCount_)
        return;
    TVeltroReferencePattern& held = entries_[static_cast<std::size_t>(linesHeldBy_)];
    held.Lines = {};
    held.LineCount = 0;
    held.LoadState = kVeltroLinesNotLoaded;
    linesHeldBy_ = -1;
}

void TVeltroUserDB::LoadLines(TVeltroReferencePattern& entry)
{
    const auto found = sourceFolder_.Find(entry.PatternFile + std::string(kPatternFileExtension));
    if (!found) {
        entry.LoadState = kVeltroNoPatternFile;
        return;
    }
    const std::filesystem::path& path = *found;
    std::vector<std::uint8_t> content = ReadFileBytes(path);
    // Block 0 holds the wavelength; a shorter file is damaged, and converting
    // it without lines would hide that.
    if (content.size() < kVaxBlockSize)
        ThrowCannotReadFile(PathText(path), Format("the file is shorter than one block (%zu of 512 bytes)",
                                                   content.size()));
    RepairBlocks(content);
    const float wavelength = VaxFloatToSingle(content, kWavelengthOffset);
    if (std::isnan(wavelength))
        ThrowCannotReadFile(PathText(path), "the wavelength is not a number (a VAX reserved operand)");
    std::vector<TVeltroLine> lines = ReadLines(content, wavelength);
    NormaliseIntensities(lines);
    entry.LineCount = static_cast<std::int32_t>(std::min<std::size_t>(lines.size(), std::numeric_limits<std::int32_t>::max()));
    entry.Lines = std::move(lines);
    entry.LoadState = kVeltroLinesLoaded;
}

} // namespace norrvik
