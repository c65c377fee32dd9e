// Builds Kandor user databases from plain data: the index file PDDATABS.DAT
// and pattern files (peak lists and scans of every revision, plain and
// extended headers), byte for byte after the documented layouts. Used by the
// tests, the fuzzers' seeds and the bundled samples.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace norrvik::test {

// The header fields of a pattern file; what is not listed here is written
// as zero bytes.
struct KandorHeader {
    std::string Revision = "V3"; // 2 characters at offset 0
    std::string FileType = "DI"; // 2 characters at offset 2
    double WavelengthAlpha1 = 1.54056;
    double WavelengthAlpha2 = 1.54439;
    double IntensityRatio = 0.5;
    std::uint8_t HalfStep = 0; // offset 126
    char Slit = 'V';           // offset 127, 'F' for a fixed slit
    std::uint16_t StepWord = 0;  // 1/200 degree
    std::uint16_t StartWord = 0; // 1/200 degree
    std::uint16_t EndWord = 0;   // 1/200 degree
    double StepDouble = 0.0;     // offsets 214, 222, 230
    double StartDouble = 0.0;
    double EndDouble = 0.0;
    // The peak count at offset 204; by default the number of peaks written.
    std::optional<std::int16_t> PeakCount;
    // A 560-byte extension after the 250-byte header (as "V5" scans have).
    bool Extended = false;
};

// The six words of a peak record, as stored.
struct KandorPeakWords {
    std::uint16_t Position = 0;   // 2-theta x 200
    std::uint16_t Width = 0;      // x 200
    std::uint16_t HeightRoot = 0; // 10 x sqrt(height)
    std::uint16_t BackgroundRoot = 0;
    std::uint16_t Figure = 0;     // x 10
    std::uint16_t Unused = 0;
};

// A peak at `twoTheta` whose height and background are stored as 10 x their
// square roots (exact when those are whole tenths).
KandorPeakWords KandorPeakAt(double twoTheta, double height, double background = 0.0);

// A pattern file with the header and the peak records after it.
std::vector<std::uint8_t> KandorPeakListFile(const KandorHeader& header,
                                             const std::vector<KandorPeakWords>& peaks);
// A pattern file with the header and `pointCount` 2-byte scan points.
std::vector<std::uint8_t> KandorScanFile(const KandorHeader& header, std::size_t pointCount);

// One entry of PDDATABS.DAT; fields of full width are written without NUL.
struct KandorIndexEntry {
    std::string BaseName; // up to 8 characters
    std::string Name;     // up to 20 characters
    std::string Formula;  // up to 20 characters
};

// PDDATABS.DAT holding the entries; `count` overrides the entry count field.
std::vector<std::uint8_t> KandorIndexFile(const std::vector<KandorIndexEntry>& entries,
                                          std::optional<std::int16_t> count = std::nullopt);

// An entry with its pattern file (written as <baseName><extension>; no file
// when `peaks` is empty and `writePatternFile` is false).
struct KandorEntryData {
    KandorIndexEntry Entry;
    std::vector<KandorPeakWords> Peaks;
    bool WritePatternFile = true;
    std::string Extension = ".di";
    KandorHeader Header;
};

// Writes PDDATABS.DAT and the entries' pattern files into `folder`.
void WriteKandorDatabase(const std::filesystem::path& folder,
                         const std::vector<KandorEntryData>& entries);

} // namespace norrvik::test
