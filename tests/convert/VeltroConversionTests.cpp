// Converting Veltro user databases end to end: entries become user patterns
// of a new or existing target, checked through the store and, for the main
// data file and the comment lines, byte for byte from the file layouts.
#include "convert/Conversion.h"

#include "common/ByteOrder.h"
#include "common/Numbers.h"
#include "refdb/ReferenceDatabase.h"
#include "support/TempFolder.h"
#include "support/VeltroWriter.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace norrvik {
namespace {

using test::Element;
using test::Group;
using test::VeltroFormula;
using test::VeltroLineEntry;
using test::VeltroLogEntry;

constexpr std::size_t kRecord = 3310;
constexpr std::size_t kCommentLine = 70;

// Quartz: lines at 2-theta 20.86, 26.64 and 50.14 degrees with 22, 100 and
// 14 percent (p^2/100 - b^2/100 = 22, 100, 14); calcite: one line.
void WriteQuartzAndCalcite(const std::filesystem::path& folder)
{
    test::WriteVeltroFile(folder, "uplog.pdf",
                          test::VeltroLogBytes({{"[USER.DB]quartz", VeltroFormula({Element("Si"), Element("O"), "2"}),
                                                 "Quartz"},
                                                {"calcite", VeltroFormula({Element("Ca"), Group("CO3")}), "Calcite"}}),
                          test::VeltroBlockEnds::CarriageReturnLineFeed);
    test::WriteVeltroFile(folder, "QUARTZ.DI",
                          test::VeltroPatternBytes(1.5406, {{4172, 65, 45}, {5328, 100, 0}, {10028, 45, 25}}));
    test::WriteVeltroFile(folder, "calcite.di", test::VeltroPatternBytes(1.5406, {{5880, 30, 0}}));
}

double DFromCode(int code)
{
    return DSpacingFromTwoTheta(1.5406f, code * 0.005);
}

std::string Padded(const std::string& line)
{
    return line + std::string(kCommentLine - line.size(), ' ');
}

std::string MessageOfConversion(const std::string& oldFolder, const std::string& newFolder, bool& success,
                                const ProgressCallback& progress = {})
{
    try {
        ConvertVeltroDatabase(oldFolder, newFolder, success, progress);
    } catch (const Exception& error) {
        return error.what();
    }
    return "(no exception)";
}

TEST(VeltroConversion, EntriesBecomeUserPatternsOfANewDatabase)
{
    test::TempFolder old;
    test::TempFolder target;
    WriteQuartzAndCalcite(old.Path());
    bool success = false;
    ConversionSummary summary;
    std::vector<long> reported;
    ConvertVeltroDatabase(old.Text(), target.Text(), success, [&](const Progress& p) {
        if (p.stage == Progress::Stage::Converting) {
            reported.push_back(p.done);
            EXPECT_EQ(p.total, 2);
        }
    }, &summary);
    EXPECT_TRUE(success);
    EXPECT_EQ(reported, (std::vector<long>{1, 1, 2, 2}));
    EXPECT_EQ(summary.added, 2);
    EXPECT_EQ(summary.targetPatternCount, 2);

    // Main data file: header and two records.
    const auto data = test::ReadFile(target.Path() / "ReferenceDatabase.PDB");
    ASSERT_EQ(data.size(), 3 * kRecord);
    EXPECT_EQ(ReadI32LE(data, 6), 2);  // patterns
    EXPECT_EQ(ReadI32LE(data, 10), 2); // user patterns
    const ConstBytes quartz = ConstBytes(data).subspan(kRecord, kRecord);
    EXPECT_EQ(ReadBytesAsString(quartz, 0, 9), "990000001");
    EXPECT_EQ(ReadI32LE(quartz, 9), 1);
    EXPECT_EQ(ReadI16LE(quartz, 17), 8);
    EXPECT_EQ(ReadI32LE(quartz, 32), 0); // first comment line
    EXPECT_EQ(ReadI16LE(quartz, 42), 1);
    EXPECT_EQ(ReadBytesAsString(quartz, 792, 7), std::string("Si O2\0\0", 7));
    ASSERT_EQ(quartz[859], 3);
    // Lines by descending d, single precision, rounded percent, h k l 0.
    const std::array<int, 3> codes = {4172, 5328, 10028};
    const std::array<std::int16_t, 3> percent = {22, 100, 14};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(ReadF32LE(quartz, 860 + 4 * i), static_cast<float>(DFromCode(codes[i]))) << i;
        EXPECT_EQ(ReadI16LE(quartz, 1676 + 2 * i), percent[i]) << i;
        EXPECT_EQ(ReadI16LE(quartz, 2084 + 2 * i), 0);
        EXPECT_EQ(ReadI16LE(quartz, 2492 + 2 * i), 0);
        EXPECT_EQ(ReadI16LE(quartz, 2900 + 2 * i), 0);
    }
    const ConstBytes calcite = ConstBytes(data).subspan(2 * kRecord, kRecord);
    EXPECT_EQ(ReadBytesAsString(calcite, 0, 9), "990000002");
    EXPECT_EQ(ReadI32LE(calcite, 32), 1);
    EXPECT_EQ(ReadBytesAsString(calcite, 792, 7), std::string("Ca CO3\0", 7));

    // One comment line per pattern, 70 characters padded with blanks.
    const std::string comment = Padded("Imported from " + old.Text());
    EXPECT_EQ(test::ReadFileText(target.Path() / "Comment.PDB"), comment + comment);

    // The mineral-name index after the rebuild at close: sorted, upper case.
    EXPECT_EQ(test::ReadFileText(target.Path() / "MineralName.PDB"), "      2\r\n2 CALCITE\r\n1 QUARTZ\r\n");

    // The same through the store.
    TReferenceDatabase database;
    database.SetDatabaseName(target.Text());
    database.Open();
    ASSERT_EQ(database.PatternCount(), 2);
    TReferencePattern& first = database.GetPattern(1);
    EXPECT_EQ(first.GetReferenceCode(), "99-000-0001");
    EXPECT_EQ(first.GetMineralName(), "Quartz");
    EXPECT_EQ(first.GetFormulaLine(), "Si O2");
    EXPECT_EQ(first.GetComments(), std::vector<std::string>{"Imported from " + old.Text()});
    EXPECT_EQ(first.GetSubfiles(), 0u);
    EXPECT_EQ(database.GetPattern(2).GetReferenceCode(), "99-000-0002");
}

TEST(VeltroConversion, ExistingTargetsContinueTheUserNumbering)
{
    test::TempFolder old;
    test::TempFolder target;
    WriteQuartzAndCalcite(old.Path());
    bool success = false;
    ConvertVeltroDatabase(old.Text(), target.Text(), success);
    ASSERT_TRUE(success);
    ConversionSummary summary;
    ConvertVeltroDatabase(old.Text(), target.Text(), success, {}, &summary);
    EXPECT_TRUE(success);
    EXPECT_EQ(summary.added, 2);
    EXPECT_EQ(summary.skipped, 0);

    TReferenceDatabase database;
    database.SetDatabaseName(target.Text());
    database.Open();
    ASSERT_EQ(database.PatternCount(), 4);
    EXPECT_EQ(database.UserPatternCount(), 4);
    const std::array<std::string, 4> codes = {"99-000-0001", "99-000-0002", "99-000-0003", "99-000-0004"};
    const std::array<std::string, 4> names = {"Quartz", "Calcite", "Quartz", "Calcite"};
    for (std::int32_t n = 1; n <= 4; ++n) {
        TReferencePattern& pattern = database.GetPattern(n);
        EXPECT_EQ(pattern.GetReferenceCode(), codes[static_cast<std::size_t>(n - 1)]);
        EXPECT_EQ(pattern.GetMineralName(), names[static_cast<std::size_t>(n - 1)]);
    }
    EXPECT_EQ(database.FindRecordNumber("99-000-0004"), 4);
}

TEST(VeltroConversion, MissingLogOrPatternFileLosesNoTexts)
{
    test::TempFolder empty;
    test::TempFolder target;
    bool success = false;
    ConvertVeltroDatabase(empty.Text(), target.Text(), success);
    EXPECT_TRUE(success);
    EXPECT_EQ(std::filesystem::file_size(target.Path() / "ReferenceDatabase.PDB"), kRecord);

    // Into an existing database: opened, nothing added.
    ConvertVeltroDatabase(empty.Text(), target.Text(), success);
    EXPECT_TRUE(success);

    test::TempFolder old;
    test::WriteVeltroFile(old.Path(), "UPLOG.PDF",
                          test::VeltroLogBytes({{"GONE", VeltroFormula({Element("Na"), Element("Cl")}), "Halite"}}));
    ConvertVeltroDatabase(old.Text(), target.Text(), success);
    EXPECT_TRUE(success);
    TReferenceDatabase database;
    database.SetDatabaseName(target.Text());
    database.Open();
    ASSERT_EQ(database.PatternCount(), 1);
    TReferencePattern& halite = database.GetPattern(1);
    EXPECT_EQ(halite.GetReferenceCode(), "99-000-0001");
    EXPECT_EQ(halite.GetFormulaLine(), "Na Cl");
    EXPECT_EQ(halite.GetMineralName(), "Halite");
    EXPECT_EQ(halite.GetLineCount(), 0);
    EXPECT_EQ(halite.GetComments().size(), 1u);
}

TEST(VeltroConversion, IntensitiesAreRoundedHalvesToEven)
{
    test::TempFolder old;
    test::TempFolder target;
    // Raw p^2/100 - b^2/100: 400 (strongest), 250 -> 62.5 %, 254 -> 63.5 %,
    // 2 -> 0.5 % -> 1 %. Values chosen so every step is exact in binary.
    test::WriteVeltroFile(old.Path(), "uplog.pdf", test::VeltroLogBytes({{"P", {'X'}, "Rounding"}}));
    test::WriteVeltroFile(old.Path(), "P.di",
                          test::VeltroPatternBytes(1.5406, {{2000, 200, 0}, {3000, 175, 75}, {4000, 645, 625},
                                                            {5000, 20, 10}}));
    bool success = false;
    ConvertVeltroDatabase(old.Text(), target.Text(), success);
    ASSERT_TRUE(success);
    TReferenceDatabase database;
    database.SetDatabaseName(target.Text());
    database.Open();
    TReferencePattern& pattern = database.GetPattern(1);
    ASSERT_EQ(pattern.GetLineCount(), 4);
    EXPECT_EQ(pattern.GetIntensity(0), 100); // lines by descending d = ascending 2-theta
    EXPECT_EQ(pattern.GetIntensity(1), 62);
    EXPECT_EQ(pattern.GetIntensity(2), 64);
    EXPECT_EQ(pattern.GetIntensity(3), 1);
}

TEST(VeltroConversion, FailuresEndTheRunAndLeaveAConsistentTarget)
{
    test::TempFolder old;
    test::TempFolder target;
    // The second formula decodes to 69 characters (14 x " SiO4", trimmed).
    const std::vector<std::uint8_t> longFormula(14, test::VeltroGroupCode("SiO4"));
    test::WriteVeltroFile(old.Path(), "uplog.pdf",
                          test::VeltroLogBytes({{"A", {'X'}, "First"}, {"B", longFormula, "Long"}, {"C", {'Y'}, "Third"}}));
    bool success = true;
    EXPECT_EQ(MessageOfConversion(old.Text(), target.Text(), success),
              "The actual length of the string (69) is larger than the allowed length (67).");
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

    // A front end stopping the run after the first entry.
    test::TempFolder stopped;
    test::WriteVeltroFile(old.Path(), "uplog.pdf",
                          test::VeltroLogBytes({{"A", {'X'}, "First"}, {"C", {'Y'}, "Third"}}));
    success = true;
    const std::string message = MessageOfConversion(old.Text(), stopped.Text(), success, [](const Progress& p) {
        if (p.stage == Progress::Stage::Converting && p.done == 1)
            throw ConversionCancelled("Stopped");
    });
    EXPECT_EQ(message, "Stopped");
    EXPECT_FALSE(success);
    TReferenceDatabase database;
    database.SetDatabaseName(stopped.Text());
    database.Open();
    EXPECT_EQ(database.PatternCount(), 1);

    // A damaged log is reported with its own message.
    test::WriteFile(old.Path() / "uplog.pdf", std::vector<std::uint8_t>(100 * 7, 0));
    EXPECT_EQ(MessageOfConversion(old.Text(), stopped.Text(), success), "Incorrect length of file UPLOG.PDF.");
    EXPECT_FALSE(success);
}

} // namespace
} // namespace norrvik
