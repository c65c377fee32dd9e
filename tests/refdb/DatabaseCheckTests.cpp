// The database checker: a sound database gives no problem, and each kind of
// damage a copy, a transfer or a full disk can do is reported with its file;
// a text index's entries taken record by record as a pattern gives them.
#include "refdb/DatabaseCheck.h"

#include "refdb/CheckedTextIndex.h"

#include "common/ByteOrder.h"
#include "refdb/ReferenceDatabase.h"
#include "refdb/ReferencePattern.h"
#include "support/RecordFields.h"
#include "CheckProblems.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace norrvik {
namespace {

using test::ReadFile;
using test::ReadFileText;
using test::HasProblem;
using test::Joined;
using test::TempFolder;
using test::WriteFile;

using test::kRecordSize;

TReferencePattern SamplePattern(int n)
{
    TReferencePattern pattern;
    if (n == 2)
        pattern.SetReferenceCode("00-002-0318"); // the others get user codes
    pattern.SetFormulaLine(n == 1 ? "Si O2" : "Fe2 O3");
    pattern.SetMineralName(n == 1 ? "quartz" : "hematite");
    pattern.AddName("silica", kCompoundNameType);
    pattern.AddTextLine(TextList::Comments, "Imported from /old/db");
    pattern.AddTextLine(TextList::CodedComments,
                        std::string("red") + std::string(64, ' ') + "CL");
    pattern.AddLine(3.34f, 100, 1, 0, 1);
    pattern.AddLine(4.26f, static_cast<std::int16_t>(20 + n), 1, 0, 0);
    pattern.AddLine(1.82f, 15, 1, 1, 2);
    return pattern;
}

// A new database of three patterns, closed (indexes rebuilt), then a fourth
// added to it as an existing database (its entries appended and sorted).
void MakeDatabase(const std::filesystem::path& folder)
{
    {
        auto database = TReferenceDatabase::CreateDatabase(folder.string(), "PDF2");
        for (int n = 1; n <= 3; ++n) {
            TReferencePattern pattern = SamplePattern(n);
            database->AddPattern(pattern);
        }
        database->Close();
    }
    TReferenceDatabase database;
    database.SetDatabaseName(folder.string());
    database.SetReadOnly(false);
    database.Open();
    TReferencePattern pattern = SamplePattern(4);
    database.AddPattern(pattern);
    database.Close();
}

void Truncate(const std::filesystem::path& path, std::size_t removed)
{
    auto bytes = ReadFile(path);
    bytes.resize(bytes.size() - removed);
    WriteFile(path, bytes);
}

void PatchI32(const std::filesystem::path& path, std::size_t offset, std::int32_t value)
{
    auto bytes = ReadFile(path);
    WriteI32LE(bytes, offset, value);
    WriteFile(path, bytes);
}

class DatabaseCheck : public ::testing::Test {
protected:
    void SetUp() override { MakeDatabase(dir.Path()); }
    std::filesystem::path File(const char* name) const { return dir.Path() / name; }
    std::vector<std::string> Check() const { return CheckReferenceDatabase(dir.Text()); }

    TempFolder dir;
};

TEST(DatabaseCheckSound, NewAndFilledDatabasesHaveNoProblem)
{
    TempFolder empty;
    TReferenceDatabase::CreateDatabase(empty.Text(), "PDF2")->Close();
    EXPECT_EQ(Joined(CheckReferenceDatabase(empty.Text())), "");

    TempFolder filled;
    MakeDatabase(filled.Path());
    EXPECT_EQ(Joined(CheckReferenceDatabase(filled.Text())), "");

    // Bytes of an addition that failed before its header was written are
    // not counted and do no harm: the next addition overwrites them.
    auto bytes = ReadFile(filled.Path() / "ReferenceDatabase.PDB");
    bytes.resize(bytes.size() + kRecordSize + 100, 0x55);
    WriteFile(filled.Path() / "ReferenceDatabase.PDB", bytes);
    EXPECT_EQ(Joined(CheckReferenceDatabase(filled.Text())), "");
}

TEST(DatabaseCheckSound, MissingFolderAndFilesAreNamed)
{
    TempFolder dir;
    auto problems = CheckReferenceDatabase(dir.Text("nothing-here"));
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("nothing-here"), std::string::npos);

    MakeDatabase(dir.Path());
    std::filesystem::remove(dir.Path() / "Journal.PDB");
    std::filesystem::remove(dir.Path() / "Index.PDB");
    problems = CheckReferenceDatabase(dir.Text());
    EXPECT_TRUE(HasProblem(problems, "Journal.PDB", "missing")) << Joined(problems);
    EXPECT_TRUE(HasProblem(problems, "Index.PDB", "missing")) << Joined(problems);
}

TEST_F(DatabaseCheck, HeaderAgainstTheMainDataFile)
{
    Truncate(File("ReferenceDatabase.PDB"), 10); // the fourth record loses its end
    auto problems = Check();
    EXPECT_TRUE(HasProblem(problems, "ReferenceDatabase.PDB", "counts 4 patterns, the file holds only 3"))
        << Joined(problems);

    MakeDatabase(dir.Path());
    PatchI32(File("ReferenceDatabase.PDB"), 10, 3); // UserPatternCount; all four carry the user bit
    problems = Check();
    EXPECT_TRUE(HasProblem(problems, "ReferenceDatabase.PDB", "3 user patterns, 4 records")) << Joined(problems);

    PatchI32(File("ReferenceDatabase.PDB"), 10, 5); // more user patterns than patterns
    EXPECT_TRUE(HasProblem(Check(), "ReferenceDatabase.PDB", "5 user patterns among 4"));

    MakeDatabase(dir.Path());
    PatchI32(File("ReferenceDatabase.PDB"), 2 * kRecordSize + test::kRecordNumberField, 7); // record 2 claims to be record 7
    EXPECT_TRUE(HasProblem(Check(), "ReferenceDatabase.PDB", "record 2 holds the record number 7"));

    auto bytes = ReadFile(File("ReferenceDatabase.PDB"));
    bytes[1] = 'x'; // version "x.0"
    WriteFile(File("ReferenceDatabase.PDB"), bytes);
    problems = Check();
    ASSERT_FALSE(problems.empty());
    EXPECT_NE(problems[0].find("x.0"), std::string::npos) << Joined(problems);

    bytes.resize(3000);
    WriteFile(File("ReferenceDatabase.PDB"), bytes);
    EXPECT_TRUE(HasProblem(Check(), "ReferenceDatabase.PDB", "shorter than its header"));
}

TEST_F(DatabaseCheck, TextIndexCountsRangesAndOrder)
{
    const std::string original = ReadFileText(File("Color.PDB"));

    // Count line one short: the last entry line is not counted.
    const std::size_t count = std::stoul(original.substr(0, 7));
    WriteFile(File("Color.PDB"), std::string(6, ' ') + std::to_string(count - 1) + original.substr(7));
    auto problems = Check();
    EXPECT_TRUE(HasProblem(problems, "Color.PDB", "count line says")) << Joined(problems);

    // Count line one too many: the file cannot be read as an index.
    WriteFile(File("Color.PDB"), std::string(6, ' ') + std::to_string(count + 1) + original.substr(7));
    EXPECT_TRUE(HasProblem(Check(), "Color.PDB", "Error in index file"));

    // An entry pointing past the last record, sorting last.
    WriteFile(File("Color.PDB"), std::string(6, ' ') + std::to_string(count + 1) + original.substr(7) + "9 ZZZ\r\n");
    problems = Check();
    EXPECT_TRUE(HasProblem(problems, "Color.PDB", "points at record 9")) << Joined(problems);

    // Entries out of order, and an entry in lower case.
    WriteFile(File("Name.PDB"), "      3\r\n1 SILICA\r\n2 HEMATITE\r\n1 quartz\r\n");
    problems = Check();
    EXPECT_TRUE(HasProblem(problems, "Name.PDB", "entry 2 (\"HEMATITE\") is out of order")) << Joined(problems);
    EXPECT_TRUE(HasProblem(problems, "Name.PDB", "entry 3 (\"quartz\") is out of order")) << Joined(problems);
    // ... and records whose entries are missing.
    EXPECT_TRUE(HasProblem(problems, "Name.PDB", "record 3 has the entries none")) << Joined(problems);
}

TEST_F(DatabaseCheck, BinaryIndexesAgainstTheRecords)
{
    Truncate(File("StrongestLines.PDB"), 40);
    auto problems = Check();
    EXPECT_TRUE(HasProblem(problems, "StrongestLines.PDB", "holds 3 records, the database holds 4 patterns"))
        << Joined(problems);

    Truncate(File("Index.PDB"), 5);
    problems = Check();
    EXPECT_TRUE(HasProblem(problems, "Index.PDB", "not a whole number of 31-byte records")) << Joined(problems);

    // Records shifted by one: the second record describes the first pattern.
    MakeDatabase(dir.Path());
    auto index = ReadFile(File("Index.PDB"));
    std::copy(index.begin(), index.begin() + 31, index.begin() + 31);
    WriteFile(File("Index.PDB"), index);
    problems = Check();
    EXPECT_TRUE(HasProblem(problems, "Index.PDB", "record 1 does not match pattern 2")) << Joined(problems);

    // A database made without CrystalIndex.PDB never gets one: not a problem.
    MakeDatabase(dir.Path());
    std::filesystem::remove(File("CrystalIndex.PDB"));
    EXPECT_EQ(Joined(Check()), "");
}

// Each pattern has three lines: slots 3..7 and the padding carry no meaning.
TEST_F(DatabaseCheck, StrongestLinesComparedUpToTheirCount)
{
    const std::vector<std::uint8_t> sound = ReadFile(File("StrongestLines.PDB"));
    const struct {
        std::size_t Offset;
        bool Meaningful;
    } cases[] = {{0, true}, {4, true}, {6 + 2 * 2, true}, {22, true}, {5, false},
                 {6 + 2 * 3, false}, {6 + 2 * 7, false}, {22 + 2 * 3, false}, {38, false}};
    for (const auto& c : cases) {
        auto bytes = sound;
        bytes[40 + c.Offset] ^= 0x5a; // in the second record
        WriteFile(File("StrongestLines.PDB"), bytes);
        EXPECT_EQ(HasProblem(Check(), "StrongestLines.PDB", "record 1 does not match pattern 2"), c.Meaningful)
            << "byte " << c.Offset;
    }
}

TEST_F(DatabaseCheck, TextRangesInsideTheSideFiles)
{
    Truncate(File("Comment.PDB"), 70); // the last pattern's comment line is gone
    auto problems = Check();
    EXPECT_TRUE(HasProblem(problems, "ReferenceDatabase.PDB", "record 4: its comments")) << Joined(problems);
    EXPECT_TRUE(HasProblem(problems, "ReferenceDatabase.PDB", "past the end of Comment.PDB")) << Joined(problems);
}

TEST_F(DatabaseCheck, ReportsAreCappedPerFileAndSubfilesChecked)
{
    // Eight entries all pointing nowhere, with a cap of three per file.
    std::string index = "      8\r\n";
    for (int i = 0; i < 8; ++i)
        index += "99 X\r\n";
    WriteFile(File("Journal.PDB"), index);
    TDatabaseCheckOptions options;
    options.MaxProblemsPerFile = 3;
    const auto problems = CheckReferenceDatabase(dir.Text(), options);
    EXPECT_EQ(std::count_if(problems.begin(), problems.end(),
                            [](const std::string& p) { return p.rfind("Journal.PDB: ", 0) == 0; }),
              4)
        << Joined(problems);
    EXPECT_TRUE(HasProblem(problems, "Journal.PDB", "and 5 more problems"));

    WriteFile(File("Subfiles.PDB"), "I=Inorganic\r\nM=Mineral\r\n");
    EXPECT_TRUE(HasProblem(Check(), "Subfiles.PDB", "line 2"));
}

// Entries come in the index's text order; each record's are taken in byte
// order of their normalised texts, also where a damaged entry's record lies
// far beyond the others.
TEST(CheckedTextIndex, EntriesAreTakenByRecordInTheOrderAPatternGivesThem)
{
    for (const std::int32_t far : {4, 999999999}) {
        TTextIndexContent content;
        for (const auto& [record, text] : std::vector<std::pair<std::int32_t, std::string>>{
                 {2, "b"}, {far, "q"}, {1, "zeta"}, {1, " alpha "}, {3, " "}, {2, "A"}, {1, "Mid"}, {3, "x"}})
            content.Add(record, text);
        content.Seal();
        std::size_t next = 0;
        const std::vector<std::vector<std::string>> expected = {{"zeta", " alpha ", "Mid"}, {"b", "A"}, {"x"}, {"q"}};
        for (std::int32_t record = 1; record <= 4; ++record) {
            const auto taken = content.TakeRecord(record == 4 ? far : record, next);
            const std::vector<std::string> texts = Normalised(expected[static_cast<std::size_t>(record - 1)]);
            EXPECT_TRUE(content.SameTexts(taken, texts)) << far << " " << record;
            EXPECT_EQ(content.Texts(taken), texts);
        }
    }
}

} // namespace
} // namespace norrvik
