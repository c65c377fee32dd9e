// Converting user databases end to end, the same runs for Kandor and Veltro:
// entries become user patterns of a new or existing target, checked through
// the store and, for the main data file and the comment lines, byte for
// byte from the file layouts. What only one format has stays in
// KandorConversionTests.cpp and VeltroConversionTests.cpp.
#include "convert/Conversion.h"

#include "common/ByteOrder.h"
#include "common/Format.h"
#include "common/Numbers.h"
#include "refdb/ReferenceDatabase.h"
#include "support/KandorWriter.h"
#include "support/RecordFields.h"
#include "support/TempFolder.h"
#include "support/VeltroWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>

namespace norrvik {
namespace {

namespace fs = std::filesystem;
using namespace test;

using Driver = void (*)(const std::string&, const std::string&, bool&, const ProgressCallback&, TConversionSummary*);
using Writer = void (*)(const fs::path& folder);

// One format and the source databases the runs convert, with what they must give.
struct UserFormat {
    const char* Name;
    Driver Convert;
    // Quartz with three lines, calcite with `CalciteLineCount`.
    Writer WriteQuartzAndCalcite;
    std::string QuartzFormulaBytes;
    std::vector<float> QuartzD;
    std::vector<std::int16_t> QuartzPercent;
    std::string CalciteFormulaBytes;
    std::uint8_t CalciteLineCount;
    // A few entries named `SeveralNames`.
    Writer WriteSeveral;
    std::vector<std::string> SeveralNames;
    // One entry whose intensities round halves to even.
    Writer WriteRounding;
    std::vector<std::int16_t> RoundedIntensities;
    // Entries "First", one the target refuses with `Refusal`, "Third".
    Writer WriteFirstRefusedThird;
    std::string Refusal;
};

// Test names and failure messages show the format's name.
void PrintTo(const UserFormat& format, std::ostream* out)
{
    *out << format.Name;
}

// --- Kandor sources ---------------------------------------------------------

// The d-spacing a stored peak position gives: positions are kept as singles.
float KandorD(std::uint16_t positionWord)
{
    const double position = static_cast<float>(positionWord / 200.0);
    return static_cast<float>(DSpacingFromTwoTheta(1.54056, position));
}

// Quartz: three peaks with net intensities 25, 100 (156.25 - 56.25) and 16;
// calcite: an entry without pattern file.
void WriteKandorQuartzAndCalcite(const fs::path& folder)
{
    std::vector<KandorEntryData> entries(2);
    entries[0].Entry = {"QUARTZ", "Quartz", "Si O2"};
    entries[0].Peaks = {KandorPeakAt(50.14, 16), KandorPeakAt(20.86, 25), KandorPeakAt(26.64, 156.25, 56.25)};
    entries[1].Entry = {"CALCITE", "Calcite", "Ca C O3"};
    entries[1].WritePatternFile = false;
    WriteKandorDatabase(folder, entries);
}

// Five entries with one peak each.
void WriteKandorFiveEntries(const fs::path& folder)
{
    std::vector<KandorEntryData> entries(5);
    for (int i = 0; i < 5; ++i) {
        entries[static_cast<std::size_t>(i)].Entry = {"E" + std::to_string(i), "Entry " + std::to_string(i), "X"};
        entries[static_cast<std::size_t>(i)].Peaks = {KandorPeakAt(20.0 + i, 100)};
    }
    WriteKandorDatabase(folder, entries);
}

// Net 200 (225 - 25) is the strongest; 25 -> 12.5 %, 27 (36 - 9) -> 13.5 %.
void WriteKandorRounding(const fs::path& folder)
{
    std::vector<KandorEntryData> entries(1);
    entries[0].Entry = {"ROUND", "Rounding", "X"};
    entries[0].Peaks = {KandorPeakAt(20, 225, 25), KandorPeakAt(30, 25), KandorPeakAt(40, 36, 9)};
    WriteKandorDatabase(folder, entries);
}

// The second entry has 205 distinct d-spacings, one more than a pattern holds.
void WriteKandorFirstRefusedThird(const fs::path& folder)
{
    std::vector<KandorEntryData> entries(3);
    entries[0].Entry = {"FIRST", "First", "A"};
    entries[0].Peaks = {KandorPeakAt(20, 100)};
    entries[1].Entry = {"MANY", "Many", "B"};
    for (int i = 0; i < 205; ++i)
        entries[1].Peaks.push_back(KandorPeakAt(10.0 + i * 0.5, 100));
    entries[2].Entry = {"THIRD", "Third", "C"};
    entries[2].Peaks = {KandorPeakAt(30, 100)};
    WriteKandorDatabase(folder, entries);
}

// --- Veltro sources ---------------------------------------------------------

float VeltroD(int code)
{
    return static_cast<float>(DSpacingFromTwoTheta(1.5406f, code * 0.005));
}

// Quartz: lines at 2-theta 20.86, 26.64 and 50.14 degrees with 22, 100 and
// 14 percent (p^2/100 - b^2/100 = 22, 100, 14); calcite: one line.
void WriteVeltroQuartzAndCalcite(const fs::path& folder)
{
    WriteVeltroFile(folder, "uplog.pdf",
                    VeltroLogBytes({{"[USER.DB]quartz", VeltroFormula({Element("Si"), Element("O"), "2"}), "Quartz"},
                                    {"calcite", VeltroFormula({Element("Ca"), Group("CO3")}), "Calcite"}}),
                    VeltroBlockEnds::CarriageReturnLineFeed);
    WriteVeltroFile(folder, "QUARTZ.DI", VeltroPatternBytes(1.5406, {{4172, 65, 45}, {5328, 100, 0}, {10028, 45, 25}}));
    WriteVeltroFile(folder, "calcite.di", VeltroPatternBytes(1.5406, {{5880, 30, 0}}));
}

// Raw p^2/100 - b^2/100: 400 (strongest), 250 -> 62.5 %, 254 -> 63.5 %,
// 2 -> 0.5 % -> 1 %. Values chosen so every step is exact in binary.
void WriteVeltroRounding(const fs::path& folder)
{
    WriteVeltroFile(folder, "uplog.pdf", VeltroLogBytes({{"P", {'X'}, "Rounding"}}));
    WriteVeltroFile(folder, "P.di",
                    VeltroPatternBytes(1.5406, {{2000, 200, 0}, {3000, 175, 75}, {4000, 645, 625}, {5000, 20, 10}}));
}

// The second formula decodes to 69 characters (14 x " SiO4", trimmed).
void WriteVeltroFirstRefusedThird(const fs::path& folder)
{
    const std::vector<std::uint8_t> longFormula(14, VeltroGroupCode("SiO4"));
    WriteVeltroFile(folder, "uplog.pdf",
                    VeltroLogBytes({{"A", {'X'}, "First"}, {"B", longFormula, "Long"}, {"C", {'Y'}, "Third"}}));
}

const UserFormat kFormats[] = {
    {"Kandor", ConvertKandorDatabase,
     WriteKandorQuartzAndCalcite, std::string("Si O2\0", 6), {KandorD(4172), KandorD(5328), KandorD(10028)},
     {25, 100, 16}, std::string("Ca C O3\0", 8), 0,
     WriteKandorFiveEntries, {"Entry 0", "Entry 1", "Entry 2", "Entry 3", "Entry 4"},
     WriteKandorRounding, {100, 12, 14},
     WriteKandorFirstRefusedThird, "The pattern already contains the maximum number of lines (204)."},
    {"Veltro", ConvertVeltroDatabase,
     WriteVeltroQuartzAndCalcite, std::string("Si O2\0\0", 7), {VeltroD(4172), VeltroD(5328), VeltroD(10028)},
     {22, 100, 14}, std::string("Ca CO3\0", 7), 1,
     WriteVeltroQuartzAndCalcite, {"Quartz", "Calcite"},
     WriteVeltroRounding, {100, 62, 64, 1}, // lines by descending d = ascending 2-theta
     WriteVeltroFirstRefusedThird, "The actual length of the string (69) is larger than the allowed length (67)."},
};

class UserDatabaseConversion : public ::testing::TestWithParam<UserFormat> {
protected:
    // Converts `old` into `target`; the message of the exception that ends the run, or "".
    std::string Convert(bool& success, const ProgressCallback& progress = {}, TConversionSummary* summary = nullptr)
    {
        try {
            GetParam().Convert(old.Text(), target.Text(), success, progress, summary);
        } catch (const Exception& error) {
            return error.what();
        }
        return "";
    }

    TempFolder old;
    TempFolder target;
};

struct OpenedTarget {
    explicit OpenedTarget(const fs::path& folder)
    {
        database.SetDatabaseName(folder.string());
        database.Open();
    }
    TReferenceDatabase database;
};

TEST_P(UserDatabaseConversion, EntriesBecomeUserPatternsOfANewDatabase)
{
    const UserFormat& format = GetParam();
    format.WriteQuartzAndCalcite(old.Path());
    bool success = false;
    TConversionSummary summary;
    std::vector<long> reported;
    EXPECT_EQ(Convert(success, [&](const TProgress& p) {
        if (p.CurrentStage == TProgress::Stage::Converting) {
            reported.push_back(p.Done);
            EXPECT_EQ(p.Total, 2);
        }
    }, &summary), "");
    EXPECT_TRUE(success);
    EXPECT_EQ(reported, (std::vector<long>{1, 1, 2, 2}));
    EXPECT_EQ(summary.Added, 2);
    EXPECT_EQ(summary.TargetPatternCount, 2);

    // Main data file: header and two records.
    const auto data = ReadMainDataFile(target.Path());
    ASSERT_EQ(data.size(), 3 * kRecordSize);
    EXPECT_EQ(ReadI32LE(data, kHeaderPatternCount), 2);
    EXPECT_EQ(ReadI32LE(data, kHeaderUserPatternCount), 2);

    const ConstBytes quartz = RecordOf(data, 1);
    EXPECT_EQ(ReadBytesAsString(quartz, kCodeField, 9), "990000001");
    EXPECT_EQ(ReadI32LE(quartz, kRecordNumberField), 1);
    EXPECT_EQ(ReadI16LE(quartz, kStatusField), 8);
    EXPECT_EQ(ReadU32LE(quartz, kSubfilesField), 0u);
    EXPECT_EQ(ReadI32LE(quartz, kCommentsStartField), 0);
    EXPECT_EQ(ReadI16LE(quartz, kCommentsCountField), 1);
    EXPECT_EQ(ReadBytesAsString(quartz, kFormulaLineField, format.QuartzFormulaBytes.size()),
              format.QuartzFormulaBytes);
    ASSERT_EQ(quartz[kLineCountField], 3);
    // Lines by descending d, single precision, percent of the strongest, h k l 0.
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(ReadF32LE(quartz, kDField + 4 * i), format.QuartzD[i]) << i;
        EXPECT_EQ(ReadI16LE(quartz, kIntensityField + 2 * i), format.QuartzPercent[i]) << i;
        EXPECT_EQ(ReadI16LE(quartz, kHField + 2 * i), 0);
        EXPECT_EQ(ReadI16LE(quartz, kKField + 2 * i), 0);
        EXPECT_EQ(ReadI16LE(quartz, kLField + 2 * i), 0);
    }
    EXPECT_EQ(ReadI16LE(quartz, kMaxIntensityField), 100);

    const ConstBytes calcite = RecordOf(data, 2);
    EXPECT_EQ(ReadBytesAsString(calcite, kCodeField, 9), "990000002");
    EXPECT_EQ(ReadI32LE(calcite, kCommentsStartField), 1);
    EXPECT_EQ(ReadBytesAsString(calcite, kFormulaLineField, format.CalciteFormulaBytes.size()),
              format.CalciteFormulaBytes);
    EXPECT_EQ(calcite[kLineCountField], format.CalciteLineCount);

    // One comment line per pattern, 70 characters padded with blanks.
    const std::string comment = PaddedTextLine("Imported from " + old.Text());
    EXPECT_EQ(ReadFileText(target.Path() / "Comment.PDB"), comment + comment);
    // The indexes after the rebuild at close: sorted, upper case.
    EXPECT_EQ(ReadFileText(target.Path() / "MineralName.PDB"), "      2\r\n2 CALCITE\r\n1 QUARTZ\r\n");
    EXPECT_EQ(ReadFileText(target.Path() / "ReferenceCode.PDB"), "      2\r\n1 990000001\r\n2 990000002\r\n");

    // The same through the store.
    OpenedTarget opened(target.Path());
    ASSERT_EQ(opened.database.PatternCount(), 2);
    TReferencePattern& first = opened.database.GetPattern(1);
    EXPECT_EQ(first.GetReferenceCode(), "99-000-0001");
    EXPECT_EQ(first.GetMineralName(), "Quartz");
    EXPECT_EQ(first.GetFormulaLine(), "Si O2");
    EXPECT_EQ(first.GetComments(), std::vector<std::string>{"Imported from " + old.Text()});
    EXPECT_EQ(first.GetSubfiles(), 0u);
    TReferencePattern& second = opened.database.GetPattern(2);
    EXPECT_EQ(second.GetReferenceCode(), "99-000-0002");
    EXPECT_EQ(second.GetMineralName(), "Calcite");
    EXPECT_EQ(second.GetLineCount(), format.CalciteLineCount);
    EXPECT_EQ(second.GetComments().size(), 1u);
}

TEST_P(UserDatabaseConversion, ConvertingAgainAddsEveryEntryUnderNewCodes)
{
    const UserFormat& format = GetParam();
    format.WriteSeveral(old.Path());
    const auto count = static_cast<std::int32_t>(format.SeveralNames.size());
    bool success = false;
    ASSERT_EQ(Convert(success), "");
    ASSERT_TRUE(success);

    // The same database again: every entry added once more, under new codes.
    TConversionSummary summary;
    EXPECT_EQ(Convert(success, {}, &summary), "");
    EXPECT_TRUE(success);
    EXPECT_EQ(summary.Added, count);
    EXPECT_EQ(summary.Skipped, 0);
    EXPECT_EQ(summary.TargetPatternCount, 2 * count);

    OpenedTarget opened(target.Path());
    ASSERT_EQ(opened.database.PatternCount(), 2 * count);
    EXPECT_EQ(opened.database.UserPatternCount(), 2 * count);
    for (std::int32_t n = 1; n <= 2 * count; ++n) {
        const std::string code = Format("99-000-%4.4d", n);
        TReferencePattern& pattern = opened.database.GetPattern(n);
        EXPECT_EQ(pattern.GetReferenceCode(), code);
        EXPECT_EQ(pattern.GetMineralName(), format.SeveralNames[static_cast<std::size_t>((n - 1) % count)]);
        EXPECT_EQ(opened.database.FindRecordNumber(code), n);
    }
}

TEST_P(UserDatabaseConversion, IntensitiesAreRoundedHalvesToEven)
{
    GetParam().WriteRounding(old.Path());
    bool success = false;
    ASSERT_EQ(Convert(success), "");
    ASSERT_TRUE(success);
    OpenedTarget opened(target.Path());
    TReferencePattern& pattern = opened.database.GetPattern(1);
    const std::vector<std::int16_t>& expected = GetParam().RoundedIntensities;
    ASSERT_EQ(pattern.GetLineCount(), static_cast<int>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(pattern.GetIntensity(static_cast<int>(i)), expected[i]) << i;
}

TEST_P(UserDatabaseConversion, RefusedEntryEndsTheRunAndLeavesAConsistentTarget)
{
    GetParam().WriteFirstRefusedThird(old.Path());
    bool success = true;
    EXPECT_EQ(Convert(success), GetParam().Refusal);
    EXPECT_FALSE(success);
    {
        OpenedTarget opened(target.Path());
        EXPECT_EQ(opened.database.PatternCount(), 1);
        EXPECT_EQ(opened.database.GetPattern(1).GetMineralName(), "First");
        EXPECT_EQ(opened.database.FindRecordNumber("99-000-0001"), 1);
    }
    EXPECT_EQ(ReadFileText(target.Path() / "MineralName.PDB"), "      1\r\n1 FIRST\r\n");
}

TEST_P(UserDatabaseConversion, FrontEndStopsTheRunAfterTheFirstEntry)
{
    GetParam().WriteSeveral(old.Path());
    bool success = true;
    EXPECT_EQ(Convert(success, [](const TProgress& p) {
        if (p.CurrentStage == TProgress::Stage::Converting && p.Done == 1)
            throw EConversionCancelled("Stopped");
    }), "Stopped");
    EXPECT_FALSE(success);
    OpenedTarget opened(target.Path());
    EXPECT_EQ(opened.database.PatternCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(Formats, UserDatabaseConversion, ::testing::ValuesIn(kFormats),
                         [](const ::testing::TestParamInfo<UserFormat>& info) { return std::string(info.param.Name); });

} // namespace
} // namespace norrvik
