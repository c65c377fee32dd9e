// Tests of what the drivers share: the comment line, rounding of
// intensities, and opening, creating or refusing the target folder.
#include "convert/ConversionSupport.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace norrvik;

namespace {

const std::vector<std::string> kRequiredFiles = {
    "ReferenceDatabase.PDB", "ReferenceCode.PDB", "Name.PDB", "MineralName.PDB", "Formula.PDB",
    "Color.PDB", "StrongestLines.PDB", "Author.PDB", "Journal.PDB"};

// Every file of the folder with its bytes, to show a refused folder is untouched.
std::map<std::string, std::vector<std::uint8_t>> Snapshot(const std::filesystem::path& folder)
{
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files[entry.path().filename().string()] = test::ReadFile(entry.path());
    return files;
}

void AddUserPattern(TReferenceDatabase& database, const std::string& name)
{
    TReferencePattern pattern;
    FillConvertedPattern(pattern, "Si O2", name, NextUserCode(database), 8, "/old");
    AddConvertedLine(pattern, 3.343, 100, 0, 0, 0);
    database.AddPattern(pattern);
}

} // namespace

TEST(ImportCommentLine, FormDependsOnTheFolderLength)
{
    const std::string folder56(56, 'a');
    EXPECT_EQ(ImportCommentLine(folder56), "Imported from " + folder56);
    const std::string folder57(57, 'b');
    EXPECT_EQ(ImportCommentLine(folder57), "From " + folder57);
    const std::string folder65(65, 'c');
    EXPECT_EQ(ImportCommentLine(folder65), "From " + folder65);
    const std::string folder66(66, 'd');
    EXPECT_EQ(ImportCommentLine(folder66), folder66);
    EXPECT_EQ(ImportCommentLine(""), "Imported from ");
    EXPECT_EQ(ImportCommentLine("  /data/old  "), "Imported from   /data/old  "); // untrimmed
}

TEST(ImportCommentLine, FolderIsWrittenInTheTargetCodePageAndCountedThere)
{
    // 55 ASCII characters and one umlaut: 57 bytes of UTF-8 but 56 characters
    // in the target's code page, so the long form still fits.
    const std::string folder = std::string(55, 'x') + "\xc3\xa4";
    EXPECT_EQ(ImportCommentLine(folder), "Imported from " + std::string(55, 'x') + "\xe4");
}

TEST(RoundedIntensity, HalvesGoToTheEvenNeighbourAndHugeValuesClamp)
{
    EXPECT_EQ(RoundedIntensity(12.5), 12);
    EXPECT_EQ(RoundedIntensity(13.5), 14);
    EXPECT_EQ(RoundedIntensity(62.5), 62);
    EXPECT_EQ(RoundedIntensity(63.5), 64);
    EXPECT_EQ(RoundedIntensity(1e12), 32767);
}

TEST(TargetDatabase, NewFolderGetsANewDatabaseAndAnExistingOneIsOpened)
{
    test::TempFolder temp;
    const std::string folder = temp.Text("target");
    {
        auto database = OpenOrCreateTargetDatabase(folder);
        EXPECT_EQ(database->PatternCount(), 0);
        AddUserPattern(*database, "Quartz");
        EXPECT_EQ(NextUserCode(*database), "99-000-0002");
        database->Close();
    }
    auto reopened = OpenOrCreateTargetDatabase(folder);
    EXPECT_EQ(reopened->PatternCount(), 1);
    EXPECT_FALSE(reopened->ReadOnly());
    AddUserPattern(*reopened, "Cristobalite");
    reopened->Close();
    TReferenceDatabase check;
    check.SetDatabaseName(folder);
    EXPECT_EQ(check.PatternCount(), 2);
    EXPECT_EQ(check.GetPattern(2).GetReferenceCode(), "99-000-0002");
}

TEST(TargetDatabase, AFolderWhoseDatabaseHoldsPatternsButLacksAFileIsNotReplaced)
{
    test::TempFolder temp;
    const std::string folder = temp.Text("target");
    {
        auto database = OpenOrCreateTargetDatabase(folder);
        AddUserPattern(*database, "Quartz");
        database->Close();
    }
    std::filesystem::remove(temp.Path() / "target" / "Journal.PDB");
    const auto before = Snapshot(temp.Path() / "target");
    try {
        OpenOrCreateTargetDatabase(folder);
        FAIL() << "the database was replaced";
    } catch (const Exception& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("Folder " + folder + test::kDelimiter + " doesn't contain an index file for the journals."),
                  std::string::npos)
            << message;
        EXPECT_NE(message.find("not replaced"), std::string::npos) << message;
    }
    EXPECT_EQ(Snapshot(temp.Path() / "target"), before);
}

TEST(TargetDatabase, AFolderWithOnlyAnEmptyDatabaseIsCreatedAnew)
{
    test::TempFolder temp;
    const std::string folder = temp.Text("target");
    {
        auto database = OpenOrCreateTargetDatabase(folder);
        database->Close();
    }
    std::filesystem::remove(temp.Path() / "target" / "Name.PDB");
    auto database = OpenOrCreateTargetDatabase(folder);
    EXPECT_EQ(database->PatternCount(), 0);
    database->Close();
    EXPECT_TRUE(std::filesystem::exists(temp.Path() / "target" / "Name.PDB"));
}

TEST(ConversionTarget, CountsAndReportsProgress)
{
    test::TempFolder temp;
    std::vector<TProgress> reports;
    TConversionSummary summary;
    {
        TConversionTarget target(temp.Text("old"), temp.Text("t"), [&](const TProgress& p) { reports.push_back(p); },
                                 &summary, SourceFormat::Kandor);
        target.Run([&] {
            target.SetEntryTotal(2);
            AddUserPattern(target.Database(), "Quartz");
            target.EntryStored(1, "QUARTZ", "99-000-0001");
            target.ReportProgress(1);
            target.EntrySkipped(2, "QUARTZ", "99-000-0001");
            target.ReportProgress(2);
        });
    }
    EXPECT_EQ(summary.EntriesTotal, 2);
    EXPECT_EQ(summary.EntriesDone, 2);
    EXPECT_EQ(summary.Added, 1);
    EXPECT_EQ(summary.Skipped, 1);
    EXPECT_EQ(summary.TargetPatternCount, 1);
    ASSERT_GE(reports.size(), 2u);
    EXPECT_EQ(reports[0].CurrentStage, TProgress::Stage::Converting);
    EXPECT_EQ(reports[0].Done, 1);
    EXPECT_EQ(reports[0].Total, 2);
    // The new database's indexes are rebuilt when it closes, pattern by pattern.
    EXPECT_EQ(reports.back().CurrentStage, TProgress::Stage::WritingIndexes);
}
