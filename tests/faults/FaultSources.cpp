#include "FaultSources.h"

#include "support/KandorWriter.h"
#include "support/QuorvaneWriter.h"
#include "support/TempFolder.h"

namespace norrvik::test {

namespace fs = std::filesystem;

void WriteKandorSource(const fs::path& folder)
{
    std::vector<KandorEntryData> entries(3);
    entries[0].Entry = {"QUARTZ", "quartz", "Si O2"};
    entries[0].Peaks = {KandorPeakAt(26.64, 900, 25), KandorPeakAt(20.86, 225, 16)};
    entries[1].Entry = {"CALCITE", "calcite", "Ca C O3"};
    entries[1].Peaks = {KandorPeakAt(29.4, 400, 4)};
    entries[2].Entry = {"NOFILE", "no lines", "H2 O"};
    entries[2].WritePatternFile = false;
    WriteKandorDatabase(folder, entries);
}

void WriteQuorvaneReferenceSource(const fs::path& folder)
{
    QuorvaneDatabase database;
    database.ReferenceDatabase = true;
    const std::pair<const char*, const char*> patterns[] = {
        {"05-0490", "quartz"}, {"10-0173", "corundum"}, {"33-1161", "halite"}};
    for (const auto& [number, name] : patterns)
        database.Patterns.push_back(
            MakeQuorvanePattern(number, QuorvaneNames({{'M', name}}), "Si O2", {{3.343, 100}, {4.257, 22}}));
    WriteQuorvaneDatabase(folder, database);
}

const Format kFormats[2] = {
    {"Kandor", &WriteKandorSource, &ConvertKandorDatabase, false},
    {"QuorvaneReference", &WriteQuorvaneReferenceSource, &ConvertQuorvaneDatabase, true},
};

FolderImage TakeImage(const fs::path& folder)
{
    FolderImage image;
    if (fs::exists(folder))
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            if (!entry.is_directory())
                image[fs::relative(entry.path(), folder).generic_string()] = ReadFile(entry.path());
    return image;
}

void RestoreImage(const fs::path& folder, const FolderImage& image)
{
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const auto& [name, bytes] : image) {
        fs::create_directories((folder / name).parent_path());
        WriteFile(folder / name, bytes);
    }
}

} // namespace norrvik::test
