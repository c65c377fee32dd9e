// Salvaging damaged databases: one harness over the kinds of damage. After
// each recovery the checker finds nothing, the expected patterns are kept,
// the report names what happened, and every file copied aside holds the
// damaged bytes exactly. Also the line rule shared by the store and the
// checker.
#include "common/ByteOrder.h"
#include "common/Exceptions.h"
#include "refdb/DatabaseCheck.h"
#include "refdb/Recovery.h"
#include "refdb/ReferenceDatabase.h"
#include "StoreTestPatterns.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <ostream>

namespace norrvik {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

constexpr std::size_t kRecord = 3310;

std::string Joined(const std::vector<std::string>& lines)
{
    std::string out;
    for (const auto& line : lines)
        out += line + "\n";
    return out;
}

// Four user patterns, one comment line each (lines 0 to 3 of Comment.PDB),
// the second with a reference line whose journal code is listed in lower case.
void WriteDatabase(const fs::path& folder)
{
    TReferenceDatabase::CreateDatabase(folder.string(), "PDF2")->Close();
    WriteFile(folder / "Codes.PDB", std::string("jcp=J. Chem. Phys.\r\n"));
    TReferenceDatabase database;
    database.SetDatabaseName(folder.string());
    database.SetReadOnly(false);
    for (const char* name : {"alpha", "beta", "gamma", "delta"}) {
        TReferencePattern pattern = test::SimplePattern(name);
        if (std::string(name) == "beta")
            pattern.SetReferences({test::ReferenceLine("JCP", "Smith, A.")});
        database.AddPattern(pattern);
    }
    database.Close();
}

void PatchMain(const fs::path& folder, const std::function<void(std::vector<std::uint8_t>&)>& patch)
{
    auto bytes = ReadFile(folder / "ReferenceDatabase.PDB");
    patch(bytes);
    WriteFile(folder / "ReferenceDatabase.PDB", bytes);
}

void SetPatternCount(const fs::path& folder, std::int32_t count)
{
    PatchMain(folder, [&](auto& bytes) {
        WriteI32LE(bytes, 6, count);
        WriteI32LE(bytes, 10, count);
    });
}

void PointCommentsAt(const fs::path& folder, std::size_t record, std::int32_t first)
{
    PatchMain(folder, [&](auto& bytes) { WriteI32LE(bytes, record * kRecord + pattern_layout::CommentsStart, first); });
}

// The folder as a run that is killed after writing one more pattern leaves
// it: the marker of the run, the pattern's lines and record not committed.
void StopRunAfterOnePattern(const fs::path& folder)
{
    TReferenceDatabase database;
    database.SetDatabaseName(folder.string());
    database.SetReadOnly(false);
    TReferencePattern pattern = test::SimplePattern("epsilon");
    database.AddPattern(pattern);
    std::map<fs::path, std::vector<std::uint8_t>> left;
    for (const auto& entry : fs::directory_iterator(folder))
        left[entry.path()] = ReadFile(entry.path());
    database.Close();
    for (const auto& [path, bytes] : left)
        WriteFile(path, bytes);
}

struct Damage {
    const char* Name;
    std::function<void(const fs::path&)> Apply;
    std::int32_t Kept; // -1: recover refuses
    const char* Reported; // a line of the report (or the refusal) holds this; empty: an empty report
    bool CopiesAside = true; // false: only the store's own recovery, nothing replaced
};

// Test output names the damage.
void PrintTo(const Damage& damage, std::ostream* out)
{
    *out << damage.Name;
}

const Damage kDamages[] = {
    {"None", [](const fs::path&) {}, 4, ""},
    {"TornLastRecord", [](const fs::path& f) { fs::resize_file(f / "ReferenceDatabase.PDB", 4 * kRecord + 1000); }, 3,
     "dropped the last 1000 bytes, a record cut short"},
    {"HeaderCountsMore", [](const fs::path& f) { SetPatternCount(f, 6); }, 4, "the header counted 6 patterns"},
    {"HeaderCountsFewer", [](const fs::path& f) { SetPatternCount(f, 2); }, 4, "it now counts the 4 kept"},
    {"ZeroedRecord",
     [](const fs::path& f) { PatchMain(f, [](auto& b) { std::fill_n(b.begin() + 3 * kRecord, kRecord, 0); }); }, 3,
     "dropped record 3: it holds the record number 0, so it is not a whole pattern\nReferenceDatabase.PDB: the kept "
     "patterns hold user codes up to 99-000-0004 but count only 3 user patterns"},
    {"CommentsPastTheEnd", [](const fs::path& f) { fs::resize_file(f / "Comment.PDB", 2 * 70 + 30); }, 4,
     "record 3 (99-000-0003) is kept without its comments: its lines 2 to 2 lie past the end of Comment.PDB"},
    {"CommentsOfAnotherRecord", [](const fs::path& f) { PointCommentsAt(f, 1, 1); }, 4,
     "record 1 (99-000-0001) is kept without its comments: its lines 1 to 1 are the text lines of record 2"},
    {"GarbledReferenceCodeIndex", [](const fs::path& f) { WriteFile(f / "ReferenceCode.PDB", std::string("x1\r\n")); },
     4, "ReferenceCode.PDB: rebuilt from the patterns"},
    {"MissingNameIndex", [](const fs::path& f) { fs::remove(f / "Name.PDB"); }, 4,
     "Name.PDB: re-created from the patterns: it was missing"},
    {"MissingSubfilesAndCodes",
     [](const fs::path& f) {
         fs::remove(f / "Subfiles.PDB");
         fs::remove(f / "Codes.PDB");
     },
     4, "Subfiles.PDB: re-created with the standard subfiles: it was missing\nCodes.PDB: re-created (empty"},
    {"InterruptedRun", StopRunAfterOnePattern, 4,
     "Norrvik.run: a conversion into this database had been interrupted; the database is restored to its last "
     "commit (4 patterns) and its indexes rebuilt", false},
    {"InterruptedRunWithHeaderCountingMore",
     [](const fs::path& f) {
         StopRunAfterOnePattern(f);
         SetPatternCount(f, 6);
     },
     4, "cannot be restored to its last commit (Cannot read file"},
    // Refused, saying why and what to do, with nothing changed: the older
    // record format; a link in a file's place (never copied or written through).
    {"OlderRecordFormat",
     [](const fs::path& f) { PatchMain(f, [](auto& bytes) { std::copy_n("\x03" "1.0", 4, bytes.begin()); }); }, -1,
     "nothing was changed. Its indexes can be rebuilt with \"norrvik-cli rebuild\""},
    {"LinkInPlaceOfAnIndex",
     [](const fs::path& f) {
         fs::rename(f / "Name.PDB", f / "Name.real");
         fs::create_symlink("Name.real", f / "Name.PDB");
     },
     -1, "Name.PDB: it is a symbolic link, which is never followed"},
};

class Recovery : public ::testing::TestWithParam<Damage> {};

TEST_P(Recovery, KeepsEveryWholePatternAndLeavesASoundDatabase)
{
    test::TempFolder temp;
    const fs::path folder = temp.Path() / "db";
    WriteDatabase(folder);
    ASSERT_EQ(Joined(CheckReferenceDatabase(folder.string())), "");
    GetParam().Apply(folder);
    std::map<std::string, std::vector<std::uint8_t>> damaged;
    for (const auto& entry : fs::directory_iterator(folder))
        damaged[entry.path().filename().string()] = ReadFile(entry.path());
    if (damaged.count("Norrvik.run") != 0) { // verify says what to do, not what the stopped run left
        const auto problems = CheckReferenceDatabase(folder.string());
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_EQ(problems[0].rfind("Norrvik.run: a conversion into this database was interrupted", 0), 0u);
    }

    TRecoveryReport report;
    std::string lines;
    try {
        report = RecoverReferenceDatabase(folder.string());
        lines = Joined(report.Lines);
    } catch (const EInOutError& error) {
        lines = error.what();
    }

    EXPECT_NE(lines.find(GetParam().Reported), std::string::npos) << lines;
    if (GetParam().Kept < 0 || *GetParam().Reported == '\0') { // refused, or sound: nothing changes
        EXPECT_EQ(lines.empty(), GetParam().Kept >= 0) << lines;
        EXPECT_EQ(report.BackupFolder, "");
        for (const auto& entry : fs::directory_iterator(folder))
            EXPECT_EQ(ReadFile(entry.path()), damaged.at(entry.path().filename().string())) << entry.path();
        return;
    }
    EXPECT_EQ(Joined(CheckReferenceDatabase(folder.string())), "");
    EXPECT_FALSE(fs::exists(folder / "Norrvik.run"));
    EXPECT_EQ(report.PatternsKept, GetParam().Kept);
    ASSERT_EQ(report.BackupFolder.empty(), !GetParam().CopiesAside);
    if (GetParam().CopiesAside) {
        for (const auto& entry : fs::directory_iterator(report.BackupFolder))
            EXPECT_EQ(ReadFile(entry.path()), damaged.at(entry.path().filename().string()))
                << entry.path().filename() << " is not the replaced file";
    }

    // What is kept reads back: the journal through its lower-case code too.
    TReferenceDatabase database;
    database.SetDatabaseName(folder.string());
    ASSERT_EQ(database.PatternCount(), GetParam().Kept);
    const std::string journal = damaged.count("Codes.PDB") != 0 ? "J. Chem. Phys." : "";
    EXPECT_EQ(database.FindPattern("99-000-0002").GetJournal(), journal);
}

INSTANTIATE_TEST_SUITE_P(Damages, Recovery, ::testing::ValuesIn(kDamages),
                         [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.Name); });

TEST(SharedTextLines, TheCheckerReportsTheRecordThatShares)
{
    test::TempFolder temp;
    const fs::path folder = temp.Path() / "db";
    WriteDatabase(folder);
    PointCommentsAt(folder, 1, 1);
    EXPECT_EQ(Joined(CheckReferenceDatabase(folder.string())),
              "ReferenceDatabase.PDB: record 1: its comments (lines 1 to 1) are text lines of record 2\n");
}

// The store opens exactly the Subfiles.PDB the checker passes, whatever
// the line ends.
TEST(DatabaseTextLines, StoreAndCheckerSplitSubfilesAlike)
{
    test::TempFolder temp;
    const fs::path folder = temp.Path() / "db";
    WriteDatabase(folder);
    for (const std::string content : {"I=a\r\nO=b\r\n", "I=a\nO=b", "I=a\rO=b\r", "I=a\rX=b\r\n", "I=a\r\rO=b\n",
                                      "I=a\r\n\r\nO=b"}) {
        WriteFile(folder / "Subfiles.PDB", content);
        bool opens = true;
        try {
            TReferenceDatabase database;
            database.SetDatabaseName(folder.string());
            database.Open();
        } catch (const Exception&) {
            opens = false;
        }
        EXPECT_EQ(opens, CheckReferenceDatabase(folder.string()).empty()) << content;
    }
}

} // namespace
} // namespace norrvik
