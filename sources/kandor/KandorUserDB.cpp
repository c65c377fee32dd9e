// The Kandor user database: the index file and the lines of each entry.
#include "sources/kandor/KandorUserDB.h"

#include "common/ByteOrder.h"
#include "common/Exceptions.h"
#include "common/Files.h"
#include "common/Format.h"
#include "common/Text.h"
#include "sources/kandor/KandorPeakList.h"

#include <algorithm>
#include <cerrno>

namespace norrvik {

using namespace kandor;

namespace {

// The line the index reader's size check is known by in messages.
constexpr int kIndexSizeAssertionLine = 202;

// Bytes of the index file read at once: entries are asked for in order.
constexpr std::uint64_t kIndexWindow = 64 * 1024;

// Net intensities are scaled from this start value up to the strongest one.
constexpr double kInitialMaximum = -10000.0;
constexpr double kMinimumIntensity = 1.0;

// A text field of an index record: every byte up to the first NUL or the
// end of the field, unchanged.
std::string UntrimmedField(ConstBytes record, int offset, int size)
{
    std::string text =
        ReadBytesAsString(record, static_cast<std::size_t>(offset), static_cast<std::size_t>(size));
    text.erase(std::find(text.begin(), text.end(), '\0'), text.end());
    return text;
}

} // namespace

void TKandorUserDB::SetDBName(const std::string& value)
{
    dbName_ = value;
    folder_ = TSourceFolder(PathFromText(value));
    indexFile_.close();
    entryCount_ = 0;
    heldIndex_ = -1;
    indexPath_.clear();
    OpenIndexFile();
}

void TKandorUserDB::OpenIndexFile()
{
    const std::filesystem::path path = folder_.Locate(kIndexFileName);
    indexPath_ = PathText(path);
    const std::uintmax_t size = RegularFileSize(path);
    indexSize_ = size;
    window_.clear();
    windowStart_ = 0;
    errno = 0;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        ThrowFileError("Cannot read file", indexPath_);
    indexFile_ = std::move(file);

    if (size < static_cast<std::uintmax_t>(kIndexHeaderSize))
        ThrowCannotReadFile(indexPath_, Format("the file holds %zu bytes, too few for its entry count",
                                             static_cast<std::size_t>(size)));
    std::vector<std::uint8_t> header(static_cast<std::size_t>(kIndexHeaderSize));
    ReadIndexBytes(0, header);
    const int count = ReadI16LE(header, kIndexEntryCountOffset);
    if (count < 0)
        ThrowCannotReadFile(indexPath_, Format("the entry count %d is negative", count));
    const std::uintmax_t needed = static_cast<std::uintmax_t>(kIndexHeaderSize) +
                                  static_cast<std::uintmax_t>(kIndexEntrySize) * static_cast<std::uintmax_t>(count);
    if (size < needed)
        ThrowCannotReadFile(indexPath_,
                          Format("the file holds %zu bytes, too few for its %d entries (%zu bytes)",
                                 static_cast<std::size_t>(size), count, static_cast<std::size_t>(needed)));
    entryCount_ = count;
}

void TKandorUserDB::ReadIndexBytes(std::uint64_t offset, std::vector<std::uint8_t>& bytes)
{
    const std::uint64_t end = offset + bytes.size();
    if (offset < windowStart_ || end > windowStart_ + window_.size()) {
        // The next stretch, bounded by the window and the size found at opening.
        const std::uint64_t wanted = std::max<std::uint64_t>(
            bytes.size(), std::min<std::uint64_t>(kIndexWindow, indexSize_ > offset ? indexSize_ - offset : 0));
        window_.resize(static_cast<std::size_t>(wanted));
        windowStart_ = offset;
        indexFile_.clear();
        indexFile_.seekg(static_cast<std::streamoff>(offset));
        errno = 0;
        indexFile_.read(reinterpret_cast<char*>(window_.data()), static_cast<std::streamsize>(window_.size()));
        if (indexFile_.bad())
            ThrowFileError("Cannot read file", indexPath_);
        window_.resize(static_cast<std::size_t>(indexFile_.gcount()));
        // The size was checked at opening: a file that is shorter now
        // changed under the reader.
        if (window_.size() < bytes.size())
            throw EAssertionFailed("Assertion failure", "KandorUserDB", kIndexSizeAssertionLine);
    }
    const auto first = window_.begin() + static_cast<std::ptrdiff_t>(offset - windowStart_);
    std::copy(first, first + static_cast<std::ptrdiff_t>(bytes.size()), bytes.begin());
}

void TKandorUserDB::GetEntry(int index, TKandorReferencePattern& entry)
{
    if (index < 0 || index >= EntryCount())
        throw Exception("Index out of range");
    if (heldIndex_ != index) {
        heldIndex_ = -1;
        ReadEntry(index, held_);
        LoadLines(held_);
        held_.Loaded = true;
        heldIndex_ = index;
    }
    entry = held_;
}

void TKandorUserDB::ReadEntry(int index, TKandorReferencePattern& entry)
{
    std::vector<std::uint8_t> record(static_cast<std::size_t>(kIndexEntrySize));
    ReadIndexBytes(static_cast<std::uint64_t>(kIndexHeaderSize) +
                       static_cast<std::uint64_t>(kIndexEntrySize) * static_cast<std::uint64_t>(index),
                   record);
    entry = TKandorReferencePattern();
    entry.BaseName = UntrimmedField(record, kEntryBaseNameOffset, kEntryBaseNameSize);
    entry.Name = UntrimmedField(record, kEntryNameOffset, kEntryNameSize);
    entry.Formula = UntrimmedField(record, kEntryFormulaOffset, kEntryFormulaSize);
}

// The entry's pattern file: ".di" before ".rp". Index texts are 8-bit
// (Windows-1252); files copied from Windows carry the name in UTF-8 or,
// copied as raw bytes, as it stands in the index, so both are tried. A base
// name holding a path delimiter finds nothing (never a file outside).
std::optional<std::filesystem::path> TKandorUserDB::FindPatternFile(const std::string& baseName)
{
    std::vector<std::string> names{Windows1252ToUtf8(baseName)};
    if (names.front() != baseName)
        names.push_back(baseName);
    for (const char* extension : {".di", ".rp"})
        for (const std::string& name : names)
            if (std::optional<std::filesystem::path> file = folder_.Find(name + extension))
                return file;
    return std::nullopt;
}

void TKandorUserDB::LoadLines(TKandorReferencePattern& entry)
{
    entry.LineCount = 0;
    const std::optional<std::filesystem::path> file = FindPatternFile(entry.BaseName);
    entry.NoPatternFile = !file;
    if (!file)
        return; // an entry without a pattern file has no lines

    TKandorPeakList peaks;
    peaks.LoadFromFile(PathText(*file));
    const int lineCount = std::min(peaks.Count(), TKandorReferencePattern::kMaxLines);

    double maximum = kInitialMaximum;
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
        line.Intensity = percent >= kMinimumIntensity ? percent : kMinimumIntensity;
    }
    entry.LineCount = lineCount;
}

} // namespace norrvik
