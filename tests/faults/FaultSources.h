// What the fault tests share: small source databases of two formats with
// their drivers, and images of a target folder to restore between runs.
#pragma once

#include "convert/Conversion.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace norrvik::test {

using Driver = void (*)(const std::string&, const std::string&, bool&, const ProgressCallback&, TConversionSummary*);

struct Format {
    const char* Name;
    void (*WriteSource)(const std::filesystem::path& folder);
    Driver Convert;
    bool SkipsDuplicates; // a rerun adds only the patterns that are missing
};

// Test output names the format.
inline void PrintTo(const Format& format, std::ostream* out)
{
    *out << format.Name;
}

// Three Kandor entries (user patterns added one by one; one without a
// pattern file) and a PDF1 reference database of three patterns (appended,
// indexes rebuilt at close).
void WriteKandorSource(const std::filesystem::path& folder);
void WriteQuorvaneReferenceSource(const std::filesystem::path& folder);
extern const Format kFormats[2];

// The files of a folder and of the folders in it, by their paths inside it.
using FolderImage = std::map<std::string, std::vector<std::uint8_t>>;
FolderImage TakeImage(const std::filesystem::path& folder);
void RestoreImage(const std::filesystem::path& folder, const FolderImage& image);

} // namespace norrvik::test
