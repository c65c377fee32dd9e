// End-to-end tests of the Quorvane conversion: Quorvane file sets written by
// the test writer are converted, and the target database is checked through
// the store and, where the layouts make it practical, byte for byte.
#include "convert/Conversion.h"

#include "common/ByteOrder.h"
#include "common/Files.h"
#include "refdb/ReferenceDatabase.h"
#include "refdb/ReferencePattern.h"
#include "sources/quorvane/Pdf1.h"
#include "support/QuorvaneWriter.h"
#include "support/RecordFields.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using namespace norrvik;
using namespace norrvik::test;

namespace {

QuorvanePattern Pattern(const std::string& number, const std::string& names, const std::string& formula,
                        std::vector<QuorvaneLine> lines = {{3.3435, 100}, {4.255, 22}})
{
    return MakeQuorvanePattern(number, names, formula, std::move(lines));
}

QuorvanePattern Absent()
{
    QuorvanePattern pattern;
    pattern.Present = false;
    return pattern;
}

QuorvaneDatabase UserDatabase(std::vector<QuorvanePattern> patterns)
{
    QuorvaneDatabase database;
    database.Patterns = std::move(patterns);
    return database;
}

QuorvaneDatabase ReferenceDatabase(std::vector<QuorvanePattern> patterns)
{
    QuorvaneDatabase database = UserDatabase(std::move(patterns));
    database.ReferenceDatabase = true;
    return database;
}

// Converts and returns the summary; the success flag must come back true.
TConversionSummary Convert(const std::string& oldFolder, const std::string& newFolder)
{
    bool success = false;
    TConversionSummary summary;
    ConvertQuorvaneDatabase(oldFolder, newFolder, success, {}, &summary);
    EXPECT_TRUE(success);
    return summary;
}

// The target opened for reading.
struct Target {
    explicit Target(const std::string& folder)
    {
        database.SetDatabaseName(folder);
        database.Open();
    }
    TReferencePattern& Get(int n) { return database.GetPattern(n); }
    TReferenceDatabase database;
};

std::vector<std::uint8_t> Record(const std::filesystem::path& folder, std::size_t n)
{
    const auto bytes = ReadMainDataFile(folder);
    const ConstBytes record = RecordOf(bytes, n);
    return {record.begin(), record.end()};
}

std::string Field(const std::vector<std::uint8_t>& record, std::size_t offset, std::size_t size)
{
    return std::string(record.begin() + static_cast<std::ptrdiff_t>(offset),
                       record.begin() + static_cast<std::ptrdiff_t>(offset + size));
}

// A folder path of exactly `length` characters inside `temp`.
std::string FolderOfLength(const TempFolder& temp, std::size_t length)
{
    std::string path = temp.Text() + "/";
    EXPECT_LT(path.size() + 1, length);
    path += std::string(length - path.size(), 'q');
    return path;
}

} // namespace

TEST(QuorvaneConversion, UserDatabaseIntoANewTarget)
{
    TempFolder temp;
    const std::string oldFolder = temp.Text("old");
    const std::string newFolder = temp.Text("new/target");
    QuorvanePattern quartz = Pattern("00-0000", QuorvaneNames({{'N', "Quartz, syn"}, {'M', "quartz"}}),
                                     " Si O2\t", {{4.255, 22}, {3.3435, 100}, {1.8179, 14}});
    // Mapped bits 1, 3, 5 and 16; bits 0 and 17 have no target subfile.
    quartz.SubfileBits = (1u << 0) | (1u << 1) | (1u << 3) | (1u << 5) | (1u << 16) | (1u << 17);
    QuorvanePattern longFormula = Pattern("00-0000", "hematite~C~", std::string(80, 'F'), {});
    longFormula.Deleted = true; // converted like any other
    WriteQuorvaneDatabase(oldFolder, UserDatabase({quartz, Absent(), longFormula}));

    std::vector<long> progress;
    bool success = false;
    TConversionSummary summary;
    ConvertQuorvaneDatabase(
        oldFolder, newFolder, success,
        [&](const TProgress& p) {
            if (p.CurrentStage == TProgress::Stage::Converting)
                progress.push_back(p.Done * 100 + p.Total);
        },
        &summary);
    EXPECT_TRUE(success);
    EXPECT_EQ(progress, (std::vector<long>{103, 203, 303})); // after every record, the absent one too
    EXPECT_EQ(summary.Added, 2);
    EXPECT_EQ(summary.Skipped, 0);
    EXPECT_EQ(summary.EntriesDone, 3);
    EXPECT_EQ(summary.TargetPatternCount, 2);

    const std::string comment = "Imported from " + oldFolder;
    {
        Target target(newFolder);
        EXPECT_EQ(target.database.PatternCount(), 2);
        EXPECT_EQ(target.database.UserPatternCount(), 2);
        TReferencePattern& first = target.Get(1);
        EXPECT_EQ(first.GetReferenceCode(), "99-000-0001");
        EXPECT_EQ(first.GetStatus(), 8);
        EXPECT_TRUE(first.IsUserPattern());
        EXPECT_EQ(first.GetMineralName(), "quartz");
        EXPECT_EQ(first.GetNameCount(), 1);
        EXPECT_EQ(first.GetFormulaLine(), "Si O2");
        EXPECT_TRUE(first.HasElement(14)); // Si, from the formula
        EXPECT_TRUE(first.HasElement(8));  // O
        EXPECT_EQ(first.GetSubfiles(), (1u << 0) | (1u << 2) | (1u << 8) | (1u << 16));
        EXPECT_EQ(first.GetComments(), std::vector<std::string>{comment});
        ASSERT_EQ(first.GetLineCount(), 3);
        EXPECT_EQ(first.GetD(0), static_cast<float>(4.255)); // descending d
        EXPECT_EQ(first.GetD(1), static_cast<float>(3.3435));
        EXPECT_EQ(first.GetIntensity(1), 100);
        EXPECT_EQ(first.GetH(2), -128);

        TReferencePattern& second = target.Get(2);
        EXPECT_EQ(second.GetReferenceCode(), "99-000-0002");
        EXPECT_EQ(second.GetMineralName(), "hematite"); // a C name becomes the mineral name
        EXPECT_EQ(second.GetFormulaLine(), std::string(67, 'F'));
        EXPECT_EQ(second.GetLineCount(), 0);
    }

    // The stored bytes, from the layouts of the main data file and Comment.PDB.
    const std::filesystem::path target = PathFromText(newFolder);
    const auto header = Record(target, 0);
    EXPECT_EQ(ReadI32LE(header, kHeaderPatternCount), 2);
    EXPECT_EQ(ReadI32LE(header, kHeaderUserPatternCount), 2);
    const auto record = Record(target, 1);
    EXPECT_EQ(Field(record, kCodeField, 9), "990000001");
    EXPECT_EQ(ReadI16LE(record, kStatusField), 8);
    EXPECT_EQ(ReadU32LE(record, kSubfilesField), 0x00010105u);
    EXPECT_EQ(Field(record, kFormulaLineField, 6), std::string("Si O2\0", 6));
    EXPECT_EQ(record[kLineCountField], 3);
    EXPECT_EQ(ReadF32LE(record, kDField), 4.255f);
    EXPECT_EQ(ReadF32LE(record, kDField + 4), 3.3435f);
    EXPECT_EQ(ReadI16LE(record, kIntensityField + 2), 100);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(ReadI16LE(record, kHField + 2 * i), -128);
        EXPECT_EQ(ReadI16LE(record, kKField + 2 * i), -128);
        EXPECT_EQ(ReadI16LE(record, kLField + 2 * i), -128);
    }
    EXPECT_EQ(ReadI32LE(record, kCommentsStartField), 0);
    EXPECT_EQ(ReadI16LE(record, kCommentsCountField), 1);
    const auto second = Record(target, 2);
    EXPECT_EQ(Field(second, kCodeField, 9), "990000002");
    EXPECT_EQ(Field(second, kFormulaLineField, 67), std::string(67, 'F')); // full width, no terminator
    EXPECT_EQ(second[kLineCountField], 0);
    EXPECT_EQ(ReadI32LE(second, kCommentsStartField), 1);
    EXPECT_EQ(CommentLineOf(target, 0), PaddedTextLine(comment));
    EXPECT_EQ(CommentLineOf(target, 1), PaddedTextLine(comment));

    // Text indexes: count line, then sorted upper-case entries.
    EXPECT_EQ(ReadFileText(target / "ReferenceCode.PDB"), "      2\r\n1 990000001\r\n2 990000002\r\n");
    EXPECT_EQ(ReadFileText(target / "MineralName.PDB"), "      2\r\n2 HEMATITE\r\n1 QUARTZ\r\n");
}

TEST(QuorvaneConversion, UserCodesContinueFromTheTargetsUserPatterns)
{
    TempFolder temp;
    const std::string target = temp.Text("target");
    std::vector<QuorvanePattern> twelve;
    for (int i = 1; i <= 12; ++i)
        twelve.push_back(Pattern("00-0000", "p" + std::to_string(i) + "~M~", "C"));
    WriteQuorvaneDatabase(temp.Text("twelve"), UserDatabase(twelve));
    EXPECT_EQ(Convert(temp.Text("twelve"), target).Added, 12);

    const std::string oldFolder = temp.Text("old");
    WriteQuorvaneDatabase(oldFolder, UserDatabase({Absent(), Pattern("00-0000", "a~M~", "Na Cl"), Absent(),
                                                   Pattern("00-0000", "b~M~", "K Cl")}));
    TConversionSummary summary = Convert(oldFolder, target);
    EXPECT_EQ(summary.Added, 2);
    EXPECT_EQ(summary.TargetPatternCount, 14);
    {
        Target t(target);
        EXPECT_EQ(t.Get(13).GetReferenceCode(), "99-000-0013"); // empty records use no number
        EXPECT_EQ(t.Get(14).GetReferenceCode(), "99-000-0014");
        EXPECT_EQ(t.Get(14).GetMineralName(), "b");
    }
    // The same user database again: every present pattern is added again under new codes.
    summary = Convert(oldFolder, target);
    EXPECT_EQ(summary.Added, 2);
    EXPECT_EQ(summary.Skipped, 0);
    Target t(target);
    EXPECT_EQ(t.database.PatternCount(), 16);
    EXPECT_EQ(t.database.UserPatternCount(), 16);
    EXPECT_EQ(t.Get(15).GetReferenceCode(), "99-000-0015");
    EXPECT_EQ(t.Get(16).GetReferenceCode(), "99-000-0016");
    EXPECT_EQ(t.Get(16).GetMineralName(), "b");
}

TEST(QuorvaneConversion, ReferenceDatabaseKeepsItsPatternNumbersAndIsAddedOnce)
{
    TempFolder temp;
    const std::string oldFolder = temp.Text("pdf1");
    const std::string newFolder = temp.Text("target");
    WriteQuorvaneDatabase(oldFolder,
                          ReferenceDatabase({Pattern("75-1234", "corundum~M~", "Al2 O3"), Absent(),
                                             Pattern("05-0490", "quartz~M~", "Si O2", {{3.3435, 100}})}));
    TConversionSummary summary = Convert(oldFolder, newFolder);
    EXPECT_EQ(summary.Added, 2);
    {
        Target target(newFolder);
        EXPECT_EQ(target.database.PatternCount(), 2);
        EXPECT_EQ(target.database.UserPatternCount(), 0);
        TReferencePattern& first = target.Get(1);
        EXPECT_EQ(first.GetReferenceCode(), "01-075-1234");
        EXPECT_EQ(first.GetStatus(), 0);
        EXPECT_FALSE(first.IsUserPattern());
        EXPECT_EQ(target.Get(2).GetReferenceCode(), "00-005-0490");
        EXPECT_EQ(target.Get(2).GetMineralName(), "quartz");
    }
    // Appended patterns reach every index when the target closes, sorted.
    const std::filesystem::path target = PathFromText(newFolder);
    EXPECT_EQ(ReadFileText(target / "ReferenceCode.PDB"), "      2\r\n2 000050490\r\n1 010751234\r\n");
    EXPECT_EQ(ReadFileText(target / "MineralName.PDB"), "      2\r\n1 CORUNDUM\r\n2 QUARTZ\r\n");
    EXPECT_EQ(std::filesystem::file_size(target / "Index.PDB"), 2u * 31u);
    EXPECT_EQ(std::filesystem::file_size(target / "StrongestLines.PDB"), 2u * 40u);

    // The second time every code is found and nothing changes.
    const auto before = DatabaseBytes(target);
    summary = Convert(oldFolder, newFolder);
    EXPECT_EQ(summary.Added, 0);
    EXPECT_EQ(summary.Skipped, 2);
    EXPECT_EQ(summary.TargetPatternCount, 2);
    EXPECT_EQ(DatabaseBytes(target), before);
}

TEST(QuorvaneConversion, AnOldPatternNumberThatIsNoNumberEndsTheConversion)
{
    TempFolder temp;
    WriteQuorvaneDatabase(temp.Text("pdf1"), ReferenceDatabase({Pattern("05-0490", "q~M~", "Si O2"),
                                                                Pattern("AB-1234", "x~M~", "C")}));
    bool success = true;
    try {
        ConvertQuorvaneDatabase(temp.Text("pdf1"), temp.Text("target"), success);
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "ReferenceCode not correct.");
    }
    EXPECT_FALSE(success);
    Target target(temp.Text("target"));
    EXPECT_EQ(target.database.PatternCount(), 1);
}

TEST(QuorvaneConversion, EmptySourceStillCreatesTheTarget)
{
    TempFolder temp;
    WriteQuorvaneDatabase(temp.Text("old"), UserDatabase({}));
    const TConversionSummary summary = Convert(temp.Text("old"), temp.Text("target"));
    EXPECT_EQ(summary.Added, 0);
    EXPECT_EQ(summary.EntriesTotal, 0);
    Target target(temp.Text("target"));
    EXPECT_EQ(target.database.PatternCount(), 0);

    // A negative count in the header reads no record either.
    QuorvaneDatabase negative = UserDatabase({Pattern("00-0000", "x~M~", "C")});
    negative.PatternCount = -1;
    WriteQuorvaneDatabase(temp.Text("negative"), negative);
    EXPECT_EQ(Convert(temp.Text("negative"), temp.Text("target2")).Added, 0);
}

TEST(QuorvaneConversion, AFailurePartWayKeepsWhatWasAddedAndClosesTheTarget)
{
    TempFolder temp;
    std::vector<QuorvaneLine> tooMany;
    for (int i = 0; i < 205; ++i)
        tooMany.push_back({10.0 - 0.01 * i, 10});
    WriteQuorvaneDatabase(temp.Text("old"), UserDatabase({Pattern("00-0000", "a~M~", "Na Cl"),
                                                          Pattern("00-0000", "b~M~", "K Cl"),
                                                          Pattern("00-0000", "c~M~", "C", tooMany),
                                                          Pattern("00-0000", "d~M~", "Fe")}));
    const std::string newFolder = temp.Text("target");
    bool success = true;
    TConversionSummary summary;
    try {
        ConvertQuorvaneDatabase(temp.Text("old"), newFolder, success, {}, &summary);
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "The pattern already contains the maximum number of lines (204).");
    }
    EXPECT_FALSE(success);
    EXPECT_EQ(summary.Added, 2);
    // The target was closed (its indexes rebuilt) and opens with both patterns.
    const std::filesystem::path target = PathFromText(newFolder);
    EXPECT_EQ(ReadFileText(target / "ReferenceCode.PDB"), "      2\r\n1 990000001\r\n2 990000002\r\n");
    Target t(newFolder);
    EXPECT_EQ(t.database.PatternCount(), 2);
    EXPECT_EQ(t.Get(2).GetMineralName(), "b");
}

TEST(QuorvaneConversion, CancellingBetweenRecordsPassesThrough)
{
    TempFolder temp;
    WriteQuorvaneDatabase(temp.Text("old"), UserDatabase({Pattern("00-0000", "a~M~", "Na Cl"),
                                                          Pattern("00-0000", "b~M~", "K Cl")}));
    bool success = true;
    const auto cancel = [](const TProgress& p) {
        if (p.CurrentStage == TProgress::Stage::Converting && p.Done == 1)
            throw EConversionCancelled("Cancelled");
    };
    EXPECT_THROW(ConvertQuorvaneDatabase(temp.Text("old"), temp.Text("target"), success, cancel),
                 EConversionCancelled);
    EXPECT_FALSE(success);
    Target target(temp.Text("target"));
    EXPECT_EQ(target.database.PatternCount(), 1);
}

TEST(QuorvaneConversion, SourceErrorsReachTheCaller)
{
    TempFolder temp;
    bool success = true;
    // A missing source file.
    std::filesystem::create_directories(temp.Path() / "empty");
    try {
        ConvertQuorvaneDatabase(temp.Text("empty"), temp.Text("target"), success);
        ADD_FAILURE() << "no exception";
    } catch (const pdf1::ERefDBError& e) {
        EXPECT_EQ(std::string(e.what()), "File " + temp.Text("empty") + "/QUORVANE.IND not found.");
    }
    EXPECT_FALSE(success);

    // An index shorter than its header promises, in files named in lower case.
    QuorvaneFiles files = BuildQuorvaneFiles(UserDatabase({Pattern("00-0000", "a~M~", "C"),
                                                           Pattern("00-0000", "b~M~", "C")}));
    files.Ind.resize(2 * kQuorvaneIndexRecordSize);
    WriteQuorvaneFiles(temp.Path() / "short", files, /*lowerCaseNames=*/true);
    try {
        ConvertQuorvaneDatabase(temp.Text("short"), temp.Text("target2"), success);
        ADD_FAILURE() << "no exception";
    } catch (const EInOutError& e) {
        EXPECT_NE(std::string(e.what()).find(temp.Text("short") + "/quorvane.ind"), std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(success);
    Target target(temp.Text("target2"));
    EXPECT_EQ(target.database.PatternCount(), 1);
}

TEST(QuorvaneConversion, CommentLineFormDependsOnTheOldFolderLength)
{
    TempFolder temp;
    const std::string newFolder = temp.Text("target");
    const std::vector<std::pair<std::size_t, std::string>> cases = {
        {56, "Imported from "}, {57, "From "}, {65, "From "}, {66, ""}};
    for (const auto& [length, prefix] : cases) {
        const std::string oldFolder = FolderOfLength(temp, length);
        ASSERT_EQ(oldFolder.size(), length);
        WriteQuorvaneDatabase(oldFolder, UserDatabase({Pattern("00-0000", "x~M~", "C")}));
        Convert(oldFolder, newFolder);
    }
    Target target(newFolder);
    ASSERT_EQ(target.database.PatternCount(), 4);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string line = cases[i].second + FolderOfLength(temp, cases[i].first);
        EXPECT_EQ(target.Get(static_cast<int>(i) + 1).GetComments(), std::vector<std::string>{line});
        EXPECT_EQ(CommentLineOf(PathFromText(newFolder), i), PaddedTextLine(line));
    }
}

TEST(QuorvaneConversion, ATargetWithPatternsButAMissingIndexIsNotReplaced)
{
    TempFolder temp;
    WriteQuorvaneDatabase(temp.Text("old"), UserDatabase({Pattern("00-0000", "a~M~", "Na Cl")}));
    const std::string newFolder = temp.Text("target");
    Convert(temp.Text("old"), newFolder);
    std::filesystem::remove(temp.Path() / "target" / "Journal.PDB");
    const auto before = DatabaseBytes(temp.Path() / "target");

    bool success = true;
    try {
        ConvertQuorvaneDatabase(temp.Text("old"), newFolder, success);
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find(newFolder), std::string::npos) << message;
        EXPECT_NE(message.find("an index file for the journals"), std::string::npos) << message;
    }
    EXPECT_FALSE(success);
    EXPECT_EQ(DatabaseBytes(temp.Path() / "target"), before);
}

TEST(QuorvaneConversion, AFolderWithOnlyAnEmptyDatabaseIsCreatedAnew)
{
    TempFolder temp;
    WriteQuorvaneDatabase(temp.Text("old"), UserDatabase({Pattern("00-0000", "a~M~", "Na Cl")}));
    // A bare header: version "2.0", no patterns, title "PDF2".
    std::vector<std::uint8_t> header(kRecordSize, 0);
    header[0] = 3;
    header[1] = '2';
    header[2] = '.';
    header[3] = '0';
    header[14] = 4;
    header[15] = 'P';
    header[16] = 'D';
    header[17] = 'F';
    header[18] = '2';
    WriteFile(temp.Path() / "target" / "ReferenceDatabase.PDB", header);

    EXPECT_EQ(Convert(temp.Text("old"), temp.Text("target")).Added, 1);
    Target target(temp.Text("target"));
    EXPECT_EQ(target.database.PatternCount(), 1);
    EXPECT_EQ(target.Get(1).GetReferenceCode(), "99-000-0001");
}
