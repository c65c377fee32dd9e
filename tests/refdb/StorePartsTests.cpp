// The store's parts on their own: the run's order of steps and its marker
// (with a stand-in for the store's files), the index upkeep over patterns
// held in memory, and a database whose files carry names in another letter
// case, found and used under their own names.
#include "refdb/DatabaseCheck.h"
#include "refdb/DatabaseFiles.h"
#include "refdb/DatabaseFolder.h"
#include "refdb/DatabaseRun.h"
#include "refdb/IndexMaintenance.h"
#include "refdb/ReferenceCodes.h"
#include "refdb/ReferenceDatabase.h"

#include "StoreTestPatterns.h"
#include "common/Text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace norrvik {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

// The store's files as the run sees them, and the run's observer: every
// step and every notice goes into one log, in order.
struct LoggedRun : TRunFiles, TRunObserver {
    std::string Log;
    void SyncPatternFiles() override { Log += "sync "; }
    void StartPatternWriteback() override { Log += "writeback "; }
    void WriteHeader() override { Log += "header "; }
    void CommitIndexes() override { Log += "indexes "; }
    void CompleteNewDatabase(const std::string& title) override { Log += "complete(" + title + ") "; }
    void CutToLastCommit(const std::optional<TRunStart>& start) override
    {
        Log += "cut(" + (start ? std::to_string(start->Patterns) : std::string("?")) + ") ";
    }
    void RunBegun(const TRunStart&) override { Log += "[begun] "; }
    void PatternsCommitted() override { Log += "[committed] "; }
    void RunFinished() override { Log += "[finished] "; }
    void RunRestored(const std::optional<TRunStart>&) override { Log += "[restored] "; }
};

TEST(StoreParts, RunCommitsInOrderAndIsRestoredFromItsMarker)
{
    TempFolder dir;
    const TDatabaseFolder folder(dir.Text());
    LoggedRun files;
    TDatabaseRun run(folder, files);
    run.SetObserver(&files);
    TDatabaseRun::SetPatternsPerCommit(2);
    run.Begin({false, 12, 30, 40, "My title"});
    run.Begin({});
    for (int n = 0; n < 3; ++n)
        run.PatternWritten();
    const std::optional<TRunStart> marker = run.ReadMarker();
    ASSERT_TRUE(marker);
    EXPECT_EQ(marker->Patterns, 12);
    EXPECT_EQ(marker->CommentLines, 30);
    EXPECT_EQ(marker->LiteratureLines, 40);
    EXPECT_EQ(marker->Title, "My title");
    run.Finish();
    TDatabaseRun::SetPatternsPerCommit(TDatabaseRun::kPatternsPerCommit);
    EXPECT_EQ(files.Log, "[begun] sync header [committed] sync indexes header [finished] ");
    EXPECT_FALSE(run.HasMarker());
    EXPECT_FALSE(run.Marked());

    // A creation that stopped: completed, cut, and the temporary files a
    // stopped replacement or probe left are removed, whatever their case.
    files.Log.clear();
    run.Begin({true, 0, 0, 0, "New"});
    run.Forget();
    for (const char* name : {"Name.PDB.0123abcd.new", "name.pdb.new", ".norrvik-probe.99.new", "Name.PDB", "x.new"})
        test::WriteFile(dir.Path() / name, std::string("x"));
    run.RestoreLastCommit();
    EXPECT_EQ(files.Log, "[begun] complete(New) cut(0) [restored] ");
    EXPECT_TRUE(run.Marked());
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        left.insert(entry.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"Name.PDB", "Norrvik.run", "x.new"}));
}

// Patterns held in memory, as the main data file would give them.
struct HeldPatterns : TStoredPatterns {
    std::vector<TReferencePattern> Patterns;
    std::int32_t StoredPatternCount() override { return static_cast<std::int32_t>(Patterns.size()); }
    TReferencePattern& LoadStoredPattern(std::int32_t n) override { return Patterns.at(static_cast<std::size_t>(n - 1)); }
};

TEST(StoreParts, IndexUpkeepRebuildsFromPatternsAndKeepsPendingWork)
{
    TempFolder dir;
    const TDatabaseFolder folder(dir.Text());
    const bool readOnly = false;
    TIndexMaintenance indexes(folder, readOnly);
    indexes.CreateEmptyTextIndexes();
    HeldPatterns held;
    for (const char* name : {"zircon", "apatite"})
        held.Patterns.push_back(test::SimplePattern(name));
    int progress = 0;
    indexes.SetProgressCallback([&](const TProgress&) { ++progress; });
    indexes.Rebuild(held);
    EXPECT_FALSE(indexes.RebuildPending());
    EXPECT_EQ(progress, 2);
    EXPECT_EQ(test::Text(dir, "Name.PDB"), "      2\r\n2 APATITE\r\n1 ZIRCON\r\n");
    EXPECT_EQ(fs::file_size(dir.Path() / "Index.PDB"), 2 * kIndexRecordSize);

    // While a rebuild is pending an added pattern's entries wait until a
    // text index is needed.
    indexes.SetRebuildPending();
    TReferencePattern added = test::SimplePattern("beryl");
    indexes.AddPattern(added, 3, 3);
    TIndexes names;
    indexes.ReadTextIndex(names, TextIndex::Name);
    EXPECT_EQ(names.size(), 2u);
    indexes.ApplyPendingIndexWork();
    indexes.WriteHeldTextIndexes();
    EXPECT_EQ(test::Text(dir, "Name.PDB"), "      3\r\n2 APATITE\r\n3 BERYL\r\n1 ZIRCON\r\n");
}

// A database whose files were renamed (copied from a system that does not
// keep letter case): it is found, added to under its own names, and no
// second database is made beside it.
TEST(StoreParts, FilesInAnotherLetterCaseAreTheDatabase)
{
    for (const auto recase : {UpperCaseAscii, LowerCaseAscii}) {
        TempFolder dir;
        {
            auto database = TReferenceDatabase::CreateDatabase(dir.Text(), "PDF2");
            TReferencePattern pattern = test::SimplePattern("quartz");
            database->AddPattern(pattern);
            database->Close();
        }
        std::set<std::string> renamed;
        for (const TDatabaseFileInfo& file : kDatabaseFiles) {
            if (!fs::exists(dir.Path() / file.Name))
                continue;
            renamed.insert(recase(file.Name));
            fs::rename(dir.Path() / file.Name, dir.Path() / recase(file.Name));
        }
        // A file system blind to case (Windows) finds the exact names still
        // and gives a replaced file its exact name again: there only the
        // names' letters are compared.
        const bool caseBlind = fs::exists(dir.Path() / kDatabaseFiles[0].Name);
        fs::remove(dir.Path() / recase(kCrystalIndexFileName)); // made anew by the rebuild, under its exact name
        renamed.erase(recase(kCrystalIndexFileName));
        renamed.insert(std::string(kCrystalIndexFileName));
        ASSERT_TRUE(IsReferenceDatabaseFolder(TTypedFolder(dir.Text())));
        TReferenceDatabase database;
        database.SetDatabaseName(dir.Text());
        database.SetReadOnly(false);
        TReferencePattern pattern = test::SimplePattern("beryl");
        database.AddPattern(pattern);
        database.RebuildIndexes();
        database.Close();
        const auto nameOf = [&](const std::string& name) { return caseBlind ? UpperCaseAscii(name) : name; };
        std::set<std::string> names, expected;
        for (const auto& entry : fs::directory_iterator(dir.Path()))
            names.insert(nameOf(entry.path().filename().string()));
        for (const std::string& name : renamed)
            expected.insert(nameOf(name));
        EXPECT_EQ(names, expected);
        EXPECT_EQ(CheckReferenceDatabase(dir.Text()), std::vector<std::string>());
        database.Open();
        EXPECT_EQ(database.PatternCount(), 2);
    }
}

} // namespace
} // namespace norrvik
