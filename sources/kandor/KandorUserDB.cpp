// The Kandor user database: the index file and the lines of each entry.
#include "sources/kandor/KandorUserDB.h"

#include "common/ByteOrder.h"
#include "common/Exceptions.h"
#include "common/Files.h"
#include "common/Format.h"
#include "common/Text.h"
#include "sources/kandor/KandorPeakList.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

namespace norrvik {

using namespace kandor;

namespace {

// The line the index reader's size check is known by in messages.
constexpr int IndexSizeAssertionLine = 202;

// Net intensities are scaled from this start value up to the strongest one.
constexpr double InitialMaximum = -10000.0;
constexpr double MinimumIntensity = 1.0;

// A text field of an index record: every byte up to the first NUL or the
// end of the field, unchanged.
std::string UntrimmedField(ConstBytes record, int offset, int size)
{
    std::string text =
        ReadBytesAsString(record, static_cast<std::size_t>(offset), static_cast<std::size_t>(size));
    text.erase(std::find(text.begin(), text.end(), '\0'), text.end());
    return text;
}

[[noreturn]] void ThrowDamagedIndex(const std::string& path, const std::string& reason)
{
    throw EInOutError(FileErrorMessage("Cannot read file", path, reason));
}

// The entry's pattern file: ".di" before ".rp". Index texts are 8-bit
// (Windows-1252); files copied from Windows carry the name in UTF-8 or,
// copied as raw bytes, as it stands in the index, so both are tried.
std::optional<std::filesystem::path> FindPatternFile(const std::filesystem::path& folder,
                                                     const std::string& baseName)
{
    std::vector<std::string> names{Windows1252ToUtf8(baseName)};
    if (names.front() != baseName)
        names.push_back(baseName);
    for (const char* extension : {".di", ".rp"})
        for (const std::string& name : names)
            if (SourceFileExists(folder, name + extension))
                return FindSourceFile(folder, name + extension);
    return std::nullopt;
}

} // namespace

void TKandorUserDB::SetDBName(const std::string& value)
{
    dbName_ = value;
    entries_.clear();
    indexPath_.clear();
    ReadIndexFile();
}

void TKandorUserDB::ReadIndexFile()
{
    const std::filesystem::path path = FindSourceFile(PathFromText(dbName_), IndexFileName);
    indexPath_ = PathText(path);
    const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (!error && bytes.size() < size)
        throw EAssertionFailed("Assertion failure", "KandorUserDB", IndexSizeAssertionLine);

    if (bytes.size() < static_cast<std::size_t>(IndexHeaderSize))
        ThrowDamagedIndex(indexPath_, Format("the file holds %zu bytes, too few for its entry count",
                                             bytes.size()));
    const int count = ReadI16LE(bytes, IndexEntryCountOffset);
    if (count < 0)
        ThrowDamagedIndex(indexPath_, Format("the entry count %d is negative", count));
    const std::size_t needed = static_cast<std::size_t>(IndexHeaderSize) +
                               static_cast<std::size_t>(IndexEntrySize) * static_cast<std::size_t>(count);
    if (bytes.size() < needed)
        ThrowDamagedIndex(indexPath_,
                          Format("the file holds %zu bytes, too few for its %d entries (%zu bytes)",
                                 bytes.size(), count, needed));

    std::vector<TKandorReferencePattern> entries(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ConstBytes record = ConstBytes(bytes).subspan(
            static_cast<std::size_t>(IndexHeaderSize) + static_cast<std::size_t>(IndexEntrySize) * i,
            static_cast<std::size_t>(IndexEntrySize));
        TKandorReferencePattern& entry = entries[i];
        entry.Loaded = false;
        entry.BaseName = UntrimmedField(record, EntryBaseNameOffset, EntryBaseNameSize);
        entry.Name = UntrimmedField(record, EntryNameOffset, EntryNameSize);
        entry.Formula = UntrimmedField(record, EntryFormulaOffset, EntryFormulaSize);
    }
    entries_ = std::move(entries);
}

void TKandorUserDB::GetEntry(int index, TKandorReferencePattern& entry)
{
    if (index < 0 || index >= EntryCount())
        throw Exception("Index out of range");
    TKandorReferencePattern& stored = entries_[static_cast<std::size_t>(index)];
    if (!stored.Loaded) {
        LoadLines(stored, index);
        stored.Loaded = true;
    }
    entry = stored;
}

void TKandorUserDB::LoadLines(TKandorReferencePattern& entry, int index) const
{
    entry.LineCount = 0;
    // A base name holding a path delimiter would reach outside the folder.
    if (entry.BaseName.find_first_of("/\\") != std::string::npos)
        ThrowDamagedIndex(indexPath_,
                          Format("entry %d names the pattern file \"%s\", which is not a file name",
                                 index + 1, entry.BaseName.c_str()));
    const std::optional<std::filesystem::path> file = FindPatternFile(PathFromText(dbName_), entry.BaseName);
    if (!file)
        return; // an entry without pattern file has no lines

    TKandorPeakList peaks;
    peaks.LoadFromFile(PathText(*file));
    const int lineCount = std::min(peaks.Count(), TKandorReferencePattern::MaxLines);

    double maximum = InitialMaximum;
    for (int i = 0; i < lineCount; ++i) {
        const TXRDPeak& peak = peaks.Peaks(i);
        KandorLine& line = entry.Lines[static_cast<std::size_t>(i)];
        line.D = peak.DSpacing();
        line.Intensity = peak.Height() - peak.Background();
        if (line.Intensity > maximum)
            maximum = line.Intensity;
    }
    // Without a positive net intensity there is no strongest line to scale
    // to: every line then gets the floor value.
    const double scale = maximum / 100.0;
    for (int i = 0; i < lineCount; ++i) {
        KandorLine& line = entry.Lines[static_cast<std::size_t>(i)];
        const double percent = scale > 0.0 ? line.Intensity / scale : 0.0;
        line.Intensity = percent >= MinimumIntensity ? percent : MinimumIntensity;
    }
    entry.LineCount = lineCount;
}

} // namespace norrvik
