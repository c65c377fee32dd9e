// Tests of the reference pattern record: field bytes at their offsets, names,
// formulas, elements, diffraction lines, copying, and old records.
#include "common/ByteOrder.h"
#include "common/Exceptions.h"
#include "refdb/ReferencePattern.h"
#include "support/RecordFields.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace norrvik;
using namespace norrvik::test;

namespace {

// The little-endian bytes of a float, for comparing with the record.
std::string FloatBytes(float value)
{
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    std::string bytes;
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
    return bytes;
}

std::string Bytes(const TReferencePattern& pattern, std::size_t offset, std::size_t size)
{
    return std::string(pattern.Record().begin() + static_cast<std::ptrdiff_t>(offset),
                       pattern.Record().begin() + static_cast<std::ptrdiff_t>(offset + size));
}

std::string MessageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Exception& e) {
        return e.what();
    }
    return "(no exception)";
}

// The element numbers set in a pattern.
std::set<int> ElementsOf(const TReferencePattern& pattern)
{
    std::set<int> numbers;
    for (int n = 0; n < 112; ++n)
        if (pattern.HasElement(n))
            numbers.insert(n);
    return numbers;
}

constexpr int H = 1, C = 6, N = 7, O = 8, Na = 11, S = 16, Cl = 17, Ca = 20, Fe = 26;

} // namespace

TEST(PatternRecord, NewPatternIsAllZero)
{
    TReferencePattern pattern;
    EXPECT_EQ(pattern.Record().size(), kRecordSize);
    for (std::uint8_t byte : pattern.Record())
        ASSERT_EQ(byte, 0);
    EXPECT_EQ(pattern.GetReferenceCode(), "");
    EXPECT_EQ(pattern.GetFirstFormula(), "");
    EXPECT_EQ(pattern.GetLineCount(), 0);
    EXPECT_EQ(pattern.GetMaxIntensity(), 0);
}

TEST(PatternRecord, SettersWriteTheDocumentedBytes)
{
    TReferencePattern pattern;
    pattern.SetReferenceCode("00-002-0318");
    pattern.SetRecordNumber(7);
    pattern.SetStatus(8);
    pattern.SetSubfiles(0x80000005u);
    pattern.AddName("Silicon oxide", 0);
    pattern.SetMineralName("Quartz");
    pattern.SetFormulaLine("Si O2");
    pattern.SetElementsFromFormula("Si O2");
    pattern.AddLine(3.343f, 100, 1, 0, 1);
    pattern.AddLine(4.26f, 35, 1, 0, -1);
    pattern.UpdateMaxIntensity();
    pattern.SetTextRange(TextList::Comments, {12, 3});
    pattern.SetTextRange(TextList::References, {-1, 0});

    EXPECT_EQ(Bytes(pattern, kCodeField, 9), "000020318");
    EXPECT_EQ(Bytes(pattern, kRecordNumberField, 4), std::string("\x07\0\0\0", 4));
    EXPECT_EQ(Bytes(pattern, kStatusField, 2), std::string("\x08\0", 2));
    EXPECT_TRUE(pattern.IsUserPattern());
    EXPECT_EQ(Bytes(pattern, kReferencesStartField, 4), "\xFF\xFF\xFF\xFF");      // references start
    EXPECT_EQ(Bytes(pattern, kCommentsStartField, 4), std::string("\x0C\0\0\0", 4)); // comments start
    EXPECT_EQ(Bytes(pattern, kReferencesCountField, 2), std::string("\0\0", 2));
    EXPECT_EQ(Bytes(pattern, kCommentsCountField, 2), std::string("\x03\0", 2));
    // Si is element 14 (byte 1, bit 6), O element 8 (byte 1, bit 0).
    EXPECT_EQ(pattern.Record()[103], 0);
    EXPECT_EQ(pattern.Record()[104], 0x41);
    EXPECT_EQ(Bytes(pattern, kSubfilesField, 4), std::string("\x05\0\0\x80", 4));
    // Names: count, type letters, offsets, then the texts each ended by NUL.
    EXPECT_EQ(pattern.Record()[121], 2);
    EXPECT_EQ(Bytes(pattern, 122, 2), "CM");
    EXPECT_EQ(Bytes(pattern, 127, 4), std::string("\0\0\x0E\0", 4));
    EXPECT_EQ(Bytes(pattern, 137, 21), std::string("Silicon oxide\0Quartz\0", 21));
    EXPECT_EQ(Bytes(pattern, kFormulaLineField, 6), std::string("Si O2\0", 6));
    // Lines: count, then the d, intensity, h, k, l arrays of 204 entries.
    EXPECT_EQ(pattern.Record()[kLineCountField], 2);
    EXPECT_EQ(Bytes(pattern, kDField, 8), FloatBytes(3.343f) + FloatBytes(4.26f));
    EXPECT_EQ(Bytes(pattern, kIntensityField, 4), std::string("\x64\0\x23\0", 4));
    EXPECT_EQ(Bytes(pattern, kHField, 4), std::string("\x01\0\x01\0", 4));
    EXPECT_EQ(Bytes(pattern, kKField, 4), std::string("\0\0\0\0", 4));
    EXPECT_EQ(Bytes(pattern, kLField, 4), std::string("\x01\0\xFF\xFF", 4));
    EXPECT_EQ(Bytes(pattern, kMaxIntensityField, 2), std::string("\x64\0", 2));
}

TEST(PatternRecord, CarriedFieldsSitAtTheirOffsets)
{
    TReferencePattern pattern;
    pattern.SetStatusByte(0xA5);
    pattern.SetCrystalValue(1, 1.0f);
    pattern.SetCrystalValue(7, 2.0f);
    pattern.SetCrystalClassByte(3);
    pattern.SetCrystalNumber(0x01020304);
    pattern.SetCrystalValue(9, 0.5f);
    pattern.SetCrystalValue(11, -1.0f);
    EXPECT_EQ(pattern.Record()[19], 0xA5);
    EXPECT_EQ(Bytes(pattern, 44, 4), FloatBytes(1.0f));
    EXPECT_EQ(Bytes(pattern, 68, 4), FloatBytes(2.0f));
    EXPECT_EQ(pattern.Record()[72], 3);
    EXPECT_EQ(Bytes(pattern, 83, 4), "\x04\x03\x02\x01");
    EXPECT_EQ(Bytes(pattern, 91, 4), FloatBytes(0.5f));
    EXPECT_EQ(Bytes(pattern, 99, 4), FloatBytes(-1.0f));
    EXPECT_EQ(MessageOf([&] { pattern.GetCrystalValue(12); }), "Invalid index");
    EXPECT_EQ(MessageOf([&] { pattern.GetCrystalValue(0); }), "Invalid index");

    EXPECT_EQ(kSubfileTable[0], "I=Inorganic");
    EXPECT_EQ(kSubfileTable[3], "A=Alloy, metal or intermetalic");
    EXPECT_EQ(kSubfileTable[28], "ION=Ionic Conductors");
    EXPECT_EQ(kSubfileTable[31], "R11=Reserved 11");
}

TEST(PatternNames, FiveNamesFitTheAreaAndNoMore)
{
    TReferencePattern pattern;
    for (int i = 0; i < 5; ++i)
        pattern.AddName(std::string(79, static_cast<char>('a' + i)), 0);
    EXPECT_EQ(Bytes(pattern, 127, 10), std::string("\0\0\x50\0\xA0\0\xF0\0\x40\x01", 10));
    EXPECT_EQ(pattern.Record()[137 + 79], 0);
    EXPECT_EQ(pattern.Record()[137 + 398], 'e');
    EXPECT_EQ(pattern.Record()[137 + 399], 0);
    EXPECT_EQ(pattern.GetNameAt(4).Text, std::string(79, 'e'));
    EXPECT_EQ(MessageOf([&] { pattern.AddName("f", 0); }),
              "The maximum number (5) of names is already used.\r\n"
              "You cannot add a new compound name.");
    EXPECT_EQ(pattern.GetNameCount(), 5);
}

TEST(PatternNames, TotalLengthIsLimitedTo400Characters)
{
    TReferencePattern pattern;
    pattern.AddName(std::string(300, 'x'), 0);
    EXPECT_EQ(MessageOf([&] { pattern.AddName(std::string(100, 'y'), 1); }),
              "The total length of the compound names is too large.\n\r"
              "You cannot Add the new compound Name.");
    EXPECT_EQ(pattern.GetNameCount(), 1);
    EXPECT_EQ(pattern.GetMineralName(), "");
    // 99 characters from 301 end exactly at the end of the area, unterminated.
    pattern.AddName(std::string(99, 'y'), 1);
    EXPECT_EQ(pattern.GetMineralName(), std::string(99, 'y'));
    EXPECT_EQ(pattern.Record()[137 + 300], 0);
}

TEST(PatternNames, TypeLettersAndLookUp)
{
    TReferencePattern pattern;
    pattern.AddTypedName("first", 'Q');
    pattern.AddTypedName("second", 'P');
    pattern.AddName("third", 2);
    pattern.AddName("fourth", 2);
    EXPECT_EQ(Bytes(pattern, 122, 4), "?P  ");
    EXPECT_EQ(pattern.GetName(7), "first");
    EXPECT_EQ(pattern.GetName(3), "second");
    EXPECT_EQ(pattern.GetName(2), "third"); // the first name of a type
    EXPECT_EQ(pattern.GetName(0), "");
    EXPECT_EQ(pattern.GetNameAt(1).TypeLetter, 'P');
    EXPECT_EQ(MessageOf([&] { pattern.GetName(8); }), "Invalid index");
    EXPECT_EQ(MessageOf([&] { pattern.AddName("x", -1); }), "Invalid index");
    EXPECT_EQ(MessageOf([&] { pattern.GetNameAt(4); }), "Invalid index");
}

TEST(PatternNames, SetNameReplacesInPlaceOrAdds)
{
    TReferencePattern pattern;
    pattern.SetMineralName("   ");
    EXPECT_EQ(pattern.GetNameCount(), 0);
    pattern.AddName("Calcium carbonate", 0);
    pattern.SetMineralName(" Calcite ");
    pattern.AddName("Kalkspat", 5);
    pattern.SetMineralName("Aragonite");
    ASSERT_EQ(pattern.GetNameCount(), 3);
    EXPECT_EQ(Bytes(pattern, 122, 3), "CMZ");
    EXPECT_EQ(Bytes(pattern, 127, 6), std::string("\0\0\x12\0\x1C\0", 6));
    EXPECT_EQ(Bytes(pattern, 137, 37), std::string("Calcium carbonate\0Aragonite\0Kalkspat\0", 37));
    EXPECT_EQ(pattern.GetMineralName(), "Aragonite");

    // A replacement that does not fit leaves every name as it was.
    TReferencePattern full;
    full.AddName("compound", 0);
    full.SetMineralName("mineral");
    full.AddName(std::string(300, 'z'), 5);
    const PatternRecord before = full.Record();
    EXPECT_THROW(full.SetMineralName(std::string(100, 'm')), Exception);
    EXPECT_EQ(full.Record(), before);
}

TEST(PatternFormulas, ElementsFromFormulaTexts)
{
    const auto elementsOf = [](const char* formula) {
        TReferencePattern pattern;
        pattern.SetElementsFromFormula(formula);
        return ElementsOf(pattern);
    };
    EXPECT_EQ(elementsOf("Ca (C O3)"), (std::set<int>{Ca, C, O}));
    EXPECT_EQ(elementsOf("Fe1-xO"), (std::set<int>{Fe, O}));
    EXPECT_EQ(elementsOf("n H2O"), (std::set<int>{H, O}));
    EXPECT_EQ(elementsOf("(NH4)2SO4"), (std::set<int>{N, H, S, O}));
    EXPECT_EQ(elementsOf("Fe2 O3"), (std::set<int>{Fe, O}));
    EXPECT_EQ(elementsOf("Fe2O3"), (std::set<int>{Fe, O}));
    EXPECT_EQ(elementsOf("Qq2 Na Cl"), (std::set<int>{Na, Cl}));
    EXPECT_EQ(elementsOf("Na$SbCl"), (std::set<int>{Na, Cl}));
    EXPECT_EQ(elementsOf("  "), std::set<int>{});

    TReferencePattern pattern;
    pattern.SetElementsFromFormula("Lr D");
    // Lr is element 103 (byte 12, bit 7), D element 108 (byte 13, bit 4).
    EXPECT_EQ(pattern.Record()[103 + 12], 0x80);
    EXPECT_EQ(pattern.Record()[103 + 13], 0x10);
    ElementSet none{};
    pattern.SetElements(none);
    EXPECT_EQ(pattern.GetElements(), none);
}

TEST(PatternFormulas, UnknownElementSymbols)
{
    TReferencePattern pattern;
    pattern.SetReferenceCode("99-000-0001");
    EXPECT_EQ(MessageOf([&] { pattern.AddElement("Qq"); }),
              "Reference pattern: 99-000-0001: \"Qq\" isn't a correct element code.");
    EXPECT_EQ(MessageOf([&] { pattern.AddElement("fe"); }),
              "Reference pattern: 99-000-0001: \"fe\" isn't a correct element code.");
    EXPECT_NO_THROW(pattern.AddElement("Cb"));
    for (const char* code : {"00-002-0318", "00-009-0242", "00-033-1016"}) {
        pattern.SetReferenceCode(code);
        EXPECT_NO_THROW(pattern.AddElement("Xx")) << code;
    }
    pattern.SetReferenceCode("00-033-1017");
    EXPECT_THROW(pattern.AddElement("Xx"), Exception);
    EXPECT_EQ(ElementsOf(pattern), std::set<int>{});
}

TEST(PatternFormulas, FormulaFieldsAndPreference)
{
    TReferencePattern pattern;
    EXPECT_EQ(MessageOf([&] { pattern.SetFormulaLine(std::string(68, 'F')); }),
              "The actual length of the string (68) is larger than the allowed length (67).");
    pattern.SetFormulaLine(std::string(67, 'F'));
    EXPECT_EQ(pattern.Record()[kLineCountField], 0); // no terminator written over the line count
    pattern.SetFormulaLine("  Si O2 ");
    EXPECT_EQ(pattern.GetFormulaLine(), "Si O2");
    EXPECT_EQ(pattern.GetPreferredFormula(), "Si O2");

    // Two formulas in the formula area: count at 537, offsets at 538, text at 542.
    PatternRecord& record = pattern.Record();
    record[537] = 2;
    WriteI16LE(record, 540, 5);
    std::memcpy(record.data() + 542, "SiO2\0Si O2\0", 11);
    EXPECT_EQ(pattern.GetFormulaCount(), 2);
    EXPECT_EQ(pattern.GetFirstFormula(), "SiO2");
    EXPECT_EQ(pattern.GetSecondFormula(), "Si O2");
    EXPECT_EQ(pattern.GetPreferredFormula(), "SiO2");
    record[537] = 1;
    EXPECT_EQ(pattern.GetSecondFormula(), "");

    TPreferencesForReferenceDatabase preferences;
    EXPECT_EQ(preferences.Bytes(), (std::array<std::uint8_t, 10>{0, 1, 0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(MessageOf([&] { preferences.GetFormulaPreference(2); }), "Invalid index");
    preferences.SetFormulaPreference(0, 1);
    preferences.SetFormulaPreference(1, 0);
    pattern.SetPreferences(&preferences);
    EXPECT_EQ(pattern.GetPreferredFormula(), "Si O2");
    preferences.SetFormulaPreference(0, 5); // an unknown kind gives nothing
    EXPECT_EQ(pattern.GetPreferredFormula(), "SiO2");
}

TEST(PatternLines, AddLineMergesEqualSpacings)
{
    TReferencePattern pattern;
    pattern.AddLine(2.5f, 50, 1, 1, 1);
    pattern.AddLine(2.5f, 80, 2, 2, 2);
    pattern.AddLine(2.5f, 20, 3, 3, 3);
    ASSERT_EQ(pattern.GetLineCount(), 1);
    EXPECT_EQ(pattern.GetIntensity(0), 80);
    EXPECT_EQ(pattern.GetH(0), 1);
    EXPECT_EQ(pattern.GetMaxIntensity(), 0); // only UpdateMaxIntensity sets it
    EXPECT_EQ(MessageOf([&] { pattern.GetD(1); }), "Invalid index");
    EXPECT_EQ(MessageOf([&] { pattern.GetL(-1); }), "Invalid index");
    EXPECT_EQ(MessageOf([&] { pattern.GetRelativeIntensity(1); }), "Invalid Index");
    EXPECT_EQ(MessageOf([&] { pattern.GetLine(1); }), "Invalid index");
}

// Against a model: a line whose d-spacing equals (as numbers compare, so
// +0 equals -0 and a NaN equals nothing) an earlier line's is merged into
// the first such line, which keeps the larger intensity.
TEST(PatternLines, AddLineMergesIntoTheFirstEqualSpacing)
{
    const float choices[] = {0.0f, -0.0f, std::numeric_limits<float>::quiet_NaN(), 1.0f, 1.125f, 2.5f, 7.75f};
    std::minstd_rand random(9);
    for (int round = 0; round < 200; ++round) {
        TReferencePattern pattern;
        std::vector<std::pair<float, std::int16_t>> model;
        for (int n = 0; n < 1 + round % 60; ++n) {
            const float d = random() % 3 == 0 ? choices[random() % 7] : 1.0f + static_cast<float>(random() % 400) / 8.0f;
            const auto intensity = static_cast<std::int16_t>(random() % 100);
            pattern.AddLine(d, intensity, static_cast<std::int16_t>(n), 0, 0);
            const auto same = std::find_if(model.begin(), model.end(), [d](const auto& line) { return line.first == d; });
            if (same != model.end())
                same->second = std::max(same->second, intensity);
            else
                model.emplace_back(d, intensity);
        }
        ASSERT_EQ(pattern.GetLineCount(), static_cast<int>(model.size())) << "round " << round;
        for (int i = 0; i < pattern.GetLineCount(); ++i)
            EXPECT_EQ(pattern.GetIntensity(i), model[static_cast<std::size_t>(i)].second) << "round " << round;
    }
    // A record may hold equal spacings (written by another program): the
    // first of them takes the merge.
    TReferencePattern written;
    for (const float d : {3.0f, 2.0f, 4.0f})
        written.AddLine(d, 10, 0, 0, 0);
    WriteF32LE(written.Record(), pattern_layout::D + 8, 3.0f); // the third line's d
    written.AddLine(3.0f, 90, 0, 0, 0);
    EXPECT_EQ(written.GetIntensity(0), 90);
    EXPECT_EQ(written.GetIntensity(2), 10);
}

TEST(PatternLines, AtMost204Lines)
{
    TReferencePattern pattern;
    for (int i = 0; i < 204; ++i)
        pattern.AddLine(1.0f + static_cast<float>(i) / 16.0f, 10, 0, 0, 0);
    EXPECT_EQ(pattern.Record()[kLineCountField], 204);
    EXPECT_EQ(MessageOf([&] { pattern.AddLine(100.0f, 10, 0, 0, 0); }),
              "The pattern already contains the maximum number of lines (204).");
    pattern.AddLine(1.0f, 99, 0, 0, 0); // merging still works on a full pattern
    EXPECT_EQ(pattern.GetIntensity(0), 99);
    EXPECT_EQ(pattern.GetLineCount(), 204);
    // The last line's l sits just before MaxIntensity.
    pattern.UpdateMaxIntensity();
    EXPECT_EQ(ReadI16LE(pattern.Record(), kMaxIntensityField), 99);
}

// The line sorts against the exchange sort done on the record's bytes, line
// by line: equal d-spacings and intensities, NaNs, zeros of both signs and
// every line count up to the maximum must leave the same bytes, whether
// the lines are all different (a plain sort) or not. The first lines by
// intensity, taken without sorting, must be those rows of the sorted record.
TEST(PatternLines, SortsLeaveTheBytesOfTheExchangeSortOnTheRecord)
{
    namespace pl = pattern_layout;
    const auto exchangeOnRecord = [](PatternRecord& record, int count, bool byIntensity) {
        const auto d = [&](int i) { return ReadF32LE(record, pl::D + 4 * static_cast<std::size_t>(i)); };
        const auto intensity = [&](int i) { return ReadI16LE(record, pl::Intensity + 2 * static_cast<std::size_t>(i)); };
        for (int i = 0; i + 1 < count; ++i)
            for (int j = i + 1; j < count; ++j)
                if (byIntensity ? intensity(i) < intensity(j) || (intensity(i) == intensity(j) && d(i) < d(j))
                                : d(i) < d(j))
                    for (auto [offset, size] : {std::pair{pl::D, 4}, {pl::Intensity, 2}, {pl::H, 2}, {pl::K, 2}, {pl::L, 2}})
                        std::swap_ranges(record.begin() + static_cast<std::ptrdiff_t>(offset) + i * size,
                                         record.begin() + static_cast<std::ptrdiff_t>(offset) + (i + 1) * size,
                                         record.begin() + static_cast<std::ptrdiff_t>(offset) + j * size);
    };
    const std::uint32_t unusualD[] = {0x7fc00001u, 0xffc00000u, 0x80000000u, 0u, 0x3f800000u};
    std::minstd_rand random(5);
    for (int round = 0; round < 300; ++round) {
        TReferencePattern pattern;
        const int count = round < 205 ? round : static_cast<int>(random() % 205);
        const unsigned intensities = std::array{6u, 40u, 30000u}[static_cast<std::size_t>(round % 3)];
        for (int i = 0; i < count; ++i) {
            const std::uint32_t bits = random() % 4 == 0 ? unusualD[random() % 5] : 0x3f800000u + static_cast<std::uint32_t>(random() % (round % 2 == 0 ? 64 : 1 << 20)) * 4;
            WriteU32LE(pattern.Record(), pl::D + 4 * static_cast<std::size_t>(i), bits);
            for (std::size_t offset : {pl::Intensity, pl::H, pl::K, pl::L})
                WriteI16LE(pattern.Record(), offset + 2 * static_cast<std::size_t>(i),
                           static_cast<std::int16_t>(random() % intensities - 1));
        }
        pattern.Record()[pl::LineCount] = static_cast<std::uint8_t>(count);
        pattern.UpdateMaxIntensity();
        // Sorting again by the same key meets lines already in its order.
        for (bool byIntensity : {true, false, false, true, true}) {
            PatternRecord expected = pattern.Record();
            exchangeOnRecord(expected, count, byIntensity);
            if (byIntensity) {
                TReferencePattern sorted;
                sorted.Record() = expected;
                for (int rows : {1, 3, 7, 8, count}) {
                    const std::vector<DiffractionLine> first = pattern.FirstLinesByIntensity(rows);
                    ASSERT_EQ(first.size(), static_cast<std::size_t>(std::min(rows, count)));
                    for (int i = 0; i < static_cast<int>(first.size()); ++i) {
                        const DiffractionLine line = sorted.GetLine(i);
                        ASSERT_EQ(std::bit_cast<std::uint32_t>(first[static_cast<std::size_t>(i)].D), std::bit_cast<std::uint32_t>(line.D))
                            << "round " << round << ", " << rows << " rows, row " << i;
                        ASSERT_EQ(first[static_cast<std::size_t>(i)].RelativeIntensity, line.RelativeIntensity);
                        ASSERT_EQ(first[static_cast<std::size_t>(i)].H, line.H);
                    }
                }
            }
            byIntensity ? pattern.SortLinesByIntensity() : pattern.SortLinesByD();
            ASSERT_EQ(pattern.Record(), expected) << "round " << round << (byIntensity ? " by intensity" : " by d");
        }
    }
}

// Of two equal lines, the exchange sort takes the one an earlier exchange
// moved ahead, not the one stored first: here the second of the rows asked for.
TEST(PatternLines, FirstLinesByIntensityTakeEqualLinesAsTheSortDoes)
{
    namespace pl = pattern_layout;
    TReferencePattern pattern;
    // Two lines alike but for h (AddLine would merge them), then a stronger one.
    const std::tuple<float, std::int16_t, std::int16_t> lines[] = {{2.0f, 50, 1}, {2.0f, 50, 2}, {3.0f, 90, 3}};
    for (std::size_t i = 0; i < 3; ++i) {
        WriteF32LE(pattern.Record(), pl::D + 4 * i, std::get<0>(lines[i]));
        WriteI16LE(pattern.Record(), pl::Intensity + 2 * i, std::get<1>(lines[i]));
        WriteI16LE(pattern.Record(), pl::H + 2 * i, std::get<2>(lines[i]));
    }
    pattern.Record()[pl::LineCount] = 3;
    const std::vector<DiffractionLine> first = pattern.FirstLinesByIntensity(2);
    pattern.SortLinesByIntensity();
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[1].H, pattern.GetH(1));
}

TEST(PatternLines, SortsMoveWholeLines)
{
    TReferencePattern pattern;
    pattern.AddLine(2.5f, 50, 1, 0, 0);
    pattern.AddLine(3.1f, 100, 0, 1, 0);
    pattern.AddLine(1.9f, 50, 0, 0, 1);
    pattern.SortLinesByIntensity();
    EXPECT_EQ(pattern.GetD(0), 3.1f);
    EXPECT_EQ(pattern.GetD(1), 2.5f);
    EXPECT_EQ(pattern.GetD(2), 1.9f);
    EXPECT_EQ(pattern.GetK(0), 1);
    EXPECT_EQ(pattern.GetH(1), 1);
    EXPECT_EQ(pattern.GetL(2), 1);
    EXPECT_EQ(pattern.GetIntensity(0), 100);

    pattern.AddLine(4.0f, 10, 2, 2, 2);
    pattern.SortLinesByD();
    const float expected[] = {4.0f, 3.1f, 2.5f, 1.9f};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(pattern.GetD(i), expected[i]);
    EXPECT_EQ(pattern.GetIntensity(0), 10);
    EXPECT_EQ(pattern.GetH(0), 2);
    EXPECT_EQ(pattern.GetK(1), 1);
}

TEST(PatternLines, RelativeIntensity)
{
    TReferencePattern pattern;
    pattern.AddLine(3.0f, 50, 1, 2, 3);
    pattern.AddLine(2.0f, 200, 0, 0, 0);
    // Without a maximum there is nothing to divide by: 0 percent.
    EXPECT_EQ(pattern.GetRelativeIntensity(0), 0.0f);
    EXPECT_EQ(pattern.GetLine(1).RelativeIntensity, 0.0f);
    pattern.UpdateMaxIntensity();
    EXPECT_EQ(pattern.GetMaxIntensity(), 200);
    EXPECT_FLOAT_EQ(pattern.GetRelativeIntensity(0), 25.0f);
    const DiffractionLine line = pattern.GetLine(0);
    EXPECT_EQ(line.D, 3.0f);
    EXPECT_FLOAT_EQ(line.RelativeIntensity, 25.0f);
    EXPECT_EQ(line.H, 1);
    EXPECT_EQ(line.K, 2);
    EXPECT_EQ(line.L, 3);

    TReferencePattern negative;
    negative.AddLine(3.0f, -5, 0, 0, 0);
    negative.Record()[kMaxIntensityField] = 7;
    negative.UpdateMaxIntensity();
    EXPECT_EQ(negative.GetMaxIntensity(), 0);
    EXPECT_EQ(negative.GetRelativeIntensity(0), 0.0f);
}

TEST(PatternCopy, ClearAndAssign)
{
    TPreferencesForReferenceDatabase preferences;
    TReferencePattern source;
    source.SetReferenceCode("00-002-0318");
    source.AddLine(2.0f, 10, 0, 0, 0);
    source.SetComments({"Imported from somewhere"});
    source.SetSupplementLines({"one", "two"});
    source.SetPreferences(&preferences);

    TReferencePattern copy;
    copy.SetCodedComments({"left over"});
    copy.Assign(source);
    EXPECT_EQ(copy.Record(), source.Record());
    EXPECT_EQ(copy.Preferences(), &preferences);
    EXPECT_TRUE(copy.GetCodedComments().empty());
    EXPECT_EQ(copy.GetComments(), source.GetComments());
    EXPECT_EQ(copy.GetSupplementLines(), (std::vector<std::string>{"one", "two"}));
    copy.Assign(copy);
    EXPECT_EQ(copy.GetReferenceCode(), "00-002-0318");

    copy.Clear();
    for (std::uint8_t byte : copy.Record())
        ASSERT_EQ(byte, 0);
    EXPECT_EQ(copy.Preferences(), nullptr);
    EXPECT_TRUE(copy.GetComments().empty());
    EXPECT_EQ(source.GetComments().size(), 1u);
}

TEST(PatternCopy, OldRecordsGainTheNewCode)
{
    OldPatternRecord old{};
    std::memcpy(old.data(), "020318", 6);
    old[6] = 0x2A;       // record number, at 9 in the current record
    old[kMaxIntensityField - 3] = 0x34; // MaxIntensity, 3 bytes earlier in the older record
    old[kMaxIntensityField - 2] = 0x12;
    const PatternRecord record = ConvertOldPatternRecord(old);
    EXPECT_EQ(std::string(record.begin(), record.begin() + 9), "000020318");
    EXPECT_EQ(ReadI32LE(record, kRecordNumberField), 42);
    EXPECT_EQ(ReadI16LE(record, kMaxIntensityField), 0x1234);

    const auto codeField = [&old] {
        const PatternRecord converted = ConvertOldPatternRecord(old);
        return std::string(converted.begin(), converted.begin() + 10);
    };
    std::memcpy(old.data(), "710123", 6);
    EXPECT_EQ(codeField(), std::string("010710123") + '\x2A');
    std::memcpy(old.data(), "1234\0\0", 6);
    EXPECT_EQ(codeField(), std::string("9901234") + '\0' + '\0' + '\x2A');
    std::memcpy(old.data(), "AB0318", 6);
    EXPECT_THROW(ConvertOldPatternRecord(old), EConvertError);
}
