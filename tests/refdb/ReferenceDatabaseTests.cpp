// Tests of the database store: the folder and its lifecycle, the main data
// file and its header, the text-line files, pattern look-up and adding
// patterns. Expected bytes come from the file layouts.
#include "refdb/ReferenceDatabase.h"

#include "StoreTestPatterns.h"
#include "support/RecordFields.h"
#include "common/ByteOrder.h"
#include "common/Exceptions.h"
#include "refdb/ReferenceCodes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace norrvik {
namespace {

using test::Bytes;
using test::kRecordSize;
using test::TempFolder;
using test::Text;

std::string Message(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "(no exception)";
}

std::string Folder(const TempFolder& folder)
{
    return folder.Text() + test::kDelimiter;
}

// A closed database of `names.size()` user patterns in `folder`.
void MakeDatabase(const TempFolder& folder, const std::vector<std::string>& names)
{
    auto db = TReferenceDatabase::CreateDatabase(folder.Text(), "PDF2");
    for (const std::string& name : names) {
        TReferencePattern pattern = test::SimplePattern(name);
        db->AddPattern(pattern);
    }
    db->Close();
}

std::unique_ptr<TReferenceDatabase> OpenForWriting(const TempFolder& folder)
{
    auto db = std::make_unique<TReferenceDatabase>();
    db->SetDatabaseName(folder.Text());
    db->SetReadOnly(false);
    db->Open();
    return db;
}

TEST(ReferenceDatabaseTest, NewDatabaseHasHeaderEmptyIndexesAndSubfiles)
{
    TempFolder folder;
    test::WriteFile(folder.Path() / "Index.PDB", std::string("left from before"));
    auto db = TReferenceDatabase::CreateDatabase(folder.Text(), "PDF2");
    EXPECT_TRUE(db->Opened());
    EXPECT_FALSE(db->ReadOnly());
    EXPECT_TRUE(db->IndexRebuildPending());
    EXPECT_EQ(db->DatabaseName(), Folder(folder));

    const auto main = Bytes(folder, "ReferenceDatabase.PDB");
    ASSERT_EQ(main.size(), kRecordSize);
    std::vector<std::uint8_t> header(kRecordSize, 0);
    const std::vector<std::uint8_t> start = {3, '2', '.', '0', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                             4, 'P', 'D', 'F', '2'};
    std::copy(start.begin(), start.end(), header.begin());
    EXPECT_EQ(main, header);

    // 13 files and the run's marker: the stray Index.PDB is gone,
    // CrystalIndex.PDB not yet there.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 14);
    EXPECT_TRUE(std::filesystem::exists(folder.Path() / "Norrvik.run"));
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "Index.PDB"));
    for (const char* name : {"ReferenceCode.PDB", "Name.PDB", "MineralName.PDB", "Formula.PDB",
                             "Color.PDB", "Journal.PDB", "Author.PDB"})
        EXPECT_EQ(Text(folder, name), "      0\r\n") << name;
    for (const char* name : {"Comment.PDB", "Literature.PDB", "Codes.PDB", "StrongestLines.PDB"})
        EXPECT_TRUE(Bytes(folder, name).empty()) << name;
    const std::string subfiles = Text(folder, "Subfiles.PDB");
    EXPECT_EQ(subfiles.substr(0, 24), "I=Inorganic\r\nO=Organic\r\n");
    EXPECT_TRUE(subfiles.ends_with("\r\nION=Ionic Conductors\r\n"));
    EXPECT_EQ(std::count(subfiles.begin(), subfiles.end(), '\n'), 29);
    EXPECT_EQ(db->SubfileCount(), 29);

    // Closing an empty new database rebuilds: empty indexes, empty binary files.
    db->Close();
    EXPECT_FALSE(db->Opened());
    EXPECT_TRUE(db->ReadOnly());
    EXPECT_EQ(Text(folder, "Name.PDB"), "      0\r\n");
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "Norrvik.run"));
    for (const char* name : {"Index.PDB", "CrystalIndex.PDB", "StrongestLines.PDB"})
        EXPECT_TRUE(Bytes(folder, name).empty()) << name;

    auto titled = TReferenceDatabase::CreateDatabase(folder.Text(), std::string(40, 'T'));
    EXPECT_EQ(titled->Title(), std::string(30, 'T'));
    EXPECT_EQ(titled->Version(), "2.0");
}

TEST(ReferenceDatabaseTest, FirstAddedPatternRecordAndHeader)
{
    TempFolder folder;
    auto db = TReferenceDatabase::CreateDatabase(folder.Text(), "PDF2");
    TReferencePattern pattern = test::SimplePattern("Hematite");
    pattern.SetCodedComments({test::CodedLine("red", "CL")});
    db->AddPattern(pattern);
    EXPECT_EQ(db->PatternCount(), 1);
    EXPECT_EQ(db->UserPatternCount(), 1);
    EXPECT_EQ(db->CurrentPattern().GetReferenceCode(), "99-000-0001");
    db->Close();
    EXPECT_TRUE(std::filesystem::exists(folder.Path() / "Index.PDB"));
    EXPECT_TRUE(std::filesystem::exists(folder.Path() / "CrystalIndex.PDB"));

    const auto main = Bytes(folder, "ReferenceDatabase.PDB");
    ASSERT_EQ(main.size(), 2u * kRecordSize);
    const ConstBytes header = test::RecordOf(main, 0);
    EXPECT_EQ(ReadI32LE(header, test::kHeaderPatternCount), 1);
    EXPECT_EQ(ReadI32LE(header, test::kHeaderUserPatternCount), 1);
    const ConstBytes record = test::RecordOf(main, 1);
    EXPECT_EQ(ReadBytesAsString(record, test::kCodeField, 9), "990000001");
    EXPECT_EQ(ReadI32LE(record, test::kRecordNumberField), 1);
    EXPECT_EQ(ReadI16LE(record, test::kStatusField), 8);                 // user pattern bit
    EXPECT_EQ(ReadI32LE(record, test::kCodedCommentsStartField), 0);     // line 0 of Comment.PDB
    EXPECT_EQ(ReadI16LE(record, test::kCodedCommentsCountField), 1);
    EXPECT_EQ(ReadI32LE(record, test::kCommentsStartField), 1);          // comments: line 1
    EXPECT_EQ(ReadI16LE(record, test::kCommentsCountField), 1);
    EXPECT_EQ(ReadI32LE(record, test::kReferencesStartField), -1);       // no references
    EXPECT_EQ(ReadI16LE(record, test::kReferencesCountField), 0);
    EXPECT_EQ(record[103 + 1], 0x01);               // O (8)
    EXPECT_EQ(record[103 + 3], 0x04);               // Fe (26)
    EXPECT_EQ(record[test::kLineCountField], 3);    // lines by descending d
    EXPECT_EQ(ReadF32LE(record, test::kDField), 4.0f);
    EXPECT_EQ(ReadF32LE(record, test::kDField + 4), 2.0f);
    EXPECT_EQ(ReadI16LE(record, test::kIntensityField), 50);
    EXPECT_EQ(ReadI16LE(record, test::kIntensityField + 2), 100);
    EXPECT_EQ(ReadI16LE(record, test::kMaxIntensityField), 100);

    const std::string comments = Text(folder, "Comment.PDB");
    ASSERT_EQ(comments.size(), 140u);
    EXPECT_EQ(comments.substr(0, 70), test::CodedLine("red", "CL") + " ");
    EXPECT_EQ(comments.substr(70), "Imported from somewhere" + std::string(47, ' '));
}

// A new database leaves its binary indexes to the closing rebuild, and so
// skips the line sorts for them where they cannot change the order; the
// added pattern stays held with its lines as those sorts would leave them.
// Only lines without a number as d-spacing can be reordered by them.
TEST(ReferenceDatabaseTest, AddedPatternIsHeldWithItsLinesInTheOrderOfTheSorts)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const auto& lines : std::vector<std::vector<std::pair<float, std::int16_t>>>{
             {{1.5f, 10}, {3.0f, 100}, {2.0f, 100}, {0.5f, 7}},
             {{2.0f, 50}, {nan, 100}, {1.0f, 50}, {nan, 20}, {3.0f, 50}},
             {{nan, 5}, {nan, 5}, {1.0f, 9}}}) {
        TempFolder folder;
        auto db = TReferenceDatabase::CreateDatabase(folder.Text(), "PDF2");
        TReferencePattern pattern;
        for (std::size_t i = 0; i < lines.size(); ++i)
            pattern.AddLine(lines[i].first, lines[i].second, static_cast<std::int16_t>(i), 0, 0);
        TReferencePattern expected;
        expected.Assign(pattern);
        expected.SortLinesByD();
        expected.SortLinesByIntensity();
        expected.SortLinesByD();
        db->AddPattern(pattern);
        ASSERT_EQ(db->CurrentPattern().GetLineCount(), expected.GetLineCount());
        for (int i = 0; i < expected.GetLineCount(); ++i)
            EXPECT_EQ(db->CurrentPattern().GetH(i), expected.GetH(i)) << "line " << i;
    }
}

TEST(ReferenceDatabaseTest, TextLinesAreCutPaddedAppendedAndReadBack)
{
    TempFolder folder;
    auto db = TReferenceDatabase::CreateDatabase(folder.Text(), "PDF2");
    TReferencePattern first = test::SimplePattern("A");
    first.SetComments(std::vector<std::string>(10, "ten"));
    db->AddPattern(first);
    TReferencePattern second = test::SimplePattern("B");
    second.SetComments({std::string(75, 'x'), "ABC", "last line\t "});
    db->AddPattern(second);
    const TextRange range = db->CurrentPattern().GetTextRange(TextList::Comments);
    EXPECT_EQ(range.First, 10);
    EXPECT_EQ(range.Count, 3);
    db->Close();

    TReferenceDatabase reader;
    reader.SetDatabaseName(folder.Text());
    const TReferencePattern& stored = reader.GetPattern(2);
    EXPECT_EQ(stored.GetComments(),
              (std::vector<std::string>{std::string(70, 'x'), "ABC", "last line"}));
    std::vector<std::string> lines{"kept"};
    reader.ReadTextLines(TextSideFile::Comment, 11, lines, 5); // runs past the end
    EXPECT_EQ(lines, (std::vector<std::string>{"kept", "ABC", "last line"}));
    reader.ReadTextLines(TextSideFile::Comment, -1, lines, 5);
    EXPECT_TRUE(lines.empty());
}

TEST(ReferenceDatabaseTest, OpenReportsWhatIsMissingOrWrong)
{
    TempFolder folder;
    TReferenceDatabase db;
    EXPECT_EQ(db.DatabaseName(), "Unknown");
    db.SetDatabaseName(folder.Text("none"));
    EXPECT_EQ(Message([&] { db.Open(); }), "Folder " + folder.Text("none") + "/ doesn't exist.");
    EXPECT_FALSE(db.Opened());

    MakeDatabase(folder, {"A"});
    db.SetDatabaseName(folder.Text());
    const std::vector<std::pair<std::string, std::string>> required = {
        {"ReferenceDatabase.PDB", "a reference database"},
        {"ReferenceCode.PDB", "an index file for the reference codes"},
        {"Name.PDB", "an index file for the names"},
        {"MineralName.PDB", "an index file for the mineral names"},
        {"Formula.PDB", "an index file for the formulas"},
        {"Color.PDB", "an index file for the colors"},
        {"StrongestLines.PDB", "an index file for the strongest lines"},
        {"Author.PDB", "an index file for the authors"},
        {"Journal.PDB", "an index file for the journals"}};
    for (const auto& [name, text] : required) {
        const auto path = folder.Path() / name;
        const auto saved = test::ReadFile(path);
        std::filesystem::remove(path);
        EXPECT_TRUE(db.HasReadOnlyFiles());
        EXPECT_EQ(Message([&] { db.Open(); }), "Folder " + Folder(folder) + " doesn't contain " + text + ".");
        EXPECT_FALSE(db.Opened());
        test::WriteFile(path, saved);
    }
    EXPECT_FALSE(db.HasReadOnlyFiles());
    // A link is never written through, even to a writable file.
    std::filesystem::rename(folder.Path() / "Name.PDB", folder.Path() / "Name.real");
    std::filesystem::create_symlink("Name.real", folder.Path() / "Name.PDB");
    EXPECT_TRUE(db.HasReadOnlyFiles());
    std::filesystem::remove(folder.Path() / "Name.PDB");
    std::filesystem::rename(folder.Path() / "Name.real", folder.Path() / "Name.PDB");

    // Subfile rows in another order; descriptions may differ, letter case too.
    std::string subfiles = Text(folder, "Subfiles.PDB");
    test::WriteFile(folder.Path() / "Subfiles.PDB", "O=Organic\r\nI=Inorganic\r\n");
    EXPECT_EQ(Message([&] { db.Open(); }), "Incorrect entry in the file with subfiles.");
    db.Close();
    EXPECT_FALSE(db.Opened());
    test::WriteFile(folder.Path() / "Subfiles.PDB", "i=anything\r\no=Organic\r\n");
    EXPECT_NO_THROW(db.Open());
    EXPECT_EQ(db.SubfileCount(), 2);
    db.Close();
    // More lines than the table has rows: the extra lines are kept, not compared.
    subfiles += "R09=Reserved 09\r\nR10=Reserved 10\r\nR11=Reserved 11\r\nX=Extra\r\n";
    test::WriteFile(folder.Path() / "Subfiles.PDB", subfiles);
    EXPECT_EQ(db.SubfileCount(), 33);
    db.Close();
    std::filesystem::remove(folder.Path() / "Subfiles.PDB");
    EXPECT_EQ(db.SubfileCount(), 29);
    db.Close();

    // A bad index file fails Open part-way; Close then leaves everything closed.
    const std::string codes = Text(folder, "ReferenceCode.PDB");
    test::WriteFile(folder.Path() / "ReferenceCode.PDB", "  x\r\n");
    EXPECT_EQ(Message([&] { db.Open(); }), "Error in index file " + Folder(folder) + "ReferenceCode.PDB");
    EXPECT_TRUE(db.Opened());
    EXPECT_NO_THROW(db.Close());
    EXPECT_FALSE(db.Opened());
    test::WriteFile(folder.Path() / "ReferenceCode.PDB", "\r\n1 X\r\n");
    EXPECT_EQ(Message([&] { db.Open(); }),
              "No data in index file \"" + Folder(folder) + "ReferenceCode.PDB\".");
    db.Close();
    test::WriteFile(folder.Path() / "ReferenceCode.PDB", codes);
    EXPECT_EQ(db.PatternCount(), 1);
}

TEST(ReferenceDatabaseTest, ReadOnlyAndNameSettersCloseAndReopen)
{
    TempFolder folder;
    TempFolder other;
    MakeDatabase(folder, {"A"});
    TReferenceDatabase db;
    db.SetDatabaseName(folder.Text());
    db.SetReadOnly(false); // closed: only stored
    EXPECT_FALSE(db.Opened());
    db.Open();
    EXPECT_FALSE(db.ReadOnly());
    db.SetReadOnly(true); // reopened for reading
    EXPECT_TRUE(db.Opened());
    TReferencePattern pattern = test::SimplePattern("B");
    EXPECT_THROW(db.AppendPattern(pattern), EInOutError);
    EXPECT_EQ(db.PatternCount(), 1);
    db.Close();
    EXPECT_TRUE(db.ReadOnly());

    // A pending rebuild still writes to the old folder when the name changes.
    auto created = TReferenceDatabase::CreateDatabase(other.Text(), "PDF2");
    TReferencePattern appended = test::SimplePattern("Quartz");
    created->AppendPattern(appended);
    created->SetDatabaseName(folder.Text());
    EXPECT_FALSE(created->Opened());
    EXPECT_EQ(Text(other, "Name.PDB"), "      1\r\n1 QUARTZ\r\n");
    EXPECT_EQ(created->PatternCount(), 1);
    EXPECT_EQ(created->GetPattern(1).GetName(0), "A");
}

TEST(ReferenceDatabaseTest, PatternsByRecordNumberAndCode)
{
    TempFolder folder;
    auto db = TReferenceDatabase::CreateDatabase(folder.Text(), "PDF2");
    EXPECT_EQ(Message([&] { db->FindRecordNumber("99-000-0001"); }), "Indexes not read");
    for (const char* name : {"A", "B", "C"}) {
        TReferencePattern pattern = test::SimplePattern(name);
        db->AddPattern(pattern);
    }
    TReferencePattern coded = test::SimplePattern("D");
    coded.SetReferenceCode("00-002-0318");
    db->AddPattern(coded);
    db->Close();

    TReferenceDatabase reader;
    reader.SetDatabaseName(folder.Text());
    EXPECT_EQ(reader.FindRecordNumber("99-000-0002"), 2);
    EXPECT_EQ(reader.FindRecordNumber("990000002"), 2);
    EXPECT_EQ(reader.FindPattern("000020318").GetName(0), "D");
    EXPECT_EQ(reader.CurrentPattern().GetRecordNumber(), 4);
    EXPECT_EQ(Message([&] { reader.FindRecordNumber("99000-00002"); }),
              "No pattern found with \"Reference code 99000-00002\".");
    EXPECT_EQ(reader.LookUpRecordNumber("000020318"), 4);
    EXPECT_EQ(reader.LookUpRecordNumber("99000-00002"), std::nullopt);
    EXPECT_NE(Message([&] { reader.FindRecordNumber("9900002"); }).find(
                  "Length of the reference code should be 9 or 11 (with 2 \"-\")"),
              std::string::npos);
    EXPECT_EQ(Message([&] { reader.LoadPattern(0); }), "Invalid index");
    EXPECT_EQ(Message([&] { reader.LoadPattern(5); }), "Invalid index");
    EXPECT_EQ(reader.GetPattern(3).GetName(0), "C");
    // The pattern's text lists load on demand through its database.
    EXPECT_EQ(reader.GetPattern(1).GetComments(), std::vector<std::string>{"Imported from somewhere"});

    // With ReferenceCode.PDB gone, look-ups report that no index was read.
    TempFolder empty;
    auto fresh = TReferenceDatabase::CreateDatabase(empty.Text(), "PDF2");
    std::filesystem::remove(empty.Path() / "ReferenceCode.PDB");
    EXPECT_EQ(Message([&] { fresh->FindRecordNumber("990000001"); }), "Indexes not read");
    EXPECT_EQ(fresh->LookUpRecordNumber("990000001"), std::nullopt);
}

TEST(ReferenceDatabaseTest, AddPatternRefusesReadOnlyFilesAndOlderFormat)
{
    TempFolder folder;
    MakeDatabase(folder, {"A"});
    const auto before = Bytes(folder, "ReferenceDatabase.PDB");
    std::filesystem::permissions(folder.Path() / "Journal.PDB", std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    auto db = OpenForWriting(folder);
    EXPECT_TRUE(db->HasReadOnlyFiles());
    TReferencePattern pattern = test::SimplePattern("B");
    // What to do is said as each system does it.
    const std::string advice = test::kDelimiter == "/" ? "Make them writable (for example chmod u+w)"
                                                       : "Clear their read-only attribute (Properties, or attrib -r)";
    EXPECT_EQ(Message([&] { db->AddPattern(pattern); }),
              "One or more database files have the Read-only attribute set: Journal.PDB in " + folder.Text() +
                  test::kDelimiter + ". " + advice + ", restore a missing one, or choose another target folder.");
    db->Close();
    EXPECT_EQ(Bytes(folder, "ReferenceDatabase.PDB"), before);
}

TEST(ReferenceDatabaseTest, OlderRecordFormatIsReadConverted)
{
    TempFolder folder;
    MakeDatabase(folder, {});
    // Pattern n starts at n * 3307; the header is read as the first kRecordSize bytes.
    std::vector<std::uint8_t> file(2 * 3307, 0);
    const std::vector<std::uint8_t> version = {3, '1', '.', '0'};
    std::copy(version.begin(), version.end(), file.begin());
    WriteI32LE(file, 6, 1);
    const std::size_t old = 3307;
    const std::string code = "020318";
    std::copy(code.begin(), code.end(), file.begin() + old);
    WriteI32LE(file, old + 6, 1);             // record number (9 in the current record)
    file[old + test::kLineCountField - 3] = 1;             // the older record lacks 3 bytes before
    WriteF32LE(file, old + test::kDField - 3, 3.25f);      // these fields
    WriteI16LE(file, old + test::kMaxIntensityField - 3, 77);
    test::WriteFile(folder.Path() / "ReferenceDatabase.PDB", file);

    TReferenceDatabase db;
    db.SetDatabaseName(folder.Text());
    const TReferencePattern& pattern = db.GetPattern(1);
    EXPECT_EQ(pattern.GetReferenceCode(), "00-002-0318");
    EXPECT_EQ(pattern.GetRecordNumber(), 1);
    EXPECT_EQ(pattern.GetLineCount(), 1);
    EXPECT_EQ(pattern.GetD(0), 3.25f);
    EXPECT_EQ(pattern.GetMaxIntensity(), 77);
    db.Close();

    auto writer = OpenForWriting(folder);
    TReferencePattern added = test::SimplePattern("B");
    EXPECT_THROW(writer->AddPattern(added), EInOutError);
    EXPECT_EQ(writer->PatternCount(), 1);
    writer->Close();
    EXPECT_EQ(Bytes(folder, "ReferenceDatabase.PDB"), file);
    EXPECT_TRUE(Bytes(folder, "Comment.PDB").empty());
}

TEST(ReferenceDatabaseTest, OrphanedRecordIsOverwrittenByTheNextPattern)
{
    TempFolder folder;
    MakeDatabase(folder, {"A", "B"});
    // A record the header does not count, as a failed header write leaves it.
    auto file = Bytes(folder, "ReferenceDatabase.PDB");
    file.resize(file.size() + kRecordSize, 0xEE);
    test::WriteFile(folder.Path() / "ReferenceDatabase.PDB", file);

    auto db = OpenForWriting(folder);
    TReferencePattern pattern = test::SimplePattern("C");
    db->AddPattern(pattern);
    db->Close();
    const auto after = Bytes(folder, "ReferenceDatabase.PDB");
    ASSERT_EQ(after.size(), 4u * kRecordSize);
    const ConstBytes record = test::RecordOf(after, 3);
    EXPECT_EQ(ReadBytesAsString(record, test::kCodeField, 9), "990000003");
    EXPECT_EQ(ReadI32LE(record, test::kRecordNumberField), 3);
    EXPECT_EQ(ReadI32LE(test::RecordOf(after, 0), test::kHeaderPatternCount), 3);

    // A header that counts more records than the file holds is refused.
    auto shortFile = after;
    shortFile.resize(3 * kRecordSize);
    test::WriteFile(folder.Path() / "ReferenceDatabase.PDB", shortFile);
    auto shorter = OpenForWriting(folder);
    TReferencePattern more = test::SimplePattern("D");
    EXPECT_THROW(shorter->AddPattern(more), EInOutError);
    EXPECT_EQ(shorter->PatternCount(), 3);
    shorter->Close();
    EXPECT_EQ(Bytes(folder, "ReferenceDatabase.PDB"), shortFile);
}

TEST(ReferenceDatabaseTest, FailedRebuildIsReportedAndLeavesTheDatabaseClosed)
{
    TempFolder folder;
    auto db = TReferenceDatabase::CreateDatabase(folder.Text(), "PDF2");
    TReferencePattern pattern = test::SimplePattern("A");
    db->AppendPattern(pattern);
    // A folder where an index file belongs: the rebuild cannot write it.
    std::filesystem::remove(folder.Path() / "Formula.PDB");
    std::filesystem::create_directory(folder.Path() / "Formula.PDB");
    EXPECT_NE(Message([&] { db->Close(); }).find("Formula.PDB"), std::string::npos);
    EXPECT_FALSE(db->Opened());
    EXPECT_FALSE(db->IndexRebuildPending());
    // The other indexes are written whole; ReferenceCode.PDB, written last,
    // keeps its old content, so its count shows the indexes out of step.
    EXPECT_EQ(Text(folder, "Name.PDB"), "      1\r\n1 A\r\n");
    EXPECT_EQ(Text(folder, "ReferenceCode.PDB"), "      0\r\n");
    EXPECT_NO_THROW(db->Close());
}

// A rebuild that fails leaves the marker of its run, also when the database
// is closed afterwards: the next open for writing completes it.
TEST(ReferenceDatabaseTest, FailedRebuildLeavesItsRunToTheNextOpen)
{
    TempFolder folder;
    MakeDatabase(folder, {"A"});
    std::filesystem::remove(folder.Path() / "Formula.PDB");
    std::filesystem::create_directory(folder.Path() / "Formula.PDB");
    {
        TReferenceDatabase db;
        db.SetDatabaseName(folder.Text());
        db.OpenForIndexRebuild();
        EXPECT_THROW(db.RebuildIndexes(), EInOutError);
    }
    EXPECT_TRUE(std::filesystem::exists(folder.Path() / "Norrvik.run"));
}

TEST(ReferenceDatabaseTest, UserCodesEndAtNineThousandNineHundredNinetyNine)
{
    TempFolder folder;
    MakeDatabase(folder, {"A"});
    auto file = Bytes(folder, "ReferenceDatabase.PDB");
    WriteI32LE(file, 10, 9999);
    test::WriteFile(folder.Path() / "ReferenceDatabase.PDB", file);

    auto db = OpenForWriting(folder);
    TReferencePattern uncoded = test::SimplePattern("B");
    EXPECT_EQ(Message([&] { db->AddPattern(uncoded); }),
              "The Tessaly database in " + db->DatabaseName() + " already holds 9999 user patterns: no user "
              "reference code is left for another pattern without a code (they run from 99-000-0001 to "
              "99-000-9999). The patterns added before this one stay in it; convert the rest into a new target "
              "folder.");
    EXPECT_EQ(db->PatternCount(), 1);
    TReferencePattern coded = test::SimplePattern("C");
    coded.SetReferenceCode("01-071-0123");
    db->AddPattern(coded);
    EXPECT_EQ(db->UserPatternCount(), 10000);
    // The code index was read at Open: codes added since are not in it.
    EXPECT_EQ(Message([&] { db->FindPattern("01-071-0123"); }),
              "No pattern found with \"Reference code 010710123\".");
    TReferencePattern reference = test::SimplePattern("D");
    db->AppendPattern(reference); // not a user pattern: counted, no code needed
    EXPECT_EQ(db->PatternCount(), 3);
    EXPECT_EQ(db->UserPatternCount(), 10000);
}

} // namespace
} // namespace norrvik
