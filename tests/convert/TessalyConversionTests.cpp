// Carrying the patterns of an old Tessaly release into a new one, and the
// refusal of a target folder that is the source folder, for every format.
#include "convert/Conversion.h"
#include "convert/ConversionDrivers.h"
#include "convert/DryRun.h"
#include "refdb/DatabaseCheck.h"
#include "refdb/ReferenceDatabase.h"
#include "support/RecordFields.h"
#include "support/TempFolder.h"
#include "support/TessalyWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>
#include <vector>
#include <algorithm>
#include <map>
#include <set>

namespace norrvik {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

const std::set<std::string>& TextIndexNames()
{
    static const std::set<std::string> names{"ReferenceCode.PDB", "Name.PDB", "MineralName.PDB", "Formula.PDB",
                                             "Color.PDB", "Author.PDB", "Journal.PDB"};
    return names;
}

// The lines of a text index file, sorted.
std::vector<std::uint8_t> SortedLines(const std::vector<std::uint8_t>& bytes)
{
    std::vector<std::string> lines;
    std::string line;
    for (const std::uint8_t byte : bytes) {
        line += static_cast<char>(byte);
        if (byte == '\n')
            lines.push_back(std::move(line)), line.clear();
    }
    lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    std::vector<std::uint8_t> sorted;
    for (const std::string& text : lines)
        sorted.insert(sorted.end(), text.begin(), text.end());
    return sorted;
}

// The record of pattern `code` without the fields that name its place.
std::vector<std::uint8_t> PlaceFreeRecord(const fs::path& folder, TReferenceDatabase& database, const std::string& code)
{
    const std::vector<std::uint8_t> file = test::ReadMainDataFile(folder);
    const ConstBytes record = test::RecordOf(file, static_cast<std::size_t>(database.FindRecordNumber(code)));
    std::vector<std::uint8_t> bytes(record.begin(), record.end());
    std::fill(bytes.begin(), bytes.begin() + 13, std::uint8_t{0});   // code, record number
    std::fill(bytes.begin() + 20, bytes.begin() + 44, std::uint8_t{0}); // text ranges
    return bytes;
}

void RebuildIndexes(const fs::path& folder)
{
    TReferenceDatabase database;
    database.SetDatabaseName(folder.string());
    database.OpenForIndexRebuild();
    database.RebuildIndexes();
    database.Close();
}

// Makes the last pattern of the old release one the store would never make
// itself: its first two lines out of d order, an element the formula lacks,
// a maximum intensity above its lines. A copy must keep all of it.
void MakeUnderivedRecord(const fs::path& folder)
{
    std::vector<std::uint8_t> file = test::ReadMainDataFile(folder);
    const auto record = file.end() - static_cast<std::ptrdiff_t>(test::kRecordSize);
    const auto swapFirstTwo = [&](std::size_t field, std::ptrdiff_t size) {
        std::swap_ranges(record + static_cast<std::ptrdiff_t>(field), record + static_cast<std::ptrdiff_t>(field) + size,
                         record + static_cast<std::ptrdiff_t>(field) + size);
    };
    swapFirstTwo(test::kDField, 4);
    for (std::size_t field : {test::kIntensityField, test::kHField, test::kKField, test::kLField})
        swapFirstTwo(field, 2);
    record[103 + 3] |= 0x10; // element 28 in the element set
    record[test::kMaxIntensityField] = 250;
    test::WriteFile(folder / "ReferenceDatabase.PDB", file);
    RebuildIndexes(folder);
}

struct CarryCase {
    const char* Name;
    bool NewReleaseExists; // else the target folder is made by the run
    bool UserOnly;
};

class CarryOver : public ::testing::TestWithParam<CarryCase> {};

TEST_P(CarryOver, CopiesEveryPatternAsItIsAndAddsNothingTheSecondTime)
{
    const CarryCase c = GetParam();
    TempFolder temp;
    const fs::path oldRelease = temp.Path() / "2019";
    const fs::path newRelease = temp.Path() / "2020";
    test::WriteTessalyRelease(oldRelease.string(), {"00-005-0490", "00-033-1161", "01-075-1234"}, 3);
    MakeUnderivedRecord(oldRelease);
    if (c.NewReleaseExists)
        test::WriteTessalyRelease(newRelease.string(), {"00-005-0490", "00-033-1161", "00-046-1045"}, 1, 100);
    const long usersBefore = c.NewReleaseExists ? 1 : 0;
    const long referencesAdded = c.UserOnly ? 0 : c.NewReleaseExists ? 1 : 3;
    const long referencesSkipped = !c.UserOnly && c.NewReleaseExists ? 2 : 0;

    const TConversionPreview preview =
        PreviewConversion(kFormats[FormatPosition(SourceFormat::Tessaly)], oldRelease.string(), newRelease.string(),
                          {c.UserOnly});
    EXPECT_EQ(preview.WouldAdd, 3 + referencesAdded);
    EXPECT_EQ(preview.WouldSkip, referencesSkipped);

    TConversionSummary summary;
    bool success = false;
    ConvertTessalyDatabase(oldRelease.string(), newRelease.string(), success, {}, &summary, {c.UserOnly});
    ASSERT_TRUE(success);
    EXPECT_EQ(summary.Added, 3 + referencesAdded);
    EXPECT_EQ(summary.Skipped, referencesSkipped);
    ASSERT_EQ(summary.CodeMappings.size(), 3u);

    TReferenceDatabase source, target;
    source.SetDatabaseName(oldRelease.string());
    target.SetDatabaseName(newRelease.string());
    std::vector<std::pair<std::string, std::string>> copied;
    for (std::size_t u = 0; u < 3; ++u) {
        const TCodeMapping& mapping = summary.CodeMappings[u];
        EXPECT_EQ(mapping.OldCode, "99-000-000" + std::to_string(u + 1));
        EXPECT_EQ(mapping.NewCode, "99-000-000" + std::to_string(static_cast<long>(u) + usersBefore + 1));
        EXPECT_FALSE(mapping.AlreadyPresent);
        copied.emplace_back(mapping.OldCode, mapping.NewCode);
    }
    if (referencesAdded > 0)
        copied.emplace_back("01-075-1234", "01-075-1234");
    for (const auto& [oldCode, newCode] : copied) {
        EXPECT_EQ(PlaceFreeRecord(oldRelease, source, oldCode), PlaceFreeRecord(newRelease, target, newCode))
            << oldCode;
        const TReferencePattern& from = source.FindPattern(oldCode);
        const TReferencePattern& to = target.FindPattern(newCode);
        for (TextList list : kAllTextLists)
            EXPECT_EQ(to.GetTextList(list), from.GetTextList(list)) << oldCode;
    }
    target.Close();

    // The indexes are what a rebuild of the result makes of it.
    const fs::path rebuilt = temp.Path() / "rebuilt";
    fs::copy(newRelease, rebuilt);
    RebuildIndexes(rebuilt);
    // Text indexes: the same entries (the unstable sort of the index files
    // orders equal keys by the order they came in, as for every added pattern).
    const auto carried = test::DatabaseBytes(newRelease);
    auto rebuiltFiles = test::DatabaseBytes(rebuilt);
    ASSERT_EQ(rebuiltFiles.size(), carried.size());
    for (const auto& [name, bytes] : carried)
        EXPECT_EQ(TextIndexNames().count(name) ? SortedLines(bytes) : bytes,
                  TextIndexNames().count(name) ? SortedLines(rebuiltFiles[name]) : rebuiltFiles[name])
            << name;
    EXPECT_EQ(CheckReferenceDatabase(newRelease.string()), std::vector<std::string>{});

    // Again: every pattern is recognised, nothing is written.
    ConvertTessalyDatabase(oldRelease.string(), newRelease.string(), success, {}, &summary, {c.UserOnly});
    EXPECT_EQ(summary.Added, 0);
    EXPECT_EQ(summary.Skipped, 3 + (c.UserOnly ? 0 : 3));
    for (std::size_t u = 0; u < summary.CodeMappings.size(); ++u)
        EXPECT_TRUE(summary.CodeMappings[u].AlreadyPresent && summary.CodeMappings[u].NewCode == copied[u].second);
    EXPECT_EQ(test::DatabaseBytes(newRelease), carried);
}

INSTANTIATE_TEST_SUITE_P(Releases, CarryOver,
                         ::testing::Values(CarryCase{"IntoNewRelease", true, false},
                                           CarryCase{"UserPatternsOnly", true, true},
                                           CarryCase{"IntoNewFolder", false, false}),
                         [](const auto& info) { return std::string(info.param.Name); });

// A target that is the source folder, however it is spelled, is refused by
// every driver and by the dry run before anything is written.
TEST(SourceAsTarget, RefusedForEveryFormatAndEverySpelling)
{
    TempFolder temp;
    const fs::path folder = temp.Path() / "db";
    test::WriteTessalyRelease(folder.string(), {"00-005-0490"}, 1);
    fs::create_directory(temp.Path() / "other");
    std::vector<std::string> spellings = {folder.string(), folder.string() + "/",
                                          (temp.Path() / "other/../db").string(), folder.string() + "/./"};
    std::error_code noLinks; // links need a privilege on Windows
    fs::create_directory_symlink(folder, temp.Path() / "link", noLinks);
    if (!noLinks)
        spellings.push_back((temp.Path() / "link").string());
    const auto before = test::DatabaseBytes(folder);
    const TConversionDrivers drivers = RealConversionDrivers();
    for (const TFormatInfo& format : kFormats) {
        for (const std::string& target : spellings) {
            const TConversionOutcome outcome =
                RunConversion(drivers, {&format, folder.string(), target, {}, {}});
            EXPECT_NE(outcome.FailureText().find("is the folder of the old database"), std::string::npos)
                << format.CliName << " " << target << ": " << outcome.FailureText();
            EXPECT_THROW(PreviewConversion(format, folder.string(), target), Exception);
        }
    }
    EXPECT_EQ(test::DatabaseBytes(folder), before);
}

} // namespace
} // namespace norrvik
