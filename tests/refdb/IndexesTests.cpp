// What one pattern contributes to the index files: the entry texts of the
// text indexes (full rebuild and single add) and the bytes of the three
// binary index records, expected bytes written from the record layouts.
#include "refdb/Indexes.h"

#include "common/ByteOrder.h"
#include "refdb/ReferencePattern.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace norrvik {
namespace {

using Texts = std::vector<std::string>;
using ByteList = std::vector<std::uint8_t>;

// A coded comment or reference line: text in columns 1-67, code in 68-69.
std::string CodedLine(std::string text, const std::string& code)
{
    text.resize(67, ' ');
    return text + code;
}

// The formula area is only carried from source databases, so tests write it
// directly: count (537), offsets (538) and NUL-ended formulas (542).
void SetFormulas(TReferencePattern& pattern, const Texts& formulas)
{
    PatternRecord& record = pattern.Record();
    record[537] = static_cast<std::uint8_t>(formulas.size());
    std::size_t start = 0;
    for (std::size_t i = 0; i < formulas.size(); ++i) {
        record[538 + 2 * i] = static_cast<std::uint8_t>(start);
        std::memcpy(record.data() + 542 + start, formulas[i].data(), formulas[i].size());
        start += formulas[i].size() + 1;
    }
}

ByteList Bytes(ConstBytes bytes, std::size_t offset, std::size_t size)
{
    const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(offset);
    return {first, first + static_cast<std::ptrdiff_t>(size)};
}

// A reference code as a length-prefixed string of capacity 9.
ByteList CodeField(const std::string& code)
{
    ByteList field(10, 0);
    field[0] = static_cast<std::uint8_t>(code.size());
    std::memcpy(field.data() + 1, code.data(), code.size());
    return field;
}

class JournalLink : public TPatternDatabaseLink {
public:
    void ReadTextLines(TextSideFile, std::int32_t, Texts&, std::int32_t) override {}
    std::string JournalName(const std::string& code) override { return code == "JCP" ? "J. Chem. Phys." : ""; }
};

TEST(IndexEntryTexts, PatternWithOnlyACodeGivesOneReferenceCodeEntry)
{
    TReferencePattern pattern;
    pattern.SetReferenceCode("00-002-0318");
    EXPECT_EQ(RebuildIndexTexts(TextIndex::ReferenceCode, pattern), Texts{"000020318"});
    EXPECT_EQ(AddedIndexTexts(TextIndex::ReferenceCode, pattern), Texts{"000020318"});
    for (TextIndex index : {TextIndex::Name, TextIndex::MineralName, TextIndex::Formula,
                            TextIndex::Color, TextIndex::Journal, TextIndex::Author})
        EXPECT_TRUE(RebuildIndexTexts(index, pattern).empty()) << TextIndexFileName(index);
    // Adding hands every value on; the store's append step skips blank ones.
    EXPECT_EQ(AddedIndexTexts(TextIndex::Color, pattern), Texts{""});
    EXPECT_TRUE(AddedIndexTexts(TextIndex::Name, pattern).empty());

    // The code as stored: not trimmed, up to the first zero byte.
    pattern.Record()[0] = ' ';
    pattern.Record()[4] = 0;
    EXPECT_EQ(RebuildIndexTexts(TextIndex::ReferenceCode, pattern), Texts{" 000"});
}

TEST(IndexEntryTexts, NamesOfEveryTypeInRecordOrderTabsCleanedOnlyByTheRebuild)
{
    TReferencePattern pattern;
    pattern.AddName("Quartz", kCompoundNameType);
    pattern.AddName("Quartz", kMineralNameType);
    pattern.AddTypedName("  low\tquartz ", 'P');
    EXPECT_EQ(RebuildIndexTexts(TextIndex::Name, pattern), (Texts{"Quartz", "Quartz", "low quartz"}));
    EXPECT_EQ(AddedIndexTexts(TextIndex::Name, pattern), (Texts{"Quartz", "Quartz", "low\tquartz"}));
    EXPECT_EQ(RebuildIndexTexts(TextIndex::MineralName, pattern), Texts{"Quartz"});
    EXPECT_EQ(AddedIndexTexts(TextIndex::MineralName, pattern), Texts{"Quartz"});
}

TEST(IndexEntryTexts, FormulaLineOnlyWhenItDiffersFromBothFormulas)
{
    TReferencePattern pattern;
    SetFormulas(pattern, {"SiO2"});
    pattern.SetFormulaLine("SiO2");
    EXPECT_EQ(RebuildIndexTexts(TextIndex::Formula, pattern), Texts{"SiO2"});
    EXPECT_EQ(AddedIndexTexts(TextIndex::Formula, pattern), Texts{"SiO2"});
    pattern.SetFormulaLine("sio2"); // compared case-sensitively
    EXPECT_EQ(RebuildIndexTexts(TextIndex::Formula, pattern), (Texts{"SiO2", "sio2"}));

    pattern.Clear();
    SetFormulas(pattern, {"Si\tO2", "O2 Si"});
    pattern.SetFormulaLine("O2 Si");
    EXPECT_EQ(RebuildIndexTexts(TextIndex::Formula, pattern), (Texts{"Si O2", "O2 Si"}));
    EXPECT_EQ(AddedIndexTexts(TextIndex::Formula, pattern), (Texts{"Si\tO2", "O2 Si"}));
    pattern.SetFormulaLine("Si O2 (low)");
    EXPECT_EQ(RebuildIndexTexts(TextIndex::Formula, pattern), (Texts{"Si O2", "O2 Si", "Si O2 (low)"}));

    // An empty second formula: left out by the rebuild, handed on by adding.
    pattern.Clear();
    SetFormulas(pattern, {"H2O", ""});
    EXPECT_EQ(RebuildIndexTexts(TextIndex::Formula, pattern), Texts{"H2O"});
    EXPECT_EQ(AddedIndexTexts(TextIndex::Formula, pattern), (Texts{"H2O", ""}));
}

TEST(IndexEntryTexts, ColourJournalAndAuthorsFromCommentsAndReferences)
{
    JournalLink link;
    TReferencePattern pattern;
    pattern.SetDatabaseLink(&link);
    pattern.SetCodedComments({CodedLine("dark\tred", "CL"), CodedLine("sample", "  "), CodedLine("blue", "CL")});
    pattern.SetReferences({CodedLine("JCP   12  345   1999 Smith,\tJ.", "  ")});
    // Two colour comments are joined by a line feed, which must not split
    // the entry's line: it becomes a blank either way, a tab only in a rebuild.
    EXPECT_EQ(RebuildIndexTexts(TextIndex::Color, pattern), Texts{"dark red blue"});
    EXPECT_EQ(AddedIndexTexts(TextIndex::Color, pattern), Texts{"dark\tred blue"});
    EXPECT_EQ(RebuildIndexTexts(TextIndex::Journal, pattern), Texts{"J. Chem. Phys."});
    EXPECT_EQ(RebuildIndexTexts(TextIndex::Author, pattern), Texts{"Smith, J."});
    EXPECT_EQ(AddedIndexTexts(TextIndex::Author, pattern), Texts{"Smith,\tJ."});
    pattern.SetDatabaseLink(nullptr);
    EXPECT_TRUE(RebuildIndexTexts(TextIndex::Journal, pattern).empty());
}

TEST(IndexRecords, IndexRecordFieldsAtTheirOffsets)
{
    TReferencePattern pattern;
    pattern.SetReferenceCode("00-002-0318");
    ElementSet elements{};
    elements[0] = 0x02;  // H
    elements[13] = 0x80; // element 111
    pattern.SetElements(elements);
    pattern.SetSubfiles(0x80000005u);
    pattern.SetStatus(0x0108);
    pattern.SetStatusByte(0xAB);

    const IndexRecord record = MakeIndexRecord(pattern);
    static_assert(sizeof(record) == 31);
    EXPECT_EQ(Bytes(record, 0, 14), ByteList(elements.begin(), elements.end()));
    EXPECT_EQ(Bytes(record, 14, 7), (ByteList{0x05, 0x00, 0x00, 0x80, 0x08, 0x01, 0xAB}));
    EXPECT_EQ(Bytes(record, 21, 10), CodeField("000020318"));
    // A code of fewer than nine characters: length, characters, zeros.
    std::memcpy(pattern.Record().data(), "12345\0xyz", 9);
    EXPECT_EQ(Bytes(MakeIndexRecord(pattern), 21, 10), CodeField("12345"));
}

TEST(IndexRecords, CrystalIndexRecordFieldsAndTheValue9Or10Rule)
{
    TReferencePattern pattern;
    pattern.SetReferenceCode("99-000-0001");
    for (int n = 1; n <= 11; ++n)
        pattern.SetCrystalValue(n, static_cast<float>(n) + 0.5f);
    pattern.SetCrystalClassByte(0x5A);
    pattern.SetCrystalNumber(0x12345678);

    const CrystalIndexRecord record = MakeCrystalIndexRecord(pattern);
    static_assert(sizeof(record) == 52);
    EXPECT_EQ(Bytes(record, 0, 4), (ByteList{0x00, 0x00, 0x20, 0x40})); // 2.5
    for (std::size_t k = 0; k < 6; ++k)
        EXPECT_EQ(ReadF32LE(record, 4 * k), static_cast<float>(k) + 2.5f) << k;
    EXPECT_EQ(ReadF32LE(record, 24), 11.5f);
    EXPECT_EQ(ReadF32LE(record, 28), 9.5f);
    EXPECT_EQ(ReadF32LE(record, 32), 8.5f);
    EXPECT_EQ(Bytes(record, 36, 2), (ByteList{0x78, 0x5A}));
    EXPECT_EQ(ReadF32LE(record, 38), 1.5f);
    EXPECT_EQ(Bytes(record, 42, 10), CodeField("990000001"));

    for (const auto& [value9, expected] : std::vector<std::pair<float, float>>{
             {1.0f, 1.0f}, {0.999f, 10.5f}, {std::numeric_limits<float>::quiet_NaN(), 10.5f}}) {
        pattern.SetCrystalValue(9, value9);
        EXPECT_EQ(ReadF32LE(MakeCrystalIndexRecord(pattern), 28), expected) << value9;
    }
    // Values are copied bit for bit, a signalling NaN included.
    WriteU32LE(pattern.Record(), 48, 0x7F800001u);
    EXPECT_EQ(ReadU32LE(MakeCrystalIndexRecord(pattern), 0), 0x7F800001u);
}

TEST(IndexRecords, StrongestLinesOfThreeLines)
{
    TReferencePattern pattern;
    pattern.SetReferenceCode("00-002-0318");
    pattern.AddLine(3.0f, 50, 1, 0, 0);
    pattern.AddLine(2.0f, 100, 1, 1, 0);
    pattern.AddLine(1.5f, 25, 1, 1, 1);
    pattern.UpdateMaxIntensity();

    const StrongestLinesRecord record = MakeStrongestLinesRecord(pattern);
    static_assert(sizeof(record) == 40);
    const ByteList expected = {
        0x5E, 0x4F, 0x00, 0x00, 3, 0, // reference number 20318, count, padding
        0x00, 0x20, 0x55, 0x15, 0xAB, 0x2A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, // 8192, 5461, 10923
        0xE8, 0x03, 0xF4, 0x01, 0xFA, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, // 1000, 500, 250
        0, 0};
    EXPECT_EQ(Bytes(record, 0, 40), expected);
    // The lines end in descending d order, each with its own h k l.
    EXPECT_EQ(pattern.GetD(0), 3.0f);
    EXPECT_EQ(pattern.GetK(1), 1);
    EXPECT_EQ(pattern.GetL(2), 1);

    std::memcpy(pattern.Record().data(), "12345\0", 6); // not nine digits
    EXPECT_EQ(ReadI32LE(MakeStrongestLinesRecord(pattern), 0), -1);
}

TEST(IndexRecords, StrongestLinesTakeTheEightStrongestTiesByDescendingD)
{
    TReferencePattern pattern;
    for (int k = 0; k < 20; ++k)
        pattern.AddLine(1.0f + 0.25f * static_cast<float>(k), static_cast<std::int16_t>(10 + 10 * (k % 5)), 0, 0, 0);
    pattern.UpdateMaxIntensity();

    const StrongestLinesRecord record = MakeStrongestLinesRecord(pattern);
    EXPECT_EQ(record[4], 8);
    // Intensity 50: d 5.75, 4.5, 3.25, 2.0; intensity 40: d 5.5, 4.25, 3.0, 1.75.
    const std::vector<std::int16_t> dCodes = {2849, 3641, 5041, 8192, 2979, 3855, 5461, 9362};
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(ReadI16LE(record, 6 + 2 * i), dCodes[i]) << i;
        EXPECT_EQ(ReadI16LE(record, 22 + 2 * i), i < 4 ? 1000 : 800) << i;
    }
    EXPECT_EQ(pattern.GetD(19), 1.0f);
}

TEST(IndexRecords, CodesRoundHalvesToEvenAndClampIntoSixteenBits)
{
    const float nan = std::nanf("");
    EXPECT_EQ(StrongestLineDCode(32768.0f), 0); // 0.5 goes to the even 0
    for (float d : {0.5f, 0.25f, 0.0f, -0.0f, std::numeric_limits<float>::denorm_min()})
        EXPECT_EQ(StrongestLineDCode(d), 32767) << d;
    EXPECT_EQ(StrongestLineDCode(-2.0f), -8192);
    EXPECT_EQ(StrongestLineDCode(nan), 0);
    EXPECT_EQ(StrongestLineIntensityCode(12.25f), 122);
    EXPECT_EQ(StrongestLineIntensityCode(12.75f), 128);
    EXPECT_EQ(StrongestLineIntensityCode(std::numeric_limits<float>::infinity()), 32767);
    EXPECT_EQ(StrongestLineIntensityCode(nan), 0);

    // 49 of 400 is 12.25 %; a pattern whose strongest intensity is 0 codes
    // its intensities as 0, and a line of d 0 gets the largest d-code.
    TReferencePattern pattern;
    pattern.AddLine(1.0f, 400, 0, 0, 0);
    pattern.AddLine(2.0f, 49, 0, 0, 0);
    pattern.UpdateMaxIntensity();
    EXPECT_EQ(ReadI16LE(MakeStrongestLinesRecord(pattern), 24), 122);
    TReferencePattern flat;
    flat.AddLine(0.0f, 0, 0, 0, 0);
    flat.UpdateMaxIntensity();
    const StrongestLinesRecord record = MakeStrongestLinesRecord(flat);
    EXPECT_EQ(Bytes(record, 4, 3), (ByteList{1, 0, 0xFF}));
    EXPECT_EQ(Bytes(record, 7, 1), ByteList{0x7F});
    EXPECT_EQ(ReadI16LE(record, 22), 0);
}

} // namespace
} // namespace norrvik
