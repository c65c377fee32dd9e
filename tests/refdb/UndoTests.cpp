// Undoing the last run: after a run that created the database, one that
// added user patterns (their indexes at once) and one that appended patterns
// (the indexes rebuilt), every file is back byte for byte; undo refuses,
// changing nothing, when there is nothing to undo, when the run never
// finished, when another program changed a file since, and when a file may
// not be written.
#include "refdb/ReferenceDatabase.h"
#include "refdb/UndoPoint.h"

#include "StoreTestPatterns.h"
#include "common/Exceptions.h"

#include "common/FolderLock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace norrvik {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

// The regular files of the folder (the undo point's folder left out).
// The folder's files (the lock's own file, where the system needs one, left out).
std::map<std::string, std::vector<std::uint8_t>> TakeImage(const fs::path& folder)
{
    std::map<std::string, std::vector<std::uint8_t>> image;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().filename().string() != TFolderLock::FileInFolder())
            image[entry.path().filename().string()] = test::ReadFile(entry.path());
    return image;
}

enum class RunKind { Creates, Adds, Appends };

std::unique_ptr<TReferenceDatabase> OpenForWriting(const TempFolder& dir)
{
    auto database = std::make_unique<TReferenceDatabase>();
    database->SetDatabaseName(dir.Text());
    database->SetReadOnly(false);
    database->Open();
    return database;
}

void AddPatterns(TReferenceDatabase& database, RunKind kind, int count)
{
    for (int n = 0; n < count; ++n) {
        TReferencePattern pattern = test::SimplePattern("pattern " + std::to_string(n));
        pattern.SetReferences({test::ReferenceLine("JACS", "Author " + std::to_string(n))});
        if (kind == RunKind::Appends)
            database.AppendPattern(pattern);
        else
            database.AddPattern(pattern);
    }
}

struct UndoCase {
    const char* Name;
    RunKind Kind;
    // Done before the run (holding 4 patterns, unless it creates the
    // database) and after it; nullptr for nothing.
    void (*Before)(const TempFolder& dir);
    void (*After)(const TempFolder& dir);
    // What the refusal names; nullptr: undone.
    const char* Refusal;
};

class Undo : public ::testing::TestWithParam<UndoCase> {
protected:
    void SetUp() override { TReferenceDatabase::SetPatternsPerCommit(2); }
    void TearDown() override { TReferenceDatabase::SetPatternsPerCommit(TReferenceDatabase::kPatternsPerCommit); }
    TempFolder dir_;
};

TEST_P(Undo, PutsEveryFileBackOrRefusesNamingWhy)
{
    const UndoCase& c = GetParam();
    if (c.Kind != RunKind::Creates)
        AddPatterns(*TReferenceDatabase::CreateDatabase(dir_.Text(), "PDF2"), RunKind::Adds, 4);
    if (c.Before)
        c.Before(dir_);
    const auto before = TakeImage(dir_.Path());
    {
        auto database = c.Kind == RunKind::Creates ? TReferenceDatabase::CreateDatabase(dir_.Text(), "PDF2", 7)
                                                   : OpenForWriting(dir_);
        database->KeepUndoPoint(7);
        AddPatterns(*database, c.Kind, 5);
        database->Close();
    }
    // A run that changes nothing keeps and drops nothing.
    OpenForWriting(dir_)->KeepUndoPoint(8);
    if (c.After)
        c.After(dir_);
    const auto after = TakeImage(dir_.Path());
    try {
        const TUndoResult result = UndoLastRun(dir_.Text());
        EXPECT_EQ(c.Refusal, nullptr) << "undone";
        EXPECT_EQ(result.RunNumber * 100 + result.PatternsRemoved, 705);
        EXPECT_EQ(result.DatabaseRemoved, c.Kind == RunKind::Creates);
        EXPECT_EQ(TakeImage(dir_.Path()), before);
        EXPECT_FALSE(fs::exists(dir_.Path() / "Norrvik.undo"));
        EXPECT_THROW(UndoLastRun(dir_.Text()), Exception) << "undone twice";
    } catch (const Exception& error) {
        ASSERT_NE(c.Refusal, nullptr) << error.what();
        EXPECT_NE(std::string(error.what()).find(c.Refusal), std::string::npos) << error.what();
        EXPECT_EQ(TakeImage(dir_.Path()), after);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, Undo,
    ::testing::Values(
        UndoCase{"AfterCreating", RunKind::Creates, nullptr, nullptr, nullptr},
        UndoCase{"AfterAdding", RunKind::Adds, nullptr, nullptr, nullptr},
        UndoCase{"AfterAppendingAndRebuilding", RunKind::Appends, nullptr, nullptr, nullptr},
        // Bytes past the last whole line record, which the run writes over.
        UndoCase{"AfterAddingPastATornTail", RunKind::Adds,
                 [](const TempFolder& dir) {
                     test::WriteFile(dir.Path() / "Literature.PDB", test::Text(dir, "Literature.PDB") + "torn");
                 },
                 nullptr, nullptr},
        UndoCase{"IndexGrewByAByte", RunKind::Adds, nullptr,
                 [](const TempFolder& dir) {
                     test::WriteFile(dir.Path() / "Name.PDB", test::Text(dir, "Name.PDB") + "x");
                 },
                 "Name.PDB holds"},
        UndoCase{"HeaderRewritten", RunKind::Adds, nullptr,
                 [](const TempFolder& dir) {
                     std::vector<std::uint8_t> main = test::Bytes(dir, "ReferenceDatabase.PDB");
                     main[20] ^= 0x01; // a byte of the title; the file keeps its size
                     test::WriteFile(dir.Path() / "ReferenceDatabase.PDB", main);
                 },
                 "ReferenceDatabase.PDB was written to"},
        UndoCase{"LaterRunDroppedIt", RunKind::Adds, nullptr,
                 [](const TempFolder& dir) { AddPatterns(*OpenForWriting(dir), RunKind::Adds, 1); },
                 "Nothing to undo"},
        UndoCase{"RunNeverFinished", RunKind::Adds, nullptr,
                 [](const TempFolder& dir) { test::WriteFile(dir.Path() / "Norrvik.run", std::string("killed")); },
                 "never finished"},
        UndoCase{"FileMarkedReadOnly", RunKind::Adds, nullptr,
                 [](const TempFolder& dir) { fs::permissions(dir.Path() / "Name.PDB", fs::perms::owner_read); },
                 "Name.PDB"}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace norrvik
