// Tests of the index files as the database store writes them: the entries
// appended when a pattern is added, the full rebuild, the sorting, and the
// equality of the files with those of the literal file steps, whether the
// index work is held in memory or left to the rebuild a new database runs
// when it closes.
#include "refdb/ReferenceDatabase.h"

#include "LiteralTextIndexes.h"
#include "StoreTestPatterns.h"
#include "common/ByteOrder.h"
#include "common/Exceptions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace norrvik {
namespace {

using test::Bytes;
using test::TempFolder;
using test::Text;

std::unique_ptr<TReferenceDatabase> OpenForWriting(const TempFolder& folder)
{
    auto db = std::make_unique<TReferenceDatabase>();
    db->SetDatabaseName(folder.Text());
    db->SetReadOnly(false);
    db->Open();
    return db;
}

TReferencePattern NamedPattern(const std::vector<std::string>& names)
{
    TReferencePattern pattern;
    for (const std::string& name : names)
        pattern.AddName(name, 0);
    return pattern;
}

// Patterns that share names, colours, formulas and codes in several letter
// cases, with tabs, references and crystal data: enough equal texts and
// entries for the exact order of the sort to matter.
TReferencePattern VariedPattern(int i)
{
    static const std::vector<std::string> names = {"alpha", "Alpha", "beta", "gamma\tray", "Delta",
                                                   "alpha", "  spaced", "zeta"};
    static const std::vector<std::string> colours = {"red", "Red", "blue"};
    static const std::vector<std::string> formulas = {"", "Fe2O3", "SiO2", "fe2o3"};
    TReferencePattern pattern;
    pattern.AddName(names[static_cast<std::size_t>(i) % names.size()], 0);
    if (i % 3 == 0)
        pattern.AddName(names[static_cast<std::size_t>(i + 3) % names.size()], 1);
    pattern.SetFormulaLine(formulas[static_cast<std::size_t>(i) % formulas.size()]);
    if (i % 2 == 0)
        pattern.SetCodedComments({test::CodedLine(colours[static_cast<std::size_t>(i) % 3], "CL")});
    if (i % 3 == 1)
        pattern.SetReferences({test::ReferenceLine("JACS", i % 2 ? "Smith, J." : "jones\tK.")});
    if (i % 5 == 0)
        pattern.SetReferenceCode("00-002-0318");
    for (int line = 0; line < 3 + i % 12; ++line)
        pattern.AddLine(1.0f + 0.25f * static_cast<float>(line), static_cast<std::int16_t>((line * 37 + i) % 100),
                        static_cast<std::int16_t>(line), 0, 1);
    pattern.SetCrystalValue(1 + i % 11, 1.5f * static_cast<float>(i));
    pattern.SetSubfiles(static_cast<std::uint32_t>(i));
    return pattern;
}

// The answer of a look-up, an error message included.
std::string LookUp(TReferenceDatabase& db, const std::string& code)
{
    try {
        return std::to_string(db.FindRecordNumber(code));
    } catch (const Exception& error) {
        return error.what();
    }
}

TEST(IndexMaintenanceTest, RebuildWritesCleanedSortedTextIndexes)
{
    TempFolder folder;
    auto db = TReferenceDatabase::CreateDatabase(folder.Text(), "PDF2");
    std::vector<std::string> messages;
    std::vector<long> progress;
    db->SetOnIndexPatternMsg([&](const std::string& code) { messages.push_back(code); });
    db->SetProgressCallback([&](const TProgress& p) {
        EXPECT_EQ(p.CurrentStage, TProgress::Stage::WritingIndexes);
        EXPECT_EQ(p.Total, 4);
        progress.push_back(p.Done);
    });
    for (const char* name : {"beta", "Alpha", "alpha", "Fe\tOxide"}) {
        TReferencePattern pattern = NamedPattern({name});
        db->AddPattern(pattern);
    }
    db->Close();
    EXPECT_EQ(Text(folder, "Name.PDB"), "      4\r\n3 ALPHA\r\n2 ALPHA\r\n1 BETA\r\n4 FE OXIDE\r\n");
    EXPECT_EQ(Text(folder, "ReferenceCode.PDB"),
              "      4\r\n1 990000001\r\n2 990000002\r\n3 990000003\r\n4 990000004\r\n");
    EXPECT_EQ(Text(folder, "Formula.PDB"), "      0\r\n");
    EXPECT_EQ(messages, (std::vector<std::string>{"99-000-0001", "99-000-0002", "99-000-0003",
                                                  "99-000-0004"}));
    EXPECT_EQ(progress, (std::vector<long>{1, 2, 3, 4}));

    // Added to the open database, the tab stays as the name gives it. The
    // sort of five entries exchanges the two equal ALPHA entries again, and
    // the tab (9) sorts before the blank (32).
    auto writer = OpenForWriting(folder);
    TReferencePattern tabbed = NamedPattern({"Fe\tOxide"});
    writer->AddPattern(tabbed);
    EXPECT_EQ(Text(folder, "Name.PDB"), "      4\r\n3 ALPHA\r\n2 ALPHA\r\n1 BETA\r\n4 FE OXIDE\r\n"); // held
    writer->WriteHeldTextIndexes();
    EXPECT_EQ(Text(folder, "Name.PDB"),
              "      5\r\n2 ALPHA\r\n3 ALPHA\r\n1 BETA\r\n5 FE\tOXIDE\r\n4 FE OXIDE\r\n");
}

// A new database in `folder` holding two patterns named A and B.
void CreateWithPatternsAAndB(const TempFolder& folder)
{
    auto db = TReferenceDatabase::CreateDatabase(folder.Text(), "PDF2");
    for (const char* name : {"A", "B"}) {
        TReferencePattern pattern = NamedPattern({name});
        db->AddPattern(pattern);
    }
    db->Close();
}

TEST(IndexMaintenanceTest, AddedEntriesAreCountedAndSorted)
{
    {
        TempFolder folder;
        CreateWithPatternsAAndB(folder);
        test::WriteFile(folder.Path() / "Color.PDB", std::string("      2\r\n1 RED\r\n2 GREEN\r\n"));
        auto db = OpenForWriting(folder);
        TReferencePattern blue = NamedPattern({"C", "c"});
        blue.SetCodedComments({test::CodedLine("BLUE", "CL")});
        blue.SetFormulaLine("SiO2");
        db->AddPattern(blue);
        db->WriteHeldTextIndexes();
        EXPECT_EQ(Text(folder, "Color.PDB"), "      3\r\n3 BLUE\r\n2 GREEN\r\n1 RED\r\n");
        EXPECT_EQ(Text(folder, "Name.PDB"), "      4\r\n1 A\r\n2 B\r\n3 C\r\n3 C\r\n");
        EXPECT_EQ(Text(folder, "Formula.PDB"), "      1\r\n3 SIO2\r\n");

        TReferencePattern blank = NamedPattern({"D"});
        blank.SetCodedComments({test::CodedLine("  ", "CL")});
        db->AddPattern(blank);
        db->WriteHeldTextIndexes();
        EXPECT_EQ(Text(folder, "Color.PDB"), "      3\r\n3 BLUE\r\n2 GREEN\r\n1 RED\r\n");
        EXPECT_EQ(Text(folder, "ReferenceCode.PDB"),
                  "      4\r\n1 990000001\r\n2 990000002\r\n3 990000003\r\n4 990000004\r\n");
        // A text index that is not one is left as it is.
        db->Close();
        test::WriteFile(folder.Path() / "Author.PDB", std::string("none\r\n"));
        db->SortTextIndex("Author.PDB");
        EXPECT_EQ(Text(folder, "Author.PDB"), "none\r\n");
        db->SortTextIndex("Missing.PDB");
        EXPECT_EQ(Text(folder, "Missing.PDB"), "      0\r\n");
    }
}

// A count line of another width than the usual seven characters (written
// by another program) is replaced whole when an entry is added: the new
// count is not mixed with digits of the old one, nor written into the line
// after it.
TEST(IndexMaintenanceTest, AddedEntryReplacesACountLineOfAnyWidth)
{
    const std::string entries = "1 RED\r\n2 GREEN\r\n";
    for (const std::string countLine : {"      02", "2", "       2", "+2", "   2"}) {
        TempFolder folder;
        CreateWithPatternsAAndB(folder);
        test::WriteFile(folder.Path() / "Color.PDB", countLine + "\r\n" + entries);
        auto db = OpenForWriting(folder);
        TReferencePattern blue = NamedPattern({"C"});
        blue.SetCodedComments({test::CodedLine("BLUE", "CL")});
        db->AddPattern(blue);
        db->Close();
        EXPECT_EQ(Text(folder, "Color.PDB"), "      3\r\n3 BLUE\r\n2 GREEN\r\n1 RED\r\n") << countLine;
    }
}

TEST(IndexMaintenanceTest, BinaryIndexRecordsAfterAddAndRebuild)
{
    TempFolder folder;
    auto db = TReferenceDatabase::CreateDatabase(folder.Text(), "PDF2");
    TReferencePattern first = test::SimplePattern("Hematite");
    first.SetSubfiles(5);
    for (int n = 1; n <= 11; ++n)
        first.SetCrystalValue(n, static_cast<float>(n));
    first.SetCrystalValue(9, 0.5f); // below 1: value 10 goes in its place
    first.SetCrystalNumber(0x1234);
    first.SetCrystalClassByte(7);
    db->AddPattern(first);
    db->Close();

    const std::vector<std::uint8_t> code = {9, '9', '9', '0', '0', '0', '0', '0', '0', '1'};
    std::vector<std::uint8_t> index(31, 0);
    index[1] = 0x01; // O (8)
    index[3] = 0x04; // Fe (26)
    WriteU32LE(index, 14, 5);
    WriteI16LE(index, 18, 8);
    std::copy(code.begin(), code.end(), index.begin() + 21);
    EXPECT_EQ(Bytes(folder, "Index.PDB"), index);

    std::vector<std::uint8_t> crystal(52, 0);
    for (int n = 2; n <= 7; ++n)
        WriteF32LE(crystal, static_cast<std::size_t>(4 * (n - 2)), static_cast<float>(n));
    WriteF32LE(crystal, 24, 11.0f);
    WriteF32LE(crystal, 28, 10.0f);
    WriteF32LE(crystal, 32, 8.0f);
    crystal[36] = 0x34;
    crystal[37] = 7;
    WriteF32LE(crystal, 38, 1.0f);
    std::copy(code.begin(), code.end(), crystal.begin() + 42);
    EXPECT_EQ(Bytes(folder, "CrystalIndex.PDB"), crystal);

    std::vector<std::uint8_t> strongest(40, 0);
    WriteI32LE(strongest, 0, 990000001);
    strongest[4] = 3;
    const std::vector<std::int16_t> dCodes = {8192, 4096, 16384}, intensities = {1000, 500, 250};
    for (std::size_t i = 0; i < 3; ++i) {
        WriteI16LE(strongest, 6 + 2 * i, dCodes[i]);
        WriteI16LE(strongest, 22 + 2 * i, intensities[i]);
    }
    EXPECT_EQ(Bytes(folder, "StrongestLines.PDB"), strongest);

    // Added to the open database: one more record at the end of each file
    // once it is closed.
    auto writer = OpenForWriting(folder);
    TReferencePattern second = test::SimplePattern("Other");
    writer->AddPattern(second);
    writer->Close();
    const auto indexAfter = Bytes(folder, "Index.PDB");
    ASSERT_EQ(indexAfter.size(), 62u);
    EXPECT_TRUE(std::equal(index.begin(), index.end(), indexAfter.begin()));
    EXPECT_EQ(indexAfter[31 + 21 + 9], '2');
    EXPECT_EQ(Bytes(folder, "CrystalIndex.PDB").size(), 104u);
    const auto strongestAfter = Bytes(folder, "StrongestLines.PDB");
    ASSERT_EQ(strongestAfter.size(), 80u);
    EXPECT_EQ(ReadI32LE(strongestAfter, 40), 990000002);

    // An existing database of two patterns without CrystalIndex.PDB does not get it.
    std::filesystem::remove(folder.Path() / "CrystalIndex.PDB");
    auto third = OpenForWriting(folder);
    TReferencePattern pattern = test::SimplePattern("Third");
    third->AddPattern(pattern);
    third->Close();
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "CrystalIndex.PDB"));
    EXPECT_EQ(Bytes(folder, "Index.PDB").size(), 93u);
}

TEST(IndexMaintenanceTest, HeldAndDeferredIndexWorkGivesTheFilesOfTheLiteralSteps)
{
    TempFolder fast;
    TempFolder literalFolder;
    test::TLiteralTextIndexes literal(literalFolder.Path());
    auto db = TReferenceDatabase::CreateDatabase(fast.Text(), "PDF2");
    const auto add = [&](int i, bool append) {
        TReferencePattern pattern = VariedPattern(i);
        if (append) {
            db->AppendPattern(pattern);
        } else {
            db->AddPattern(pattern);
            literal.Added(*db);
        }
    };
    const auto lookUp = [&](const std::string& code) { EXPECT_EQ(LookUp(*db, code), literal.LookUp(code)) << code; };
    const auto close = [&](bool rebuilt, const std::string& when) {
        db->Close();
        if (rebuilt)
            literal.Rebuilt(fast.Text());
        literal.Closed();
        literal.ExpectSameFiles(fast.Path(), when);
    };
    const auto reopen = [&] {
        db = OpenForWriting(fast);
        literal.Opened();
    };

    // A new database: its index work is left to the rebuild at close.
    lookUp("00-002-0318");
    for (int i = 0; i < 30; ++i) {
        add(i, false);
        if (i == 0 || i == 7)
            lookUp("00-002-0318");
    }
    lookUp("990000007");
    close(true, "after the first close");

    // Reopened: every add updates the indexes held in memory, written at
    // close; the files at every close are those of the steps at every add.
    for (int round = 0; round < 3; ++round) {
        reopen();
        for (int i = 0; i < 5 + 10 * round; ++i)
            add(30 + 20 * round + i, false);
        lookUp("00-002-0318");
        close(false, "after round " + std::to_string(round));
    }

    // An appended pattern makes a rebuild pending: later adds wait for it,
    // unless a look-up or a sort needs the text indexes first.
    reopen();
    add(95, true);
    for (int i = 96; i < 110; ++i)
        add(i, false);
    lookUp("990000031");
    db->SortTextIndexes();
    literal.Sorted();
    literal.ExpectSameFiles(fast.Path(), "after sorting");
    for (int i = 110; i < 114; ++i)
        add(i, false);
    close(true, "after the last close");
}

} // namespace
} // namespace norrvik
