// Tests of the Quorvane file-set reader: opening and its file checks, the
// header and set table, pattern records with their names, formulas and line
// lists, and damaged files.
#include "sources/quorvane/Pdf1.h"

#include "support/QuorvaneWriter.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

using namespace norrvik;
using namespace norrvik::test;

namespace {

QuorvanePattern MakePattern(const std::string& number, const std::string& names, const std::string& formula,
                            std::vector<QuorvaneLine> lines = {{3.3435, 100}, {4.2550, 22}})
{
    return MakeQuorvanePattern(number, names, formula, std::move(lines));
}

// Writes `database` into `folder` and opens it.
void OpenDatabase(pdf1::TReferenceDatabase& db, const TempFolder& folder, const QuorvaneDatabase& database)
{
    WriteQuorvaneDatabase(folder.Path(), database);
    db.SetDatabaseName(folder.Text());
    db.Open();
}

pdf1::TReferencePattern ReadOne(const QuorvanePattern& source)
{
    TempFolder folder;
    QuorvaneDatabase database;
    database.Patterns = {source};
    pdf1::TReferenceDatabase db;
    OpenDatabase(db, folder, database);
    pdf1::TReferencePattern pattern;
    db.ReadPattern(1, pattern);
    return pattern;
}

// The message of the exception of type E that `action` raises.
template <typename E, typename F>
std::string MessageOf(F action)
{
    try {
        action();
    } catch (const E& e) {
        return e.what();
    }
    ADD_FAILURE() << "no exception";
    return {};
}

struct NamesResult {
    std::string P, M, C, N, Name;
};

NamesResult Parse(const std::string& text)
{
    NamesResult r;
    pdf1::ParseNames(text, r.P, r.M, r.C, r.N, r.Name);
    return r;
}

} // namespace

TEST(QuorvaneOpen, ChecksTheFourFilesInOrderAndNamesTheFirstMissing)
{
    TempFolder folder;
    WriteQuorvaneDatabase(folder.Path(), QuorvaneDatabase{});
    pdf1::TReferenceDatabase db;
    db.SetDatabaseName(folder.Text());
    const std::string base = folder.Text() + test::kDelimiter + "QUORVANE.";
    // Removing files one by one in reverse order: each time the earliest of
    // .IND, .DIS, .NAM, .FRM that is missing is named.
    for (const char* ext : {"FRM", "NAM", "DIS", "IND"}) {
        std::filesystem::remove(folder.Path() / (std::string("QUORVANE.") + ext));
        EXPECT_EQ(MessageOf<pdf1::ERefDBError>([&] { db.Open(); }), "File " + base + ext + " not found.");
        EXPECT_FALSE(db.Active());
    }
}

TEST(QuorvaneOpen, FindsFilesInAnyLetterCaseAndInTheCurrentFolder)
{
    TempFolder folder;
    QuorvaneDatabase database;
    database.Patterns = {MakePattern("12-3456", "halite~M~", "NaCl")};
    WriteQuorvaneDatabase(folder.Path(), database, /*lowerCaseNames=*/true);

    pdf1::TReferenceDatabase db;
    db.SetDatabaseName(folder.Text());
    db.Open();
    EXPECT_TRUE(db.Active());
    EXPECT_EQ(db.PatternCount(), 1);

    // An empty folder name means the current folder.
    struct CurrentFolder {
        explicit CurrentFolder(const std::filesystem::path& path) { std::filesystem::current_path(path); }
        ~CurrentFolder() { std::filesystem::current_path(previous); }
        std::filesystem::path previous = std::filesystem::current_path();
    } inFolder(folder.Path());
    pdf1::TReferenceDatabase current;
    EXPECT_EQ(current.DatabaseName(), "");
    current.Open();
    pdf1::TReferencePattern pattern;
    current.ReadPattern(1, pattern);
    EXPECT_EQ(pattern.Name(), "halite");
    current.Close();
    std::filesystem::remove(folder.Path() / "quorvane.ind");
    EXPECT_EQ(MessageOf<pdf1::ERefDBError>([&] { current.Open(); }), "File QUORVANE.IND not found.");
}

TEST(QuorvaneOpen, ReadsTheHeaderAndTheSetTable)
{
    {
        TempFolder folder;
        QuorvaneDatabase database;
        database.HeaderTag = "AB";
        database.HeaderSetValue = -3;
        database.Patterns = {MakePattern("01-0001", "", "")};
        pdf1::TReferenceDatabase db;
        EXPECT_EQ(db.HeaderTag(), "00");
        EXPECT_EQ(db.PatternCount(), 0);
        OpenDatabase(db, folder, database);
        EXPECT_EQ(db.PatternCount(), 1);
        EXPECT_FALSE(db.IsReferenceDatabase());
        EXPECT_EQ(db.HeaderTag(), "AB");
        EXPECT_EQ(db.SetValue(), -3); // sign-extended
    }
    {
        // A reference database without QUORVANE.ILS opens with the built-in table.
        TempFolder folder;
        QuorvaneDatabase database;
        database.ReferenceDatabase = true;
        database.HeaderSetValue = 7;
        pdf1::TReferenceDatabase db;
        OpenDatabase(db, folder, database);
        EXPECT_TRUE(db.IsReferenceDatabase());
        EXPECT_EQ(db.SetValue(), 7);
        EXPECT_EQ(db.SetTable()[0], 1);
        EXPECT_EQ(db.SetTable()[98], 99);
    }
    {
        // QUORVANE.ILS replaces the header's value; a byte count above the
        // table's 396 bytes reads only 396, and a partial entry fills its low bytes.
        TempFolder folder;
        QuorvaneDatabase database;
        database.ReferenceDatabase = true;
        database.HeaderSetValue = 7;
        QuorvaneSetTable table;
        table.SetValue = -300;
        for (int i = 0; i < 100; ++i)
            table.Entries.push_back(1000 + i);
        table.ByteCount = 500;
        database.SetTable = table;
        pdf1::TReferenceDatabase db;
        OpenDatabase(db, folder, database);
        EXPECT_EQ(db.SetValue(), -300);
        EXPECT_EQ(db.SetTable()[0], 1000);
        EXPECT_EQ(db.SetTable()[98], 1098);

        table.ByteCount = 6; // one entry and half of the next
        database.SetTable = table;
        OpenDatabase(db, folder, database);
        EXPECT_EQ(db.SetTable()[0], 1000);
        EXPECT_EQ(db.SetTable()[1], 1001 & 0xFFFF);
        EXPECT_EQ(db.SetTable()[2], 0);
    }
    {
        // The same table in a user database is not read.
        TempFolder folder;
        QuorvaneDatabase database;
        database.HeaderSetValue = 5;
        database.SetTable = QuorvaneSetTable{-1, {1, 2}, std::nullopt};
        pdf1::TReferenceDatabase db;
        OpenDatabase(db, folder, database);
        EXPECT_EQ(db.SetValue(), 5);
    }
}

TEST(QuorvaneOpen, AnIndexShorterThanItsHeaderIsAnAssertionFailure)
{
    TempFolder folder;
    QuorvaneFiles files = BuildQuorvaneFiles(QuorvaneDatabase{});
    files.Ind.resize(71);
    WriteQuorvaneFiles(folder.Path(), files);
    pdf1::TReferenceDatabase db;
    db.SetDatabaseName(folder.Text());
    const std::string message = MessageOf<EAssertionFailed>([&] { db.Open(); });
    EXPECT_EQ(message.rfind("Assertion failure (Pdf1.cpp, line ", 0), 0u) << message;
    EXPECT_FALSE(db.Active());
}

TEST(QuorvaneReadPattern, TakesEveryFieldOfAPresentRecord)
{
    QuorvanePattern source = MakePattern("05-0490", QuorvaneNames({{'N', "Quartz, syn"}, {'M', "quartz"}}),
                                         "Si O2~extra", {{3.3435, 100}, {4.2550, -22}, {1.8179, 14}});
    source.SubfileBits = 0x80010006u;
    source.Deleted = true; // still read in full
    const pdf1::TReferencePattern pattern = ReadOne(source);
    EXPECT_TRUE(pattern.Present());
    EXPECT_TRUE(pattern.Deleted());
    EXPECT_EQ(pattern.PatternNumber(), "05-0490");
    EXPECT_EQ(pattern.NameN(), "Quartz, syn");
    EXPECT_EQ(pattern.NameM(), "quartz");
    EXPECT_EQ(pattern.Name(), "quartz");
    EXPECT_EQ(pattern.Formula(), "Si O2");
    EXPECT_EQ(pattern.SubfileBits(), 0x80010006u);
    ASSERT_EQ(pattern.LineCount(), 3);
    EXPECT_EQ(pattern.Line(1).D, 3.3435);
    EXPECT_EQ(pattern.Line(2).Intensity, -22);
    EXPECT_EQ(pattern.Line(3).D, 1.8179);
    EXPECT_EQ(pattern.Line(3).Intensity, 14);
    // Lines outside 1..300 give line 1.
    EXPECT_EQ(pattern.Line(0).D, 3.3435);
    EXPECT_EQ(pattern.Line(301).D, 3.3435);
    EXPECT_EQ(pattern.Line(-5).Intensity, 100);
    // Kept fields, as the writer filled them.
    EXPECT_EQ(pattern.Reserved16(), 0x11223344);
    EXPECT_EQ(pattern.Reserved20()[0], 20);
    EXPECT_EQ(pattern.Reserved36()[25], 61);
    EXPECT_EQ(pattern.Reserved68(), 0x68);
    EXPECT_EQ(pattern.Reserved69(), 0x69);

    // A copy holds the same values.
    pdf1::TReferencePattern copy;
    copy = pattern;
    EXPECT_EQ(copy.Name(), "quartz");
    EXPECT_EQ(copy.Line(2).D, 4.2550);
    EXPECT_EQ(copy.Reserved20(), pattern.Reserved20());
}

TEST(QuorvaneReadPattern, AnAbsentRecordIsNotFollowedAndLeavesNothingOfTheLastOne)
{
    TempFolder folder;
    QuorvaneDatabase database;
    QuorvanePattern absent;
    absent.Present = false;
    absent.SubfileBits = 0xFFFFFFFFu;
    database.Patterns = {MakePattern("05-0490", "quartz~M~", "SiO2"), absent, MakePattern("", "", "", {})};
    database.Patterns[2].PatternNumber = "  -    ";
    pdf1::TReferenceDatabase db;
    OpenDatabase(db, folder, database);
    pdf1::TReferencePattern pattern;
    db.ReadPattern(1, pattern);
    db.ReadPattern(2, pattern); // its offsets point past every file's end
    EXPECT_FALSE(pattern.Present());
    EXPECT_EQ(pattern.PatternNumber(), "");
    EXPECT_EQ(pattern.Name(), "");
    EXPECT_EQ(pattern.Formula(), "");
    EXPECT_EQ(pattern.LineCount(), 0);
    EXPECT_EQ(pattern.SubfileBits(), 0u);
    EXPECT_EQ(pattern.Reserved69(), 1);
    // A present record with empty texts and no lines.
    db.ReadPattern(3, pattern);
    EXPECT_TRUE(pattern.Present());
    EXPECT_EQ(pattern.PatternNumber(), "  -    ");
    EXPECT_EQ(pattern.Name(), "");
    EXPECT_EQ(pattern.LineCount(), 0);
}

TEST(QuorvaneNames, TaggedItemsAndThePreferredName)
{
    NamesResult r = Parse("quartz~M~silica~C~");
    EXPECT_EQ(r.M, "quartz");
    EXPECT_EQ(r.C, "silica");
    EXPECT_EQ(r.Name, "quartz");
    EXPECT_EQ(Parse("silica~C~quartz~M~").Name, "quartz");

    // An unknown tag stays in front of the next recognised item.
    r = Parse("abc~X~def~N~");
    EXPECT_EQ(r.N, "abc~X~def");
    EXPECT_EQ(r.Name, "abc~X~def");

    // No markers: the whole text is the name.
    r = Parse("plain name, no tags");
    EXPECT_EQ(r.M + r.C + r.P + r.N, "");
    EXPECT_EQ(r.Name, "plain name, no tags");

    // Only unknown tags: the name ends at the first "~".
    EXPECT_EQ(Parse("abc~Z~def~Y~").Name, "abc");

    // A repeated tag: the later item wins.
    r = Parse("first~P~second~P~");
    EXPECT_EQ(r.P, "second");
    EXPECT_EQ(r.Name, "second");

    // Preference: M, then C, then P, then N.
    EXPECT_EQ(Parse("n~N~p~P~").Name, "p");
    EXPECT_EQ(Parse("n~N~p~P~c~C~").Name, "c");

    // A zero byte ends an item early; overlapping markers give empty items.
    r = Parse(std::string("ab\0cd~M~", 8));
    EXPECT_EQ(r.M, "ab");
    r = Parse("~M~C~");
    EXPECT_EQ(r.M, "");
    EXPECT_EQ(r.C, "");
    EXPECT_EQ(r.Name, "");
    // A lower-case tag letter is not a tag.
    EXPECT_EQ(Parse("x~m~").Name, "x");
}

TEST(QuorvaneReadPattern, NameAndFormulaRecordLengths)
{
    // A names record longer than its 400-byte text area is read up to 400
    // bytes; a negative length gives an empty text.
    QuorvanePattern source = MakePattern("01-0001", std::string(450, 'n'), std::string(420, 'f'));
    source.NamesLength = 450;
    source.FormulaLength = 420;
    pdf1::TReferencePattern pattern = ReadOne(source);
    EXPECT_EQ(pattern.Name(), std::string(400, 'n'));
    EXPECT_EQ(pattern.Formula(), std::string(400, 'f'));

    source = MakePattern("01-0001", "lost~M~", "lost");
    source.NamesLength = -4;
    source.FormulaLength = -1;
    pattern = ReadOne(source);
    EXPECT_EQ(pattern.Name(), "");
    EXPECT_EQ(pattern.Formula(), "");

    // The formula ends at the first "~" or zero byte.
    EXPECT_EQ(ReadOne(MakePattern("01-0001", "", std::string("Fe2 O3\0junk", 11))).Formula(), "Fe2 O3");
}

TEST(QuorvaneReadPattern, LineCountsAreClampedToThePatternsSize)
{
    std::vector<QuorvaneLine> lines;
    for (int i = 0; i < 450; ++i)
        lines.push_back({10.0 - i * 0.01, static_cast<std::int16_t>(i)});
    pdf1::TReferencePattern pattern = ReadOne(MakePattern("01-0001", "", "", lines));
    EXPECT_EQ(pattern.LineCount(), 300);
    EXPECT_EQ(pattern.Line(300).Intensity, 299);
    EXPECT_EQ(pattern.Line(300).D, 10.0 - 299 * 0.01);

    QuorvanePattern negative = MakePattern("01-0001", "", "", {{1.0, 1}});
    negative.LineCount = -7;
    EXPECT_EQ(ReadOne(negative).LineCount(), 0);
}

TEST(QuorvaneDamagedFiles, ReadsPastAnEndNameTheFile)
{
    const QuorvaneDatabase good = [] {
        QuorvaneDatabase database;
        database.Patterns = {MakePattern("01-0001", "first~M~", "A"), MakePattern("01-0002", "second~M~", "B")};
        return database;
    }();
    // Each case damages the files and expects an input/output error naming
    // the file when pattern 2 is read.
    struct Case {
        const char* What;
        const char* File;
        void (*Damage)(QuorvaneFiles&);
    };
    const Case cases[] = {
        {"index shorter than the count promises", "QUORVANE.IND",
         [](QuorvaneFiles& f) { f.Ind.resize(2 * kQuorvaneIndexRecordSize + 10); }},
        {"names record cut short", "QUORVANE.NAM", [](QuorvaneFiles& f) { f.Nam.resize(f.Nam.size() - 3); }},
        {"formula record cut short", "QUORVANE.FRM", [](QuorvaneFiles& f) { f.Frm.resize(f.Frm.size() - 1); }},
        {"line list cut short", "QUORVANE.DIS", [](QuorvaneFiles& f) { f.Dis.resize(f.Dis.size() - 4); }},
        {"names offset past the end", "QUORVANE.NAM",
         [](QuorvaneFiles& f) {
             f.Ind[2 * kQuorvaneIndexRecordSize + kQuorvaneNamesOffsetField + 3] = 0x10;
         }},
        {"negative line-list offset", "QUORVANE.DIS",
         [](QuorvaneFiles& f) { f.Ind[2 * kQuorvaneIndexRecordSize + kQuorvaneLinesOffsetField + 3] = 0x80; }},
        {"formula offset at the very end", "QUORVANE.FRM",
         [](QuorvaneFiles& f) {
             const auto size = static_cast<std::uint8_t>(f.Frm.size());
             f.Ind[2 * kQuorvaneIndexRecordSize + kQuorvaneFormulaOffsetField] = size;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        TempFolder folder;
        QuorvaneFiles files = BuildQuorvaneFiles(good);
        c.Damage(files);
        WriteQuorvaneFiles(folder.Path(), files);
        pdf1::TReferenceDatabase db;
        db.SetDatabaseName(folder.Text());
        db.Open();
        pdf1::TReferencePattern pattern;
        db.ReadPattern(1, pattern);
        EXPECT_EQ(pattern.Name(), "first");
        const std::string message = MessageOf<EInOutError>([&] { db.ReadPattern(2, pattern); });
        EXPECT_NE(message.find(folder.Text() + test::kDelimiter + c.File), std::string::npos) << message;
        EXPECT_NE(message.find("pattern 2"), std::string::npos) << message;
    }
}

TEST(QuorvaneDamagedFiles, ASetTableCutShortNamesTheFile)
{
    TempFolder folder;
    QuorvaneDatabase database;
    database.ReferenceDatabase = true;
    database.SetTable = QuorvaneSetTable{1, {1, 2, 3}, std::int16_t{40}};
    WriteQuorvaneDatabase(folder.Path(), database);
    pdf1::TReferenceDatabase db;
    db.SetDatabaseName(folder.Text());
    const std::string message = MessageOf<EInOutError>([&] { db.Open(); });
    EXPECT_NE(message.find("QUORVANE.ILS"), std::string::npos) << message;
    EXPECT_FALSE(db.Active());
}
