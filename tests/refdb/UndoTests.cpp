// Undoing the last run: after a run that created the database, one that
// added user patterns (their indexes at once) and one that appended patterns
// (the indexes rebuilt), every file is back byte for byte; and undo refuses,
// changing nothing, when there is nothing to undo, when the run never
// finished, and when another program changed a file since.
#include "refdb/DatabaseCheck.h"
#include "refdb/ReferenceDatabase.h"
#include "refdb/UndoPoint.h"

#include "StoreTestPatterns.h"
#include "common/Exceptions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace norrvik {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

using Image = std::map<std::string, std::vector<std::uint8_t>>;

// The regular files of the folder (the undo point's folder left out).
Image TakeImage(const fs::path& folder)
{
    Image image;
    if (fs::exists(folder))
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.is_regular_file())
                image[entry.path().filename().string()] = test::ReadFile(entry.path());
    return image;
}

enum class RunKind { Creates, Adds, Appends };

struct UndoCase {
    const char* name;
    RunKind kind;
    // Bytes past the last whole line record of Literature.PDB before the run
    // (left by another program), which the run writes over.
    bool tornTextTail;
};

void PrintTo(const UndoCase& c, std::ostream* out)
{
    *out << c.name;
}

void AddPatterns(TReferenceDatabase& database, RunKind kind, int count, const std::string& prefix)
{
    for (int n = 0; n < count; ++n) {
        TReferencePattern pattern = test::SimplePattern(prefix + std::to_string(n));
        pattern.SetReferences({test::ReferenceLine("JACS", "Author " + prefix)});
        if (kind == RunKind::Appends)
            database.AppendPattern(pattern);
        else
            database.AddPattern(pattern);
    }
}

void MakeDatabase(const TempFolder& dir, int patterns)
{
    auto database = TReferenceDatabase::CreateDatabase(dir.Text(), "PDF2");
    AddPatterns(*database, RunKind::Adds, patterns, "held ");
    database->Close();
}

std::unique_ptr<TReferenceDatabase> OpenForWriting(const TempFolder& dir)
{
    auto database = std::make_unique<TReferenceDatabase>();
    database->SetDatabaseName(dir.Text());
    database->SetReadOnly(false);
    database->Open();
    return database;
}

// The run that keeps an undo point, as run number 7.
void RunKeepingUndoPoint(const TempFolder& dir, RunKind kind)
{
    std::unique_ptr<TReferenceDatabase> database =
        kind == RunKind::Creates ? TReferenceDatabase::CreateDatabase(dir.Text(), "PDF2", 7) : OpenForWriting(dir);
    database->KeepUndoPoint(7);
    AddPatterns(*database, kind, 5, "new ");
    database->Close();
}

class UndoRun : public ::testing::TestWithParam<UndoCase> {
protected:
    void SetUp() override { TReferenceDatabase::SetPatternsPerCommit(2); }
    void TearDown() override { TReferenceDatabase::SetPatternsPerCommit(TReferenceDatabase::kPatternsPerCommit); }
    TempFolder dir_;
};

TEST_P(UndoRun, PutsEveryFileBackAsItWasBeforeTheRun)
{
    const UndoCase& c = GetParam();
    if (c.kind != RunKind::Creates)
        MakeDatabase(dir_, 4);
    if (c.tornTextTail)
        test::WriteFile(dir_.Path() / "Literature.PDB", test::Text(dir_, "Literature.PDB") + "torn tail");
    const Image before = TakeImage(dir_.Path());
    RunKeepingUndoPoint(dir_, c.kind);
    ASSERT_NE(TakeImage(dir_.Path()), before);
    // A run that changes nothing keeps and drops nothing.
    OpenForWriting(dir_)->KeepUndoPoint(8);

    const TUndoResult result = UndoLastRun(dir_.Text());
    EXPECT_EQ(result.RunNumber, 7);
    EXPECT_EQ(result.PatternsRemoved, 5);
    EXPECT_EQ(result.DatabaseRemoved, c.kind == RunKind::Creates);
    EXPECT_EQ(TakeImage(dir_.Path()), before);
    EXPECT_FALSE(fs::exists(dir_.Path() / "Norrvik.undo"));
    EXPECT_THROW(UndoLastRun(dir_.Text()), Exception) << "undone twice";
    if (c.kind != RunKind::Creates && !c.tornTextTail) {
        EXPECT_TRUE(CheckReferenceDatabase(dir_.Text()).empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, UndoRun,
                         ::testing::Values(UndoCase{"Creates", RunKind::Creates, false},
                                           UndoCase{"Adds", RunKind::Adds, false},
                                           UndoCase{"AddsAfterATornTail", RunKind::Adds, true},
                                           UndoCase{"AppendsAndRebuilds", RunKind::Appends, false}),
                         [](const auto& info) { return std::string(info.param.name); });

struct RefusalCase {
    const char* name;
    // What happens after the run; the refusal names `named`.
    void (*after)(const TempFolder& dir);
    const char* named;
};

void PrintTo(const RefusalCase& c, std::ostream* out)
{
    *out << c.name;
}

void AppendAByte(const TempFolder& dir)
{
    test::WriteFile(dir.Path() / "Name.PDB", test::Text(dir, "Name.PDB") + "x");
}

void RewriteTheHeader(const TempFolder& dir)
{
    std::vector<std::uint8_t> main = test::Bytes(dir, "ReferenceDatabase.PDB");
    main[20] ^= 0x01; // a byte of the title; the file keeps its size
    test::WriteFile(dir.Path() / "ReferenceDatabase.PDB", main);
}

void RunWithoutUndoPoint(const TempFolder& dir)
{
    AddPatterns(*OpenForWriting(dir), RunKind::Adds, 1, "later ");
}

void LeaveAMarker(const TempFolder& dir)
{
    test::WriteFile(dir.Path() / "Norrvik.run", std::string("as a killed run leaves it"));
}

class UndoRefused : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(UndoRefused, NamesWhyAndChangesNothing)
{
    TempFolder dir;
    MakeDatabase(dir, 3);
    RunKeepingUndoPoint(dir, RunKind::Adds);
    GetParam().after(dir);
    const Image before = TakeImage(dir.Path());
    try {
        UndoLastRun(dir.Text());
        ADD_FAILURE() << "undone";
    } catch (const Exception& error) {
        EXPECT_NE(std::string(error.what()).find(GetParam().named), std::string::npos) << error.what();
    }
    EXPECT_EQ(TakeImage(dir.Path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, UndoRefused,
    ::testing::Values(RefusalCase{"IndexGrewByAByte", AppendAByte, "Name.PDB holds"},
                      RefusalCase{"HeaderRewritten", RewriteTheHeader, "ReferenceDatabase.PDB was written to"},
                      RefusalCase{"LaterRunDroppedIt", RunWithoutUndoPoint, "Nothing to undo"},
                      RefusalCase{"RunNeverFinished", LeaveAMarker, "never finished"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace norrvik
