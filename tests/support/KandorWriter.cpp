// Kandor index and pattern files written after their documented layouts.
#include "support/KandorWriter.h"

#include "common/ByteOrder.h"
#include "support/TempFolder.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace norrvik::test {

namespace {

constexpr std::size_t kHeaderBytes = 250;
constexpr std::size_t kExtensionBytes = 560;
constexpr std::size_t kPeakRecordBytes = 12;
constexpr std::size_t kIndexEntryBytes = 50;

// Copies up to `width` characters; the rest of the field stays zero.
void PutText(std::vector<std::uint8_t>& bytes, std::size_t offset, std::size_t width,
             const std::string& text)
{
    if (text.size() > width)
        throw std::invalid_argument("text longer than its field: " + text);
    std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

std::vector<std::uint8_t> Header(const KandorHeader& header, std::int16_t peakCount)
{
    std::vector<std::uint8_t> bytes(header.Extended ? kHeaderBytes + kExtensionBytes : kHeaderBytes, 0);
    PutText(bytes, 0, 2, header.Revision);
    PutText(bytes, 2, 2, header.FileType);
    WriteF64LE(bytes, 94, header.WavelengthAlpha1);
    WriteF64LE(bytes, 102, header.WavelengthAlpha2);
    WriteF64LE(bytes, 110, header.IntensityRatio);
    bytes[126] = header.HalfStep;
    bytes[127] = static_cast<std::uint8_t>(header.Slit);
    WriteU16LE(bytes, 128, header.StepWord);
    WriteU16LE(bytes, 130, header.StartWord);
    WriteU16LE(bytes, 132, header.EndWord);
    WriteI16LE(bytes, 204, header.PeakCount.value_or(peakCount));
    WriteF64LE(bytes, 214, header.StepDouble);
    WriteF64LE(bytes, 222, header.StartDouble);
    WriteF64LE(bytes, 230, header.EndDouble);
    return bytes;
}

std::uint16_t Word(double value)
{
    return static_cast<std::uint16_t>(std::lround(value));
}

} // namespace

KandorPeakWords KandorPeakAt(double twoTheta, double height, double background)
{
    KandorPeakWords words;
    words.Position = Word(twoTheta * 200.0);
    words.HeightRoot = Word(std::sqrt(height) * 10.0);
    words.BackgroundRoot = Word(std::sqrt(background) * 10.0);
    return words;
}

std::vector<std::uint8_t> KandorPeakListFile(const KandorHeader& header,
                                             const std::vector<KandorPeakWords>& peaks)
{
    std::vector<std::uint8_t> bytes = Header(header, static_cast<std::int16_t>(peaks.size()));
    for (const KandorPeakWords& peak : peaks) {
        const std::size_t at = bytes.size();
        bytes.resize(at + kPeakRecordBytes, 0);
        const std::uint16_t words[6] = {peak.Position, peak.Width,  peak.HeightRoot,
                                        peak.BackgroundRoot, peak.Figure, peak.Unused};
        for (std::size_t w = 0; w < 6; ++w)
            WriteU16LE(bytes, at + 2 * w, words[w]);
    }
    return bytes;
}

std::vector<std::uint8_t> KandorScanFile(const KandorHeader& header, std::size_t pointCount)
{
    std::vector<std::uint8_t> bytes = Header(header, 0);
    for (std::size_t i = 0; i < pointCount; ++i) {
        const std::size_t at = bytes.size();
        bytes.resize(at + 2, 0);
        WriteU16LE(bytes, at, static_cast<std::uint16_t>(100 + i % 1000));
    }
    return bytes;
}

std::vector<std::uint8_t> KandorIndexFile(const std::vector<KandorIndexEntry>& entries,
                                          std::optional<std::int16_t> count)
{
    std::vector<std::uint8_t> bytes(4, 0);
    WriteI16LE(bytes, 2, count.value_or(static_cast<std::int16_t>(entries.size())));
    for (const KandorIndexEntry& entry : entries) {
        const std::size_t at = bytes.size();
        bytes.resize(at + kIndexEntryBytes, 0);
        PutText(bytes, at, 8, entry.BaseName);
        PutText(bytes, at + 10, 20, entry.Name);
        PutText(bytes, at + 30, 20, entry.Formula);
    }
    return bytes;
}

void WriteKandorDatabase(const std::filesystem::path& folder,
                         const std::vector<KandorEntryData>& entries)
{
    std::vector<KandorIndexEntry> index;
    for (const KandorEntryData& data : entries) {
        index.push_back(data.Entry);
        if (data.WritePatternFile)
            WriteFile(folder / (data.Entry.BaseName + data.Extension),
                      KandorPeakListFile(data.Header, data.Peaks));
    }
    WriteFile(folder / "PDDATABS.DAT", KandorIndexFile(index));
}

} // namespace norrvik::test
