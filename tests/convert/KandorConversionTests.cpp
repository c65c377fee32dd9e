// Converting Kandor user databases end to end: entries become user patterns
// of a new or existing target, checked through the store and, for the main
// data file and the comment lines, byte for byte from the file layouts.
#include "convert/Conversion.h"

#include "common/ByteOrder.h"
#include "common/Numbers.h"
#include "refdb/ReferenceDatabase.h"
#include "support/KandorWriter.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace norrvik {
namespace {

using test::KandorEntryData;
using test::KandorPeakAt;

constexpr std::size_t kRecord = 3310;
constexpr std::size_t kCommentLine = 70;

// The d-spacing a stored peak position gives: positions are kept as singles.
float DAt(std::uint16_t positionWord, double wavelength = 1.54056)
{
    const double position = static_cast<float>(positionWord / 200.0);
    return static_cast<float>(DSpacingFromTwoTheta(wavelength, position));
}

// Quartz: three peaks with net intensities 25, 100 (156.25 - 56.25) and 16;
// calcite: an entry without pattern file.
std::vector<KandorEntryData> QuartzAndCalcite()
{
    std::vector<KandorEntryData> entries(2);
    entries[0].entry = {"QUARTZ", "Quartz", "Si O2"};
    entries[0].peaks = {KandorPeakAt(50.14, 16), KandorPeakAt(20.86, 25), KandorPeakAt(26.64, 156.25, 56.25)};
    entries[1].entry = {"CALCITE", "Calcite", "Ca C O3"};
    entries[1].writePatternFile = false;
    return entries;
}

// Five entries with one peak each.
std::vector<KandorEntryData> FiveEntries()
{
    std::vector<KandorEntryData> entries(5);
    for (int i = 0; i < 5; ++i) {
        entries[static_cast<std::size_t>(i)].entry = {"E" + std::to_string(i), "Entry " + std::to_string(i), "X"};
        entries[static_cast<std::size_t>(i)].peaks = {KandorPeakAt(20.0 + i, 100)};
    }
    return entries;
}

std::string Padded(const std::string& line)
{
    return line + std::string(kCommentLine - line.size(), ' ');
}

std::string MessageOfConversion(const std::string& oldFolder, const std::string& newFolder, bool& success,
                                const ProgressCallback& progress = {})
{
    try {
        ConvertKandorDatabase(oldFolder, newFolder, success, progress);
    } catch (const Exception& error) {
        return error.what();
    }
    return "(no exception)";
}

TEST(KandorConversion, EntriesBecomeUserPatternsOfANewDatabase)
{
    test::TempFolder old;
    test::TempFolder target;
    test::WriteKandorDatabase(old.Path(), QuartzAndCalcite());
    bool success = false;
    ConversionSummary summary;
    std::vector<long> reported;
    ConvertKandorDatabase(old.Text(), target.Text(), success, [&](const Progress& p) {
        if (p.stage == Progress::Stage::Converting) {
            reported.push_back(p.done);
            EXPECT_EQ(p.total, 2);
        }
    }, &summary);
    EXPECT_TRUE(success);
    EXPECT_EQ(reported, (std::vector<long>{1, 1, 2, 2}));
    EXPECT_EQ(summary.added, 2);
    EXPECT_EQ(summary.targetPatternCount, 2);

    const auto data = test::ReadFile(target.Path() / "ReferenceDatabase.PDB");
    ASSERT_EQ(data.size(), 3 * kRecord);
    EXPECT_EQ(ReadI32LE(data, 6), 2);  // patterns
    EXPECT_EQ(ReadI32LE(data, 10), 2); // user patterns

    const ConstBytes quartz = ConstBytes(data).subspan(kRecord, kRecord);
    EXPECT_EQ(ReadBytesAsString(quartz, 0, 9), "990000001");
    EXPECT_EQ(ReadI32LE(quartz, 9), 1);
    EXPECT_EQ(ReadI16LE(quartz, 17), 8);
    EXPECT_EQ(ReadU32LE(quartz, 117), 0u); // no subfiles
    EXPECT_EQ(ReadI32LE(quartz, 32), 0);   // first comment line
    EXPECT_EQ(ReadI16LE(quartz, 42), 1);
    EXPECT_EQ(ReadBytesAsString(quartz, 792, 6), std::string("Si O2\0", 6));
    ASSERT_EQ(quartz[859], 3);
    // By descending d, single precision, percent of the strongest net intensity.
    const std::array<std::uint16_t, 3> positions = {4172, 5328, 10028};
    const std::array<std::int16_t, 3> percent = {25, 100, 16};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(ReadF32LE(quartz, 860 + 4 * i), DAt(positions[i])) << i;
        EXPECT_EQ(ReadI16LE(quartz, 1676 + 2 * i), percent[i]) << i;
        EXPECT_EQ(ReadI16LE(quartz, 2084 + 2 * i), 0);
        EXPECT_EQ(ReadI16LE(quartz, 2492 + 2 * i), 0);
        EXPECT_EQ(ReadI16LE(quartz, 2900 + 2 * i), 0);
    }
    EXPECT_EQ(ReadI16LE(quartz, 3308), 100);

    // The entry without pattern file keeps its texts and has no lines.
    const ConstBytes calcite = ConstBytes(data).subspan(2 * kRecord, kRecord);
    EXPECT_EQ(ReadBytesAsString(calcite, 0, 9), "990000002");
    EXPECT_EQ(ReadI32LE(calcite, 32), 1);
    EXPECT_EQ(ReadBytesAsString(calcite, 792, 8), std::string("Ca C O3\0", 8));
    EXPECT_EQ(calcite[859], 0);

    const std::string comment = Padded("Imported from " + old.Text());
    EXPECT_EQ(test::ReadFileText(target.Path() / "Comment.PDB"), comment + comment);
    EXPECT_EQ(test::ReadFileText(target.Path() / "MineralName.PDB"), "      2\r\n2 CALCITE\r\n1 QUARTZ\r\n");
    EXPECT_EQ(test::ReadFileText(target.Path() / "ReferenceCode.PDB"),
              "      2\r\n1 990000001\r\n2 990000002\r\n");

    TReferenceDatabase database;
    database.SetDatabaseName(target.Text());
    database.Open();
    ASSERT_EQ(database.PatternCount(), 2);
    TReferencePattern& first = database.GetPattern(1);
    EXPECT_EQ(first.GetReferenceCode(), "99-000-0001");
    EXPECT_EQ(first.GetMineralName(), "Quartz");
    EXPECT_EQ(first.GetFormulaLine(), "Si O2");
    EXPECT_EQ(first.GetComments(), std::vector<std::string>{"Imported from " + old.Text()});
    TReferencePattern& second = database.GetPattern(2);
    EXPECT_EQ(second.GetMineralName(), "Calcite");
    EXPECT_EQ(second.GetLineCount(), 0);
    EXPECT_EQ(second.GetComments().size(), 1u);
}

TEST(KandorConversion, ExistingTargetsContinueTheUserNumbering)
{
    test::TempFolder old;
    test::TempFolder target;
    test::WriteKandorDatabase(old.Path(), FiveEntries());
    bool success = false;
    ConvertKandorDatabase(old.Text(), target.Text(), success);
    ASSERT_TRUE(success);

    // The same database again: every entry added once more, under new codes.
    ConversionSummary summary;
    ConvertKandorDatabase(old.Text(), target.Text(), success, {}, &summary);
    EXPECT_TRUE(success);
    EXPECT_EQ(summary.added, 5);
    EXPECT_EQ(summary.skipped, 0);
    EXPECT_EQ(summary.targetPatternCount, 10);

    TReferenceDatabase database;
    database.SetDatabaseName(target.Text());
    database.Open();
    ASSERT_EQ(database.PatternCount(), 10);
    EXPECT_EQ(database.UserPatternCount(), 10);
    TReferencePattern& sixth = database.GetPattern(6);
    EXPECT_EQ(sixth.GetReferenceCode(), "99-000-0006");
    EXPECT_EQ(sixth.GetMineralName(), "Entry 0");
    EXPECT_EQ(database.GetPattern(10).GetReferenceCode(), "99-000-0010");
    EXPECT_EQ(database.GetPattern(10).GetMineralName(), "Entry 4");
    EXPECT_EQ(database.FindRecordNumber("99-000-0007"), 7);
}

TEST(KandorConversion, IntensitiesAreRoundedHalvesToEven)
{
    test::TempFolder old;
    test::TempFolder target;
    // Net 200 (225 - 25) is the strongest; 25 -> 12.5 %, 27 (36 - 9) -> 13.5 %.
    std::vector<KandorEntryData> entries(1);
    entries[0].entry = {"ROUND", "Rounding", "X"};
    entries[0].peaks = {KandorPeakAt(20, 225, 25), KandorPeakAt(30, 25), KandorPeakAt(40, 36, 9)};
    test::WriteKandorDatabase(old.Path(), entries);
    bool success = false;
    ConvertKandorDatabase(old.Text(), target.Text(), success);
    ASSERT_TRUE(success);
    TReferenceDatabase database;
    database.SetDatabaseName(target.Text());
    database.Open();
    TReferencePattern& pattern = database.GetPattern(1);
    ASSERT_EQ(pattern.GetLineCount(), 3);
    EXPECT_EQ(pattern.GetIntensity(0), 100);
    EXPECT_EQ(pattern.GetIntensity(1), 12);
    EXPECT_EQ(pattern.GetIntensity(2), 14);
}

TEST(KandorConversion, MissingIndexLeavesAnEmptyClosedDatabase)
{
    test::TempFolder empty;
    test::TempFolder target;
    bool success = true;
    try {
        ConvertKandorDatabase(empty.Text(), target.Text(), success);
        ADD_FAILURE() << "no exception";
    } catch (const EInOutError& error) {
        EXPECT_NE(std::string(error.what()).find("PDDATABS.DAT"), std::string::npos);
    }
    EXPECT_FALSE(success);
    const auto data = test::ReadFile(target.Path() / "ReferenceDatabase.PDB");
    ASSERT_EQ(data.size(), kRecord);
    EXPECT_EQ(ReadI32LE(data, 6), 0);
    EXPECT_EQ(test::ReadFileText(target.Path() / "Name.PDB"), "      0\r\n");
    TReferenceDatabase database;
    database.SetDatabaseName(target.Text());
    database.Open();
    EXPECT_EQ(database.PatternCount(), 0);
}

TEST(KandorConversion, FailuresEndTheRunAndLeaveAConsistentTarget)
{
    test::TempFolder old;
    test::TempFolder target;
    std::vector<KandorEntryData> entries(3);
    entries[0].entry = {"FIRST", "First", "A"};
    entries[0].peaks = {KandorPeakAt(20, 100)};
    entries[1].entry = {"MANY", "Many", "B"}; // 205 distinct d-spacings
    for (int i = 0; i < 205; ++i)
        entries[1].peaks.push_back(KandorPeakAt(10.0 + i * 0.5, 100));
    entries[2].entry = {"THIRD", "Third", "C"};
    entries[2].peaks = {KandorPeakAt(30, 100)};
    test::WriteKandorDatabase(old.Path(), entries);
    bool success = true;
    EXPECT_EQ(MessageOfConversion(old.Text(), target.Text(), success),
              "The pattern already contains the maximum number of lines (204).");
    EXPECT_FALSE(success);
    {
        TReferenceDatabase database;
        database.SetDatabaseName(target.Text());
        database.Open();
        EXPECT_EQ(database.PatternCount(), 1);
        EXPECT_EQ(database.GetPattern(1).GetMineralName(), "First");
        EXPECT_EQ(database.FindRecordNumber("99-000-0001"), 1);
    }
    EXPECT_EQ(test::ReadFileText(target.Path() / "MineralName.PDB"), "      1\r\n1 FIRST\r\n");

    // A damaged pattern file ends the run with a message naming it.
    test::TempFolder damaged;
    entries.resize(1);
    test::WriteKandorDatabase(old.Path(), entries);
    test::WriteFile(old.Path() / "FIRST.di", std::vector<std::uint8_t>(100, 0));
    const std::string message = MessageOfConversion(old.Text(), damaged.Text(), success);
    EXPECT_EQ(message, "Corrupted - File size too small (" + (old.Path() / "FIRST.di").string() + ")");
    EXPECT_FALSE(success);

    // A front end stopping the run after the first entry.
    test::TempFolder stopped;
    test::WriteKandorDatabase(old.Path(), FiveEntries());
    EXPECT_EQ(MessageOfConversion(old.Text(), stopped.Text(), success, [](const Progress& p) {
        if (p.stage == Progress::Stage::Converting && p.done == 1)
            throw ConversionCancelled("Stopped");
    }), "Stopped");
    EXPECT_FALSE(success);
    TReferenceDatabase database;
    database.SetDatabaseName(stopped.Text());
    database.Open();
    EXPECT_EQ(database.PatternCount(), 1);
}

} // namespace
} // namespace norrvik
