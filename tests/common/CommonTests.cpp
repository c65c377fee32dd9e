// Tests of the shared helpers: byte order, fixed-width fields, text, numbers,
// elements, formatting, exceptions and source-file lookup.
#include "common/ByteOrder.h"
#include "common/Elements.h"
#include "common/Exceptions.h"
#include "common/FileHandle.h"
#include "common/Files.h"
#include "common/FixedChars.h"
#include "common/Format.h"
#include "common/Numbers.h"
#include "common/Parallel.h"
#include "common/ReadAhead.h"
#include "common/SourceFolder.h"
#include "common/Text.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

using namespace norrvik;

TEST(ByteOrder, ValuesAreLittleEndianAndPinnedToTheirBytes)
{
    std::array<std::uint8_t, 16> bytes{};
    WriteU32LE(bytes, 0, 0x04030201u);
    EXPECT_EQ((std::array<std::uint8_t, 4>{1, 2, 3, 4}),
              (std::array<std::uint8_t, 4>{bytes[0], bytes[1], bytes[2], bytes[3]}));
    WriteI16LE(bytes, 4, -2);
    EXPECT_EQ(bytes[4], 0xFE);
    EXPECT_EQ(bytes[5], 0xFF);
    EXPECT_EQ(ReadI16LE(bytes, 4), -2);
    WriteF32LE(bytes, 6, 1.0f);
    EXPECT_EQ(ReadU32LE(bytes, 6), 0x3F800000u);
    WriteF64LE(bytes, 8, -2.0);
    EXPECT_EQ(bytes[15], 0xC0);
    EXPECT_EQ(ReadF64LE(bytes, 8), -2.0);
}

TEST(ByteOrder, NoAccessOutsideTheBuffer)
{
    std::array<std::uint8_t, 4> bytes{};
    EXPECT_THROW(ReadU32LE(bytes, 1), EAssertionFailed);
    EXPECT_THROW(ReadU8(bytes, 4), EAssertionFailed);
    EXPECT_THROW(WriteU16LE(bytes, 3, 1), EAssertionFailed);
    EXPECT_THROW(ReadBytesAsString(bytes, 2, static_cast<std::size_t>(-1)), EAssertionFailed);
    EXPECT_NO_THROW(ReadU32LE(bytes, 0));
    EXPECT_THROW(TLittleEndianTable<std::int16_t>(bytes, 2, 2), EAssertionFailed);
    EXPECT_THROW(TLittleEndianTable<std::int16_t>(bytes, 1, 1)[1], EAssertionFailed);
}

// A table reads each row as the single accessors read it.
TEST(ByteOrder, TableRowsAreThoseOfTheSingleAccessors)
{
    std::array<std::uint8_t, 24> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(0x9D * i + 7);
    const TLittleEndianTable<float> floats(bytes, 3, 5);
    const TLittleEndianTable<std::int16_t> shorts(bytes, 1, 11);
    const TLittleEndianTable<std::uint64_t> longs(bytes, 0, 3);
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(std::bit_cast<std::uint32_t>(floats[i]), ReadU32LE(bytes, 3 + 4 * i));
    for (std::size_t i = 0; i < 11; ++i)
        EXPECT_EQ(shorts[i], ReadI16LE(bytes, 1 + 2 * i));
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(longs[i], ReadU64LE(bytes, 8 * i));
}

TEST(FixedChars, ShorterValuesGetOneTerminatorFullWidthNone)
{
    std::array<std::uint8_t, 9> field;
    field.fill('x');
    WriteFixedChars(field, 9, "12345");
    EXPECT_EQ(ReadBytesAsString(field, 0, 9), std::string("12345\0xxx", 9));
    WriteFixedChars(field, 9, "123456789");
    EXPECT_EQ(ReadBytesAsString(field, 0, 9), "123456789");
    EXPECT_EQ(ReadFixedChars(field, 9), "123456789");
    EXPECT_EQ(ReadFixedChars(field, 4), "1234");
}

TEST(FixedChars, TooLongValueIsRefusedAndLeavesTheField)
{
    std::array<std::uint8_t, 9> field;
    field.fill('x');
    try {
        WriteFixedChars(field, 9, "00-002-031");
        FAIL();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "The actual length of the string (10) is larger than the allowed length (9).");
    }
    EXPECT_EQ(ReadBytesAsString(field, 0, 9), "xxxxxxxxx");
}

TEST(FixedChars, ReadingTrimsBlanksAndControlsAndStopsAtNul)
{
    const std::array<std::uint8_t, 8> field{' ', '\t', 'A', 'b', ' ', 0, 'Z', 'Z'};
    EXPECT_EQ(ReadFixedChars(field, 8), "Ab");
    EXPECT_EQ(ReadFixedChars(field, 100), "Ab"); // never past the field's end
}

TEST(Text, TrimRemovesEveryCharacterUpToSpace)
{
    EXPECT_EQ(Trim(std::string("\x01\x1f Quartz \x7f\x20\t", 13)), "Quartz \x7f");
    EXPECT_EQ(TrimRight("  a  "), "  a");
    EXPECT_EQ(TrimLeft("  a  "), "a  ");
    EXPECT_EQ(Trim("   "), "");
}

// The view and the in-place change keep the text where it is: the
// checker compares index texts through them.
TEST(Text, TrimmedViewAndUpperCasingInPlaceAgreeWithTheCopies)
{
    const std::string text("\t\x01 quartz \x7f \x20", 13);
    const std::string_view kept = TrimmedView(text);
    EXPECT_EQ(kept, Trim(text));
    EXPECT_EQ(kept.data(), text.data() + 3);
    EXPECT_TRUE(TrimmedView("  \x1f ").empty());
    std::string changed = "quartz.di \xe9";
    MakeUpperCaseAscii(changed);
    EXPECT_EQ(changed, UpperCaseAscii("quartz.di \xe9"));
}

TEST(Text, UpperCasingChangesOnlyAsciiLetters)
{
    EXPECT_EQ(UpperCaseAscii("quartz.di \xe9"), "QUARTZ.DI \xe9");
    EXPECT_TRUE(SameTextAscii("Pddatabs.dat", "PDDATABS.DAT"));
}

TEST(Text, Windows1252FromUtf8)
{
    EXPECT_EQ(Utf8ToWindows1252("C:/Daten/Probe \xc3\xa4\xe2\x82\xac"), "C:/Daten/Probe \xe4\x80");
    EXPECT_EQ(Utf8ToWindows1252("\xe6\x97\xa5"), "?");     // no byte in the code page
    EXPECT_EQ(Utf8ToWindows1252("a\xc3"), "a?");          // cut sequence
    EXPECT_EQ(Windows1252ToUtf8("\xe4\x80"), "\xc3\xa4\xe2\x82\xac");
}

TEST(Text, MessagesBecomeValidUtf8)
{
    // A UTF-8 path next to a Windows-1252 name from a record.
    EXPECT_EQ(ValidUtf8("/home/j\xc3\xb6rg/db: entry M\xfcller"), "/home/j\xc3\xb6rg/db: entry M\xc3\xbcller");
    EXPECT_EQ(ValidUtf8("\xf0\x9f\x94\xac \xe2\x82\xac"), "\xf0\x9f\x94\xac \xe2\x82\xac"); // 4- and 3-byte forms stay
    EXPECT_EQ(ValidUtf8("\xc0\xaf"), "\xc3\x80\xc2\xaf");       // overlong form: two Windows-1252 bytes
    EXPECT_EQ(ValidUtf8("\xed\xa0\x80"), "\xc3\xad\xc2\xa0\xe2\x82\xac"); // surrogate
    EXPECT_EQ(ValidUtf8("a\xe2\x82"), "a\xc3\xa2\xe2\x80\x9a");       // cut sequence
    EXPECT_EQ(ValidUtf8("\x81"), "\xef\xbf\xbd");                 // no character in the code page
    EXPECT_STREQ(EInOutError("Cannot read file x: bad name \xe9").what(), "Cannot read file x: bad name \xc3\xa9");
}

TEST(Numbers, RoundingTakesHalvesToEven)
{
    EXPECT_EQ(RoundHalfEven(12.5), 12.0);
    EXPECT_EQ(RoundHalfEven(13.5), 14.0);
    EXPECT_EQ(RoundHalfEven(62.5), 62.0);
    EXPECT_EQ(RoundHalfEven(-2.5), -2.0);
    EXPECT_EQ(RoundHalfEven(2.4999), 2.0);
    EXPECT_EQ(RoundHalfEvenClamped<std::int16_t>(1e9), 32767);
    EXPECT_EQ(RoundHalfEvenClamped<std::int16_t>(-1e9), -32768);
    EXPECT_EQ(RoundHalfEvenClamped<std::int32_t>(std::nan("")), 0);
    EXPECT_EQ(TruncateClamped<std::uint16_t>(-3.0), 0);
    // Against the processor's rounding to nearest: halves, their neighbours,
    // and the same scaled to tiny fractions and beyond 2^52.
    std::mt19937_64 random(3);
    for (int k = 0; k < 20000; ++k) {
        const double half = static_cast<double>(static_cast<std::int64_t>(random() % 200000) - 100000) + 0.5;
        for (const double value : {half, std::nextafter(half, 0.0), std::nextafter(half, 1e9),
                                   std::ldexp(half, static_cast<int>(random() % 120) - 60)})
            ASSERT_EQ(RoundHalfEven(value), std::nearbyint(value)) << value;
    }
    EXPECT_EQ(RoundHalfEven(HUGE_VAL), HUGE_VAL);
    EXPECT_TRUE(std::isnan(RoundHalfEven(std::nan(""))));
}

TEST(Numbers, SineAndDSpacing)
{
    EXPECT_NEAR(SineOfDegrees(30.0), 0.5, 1e-15);
    EXPECT_NEAR(DSpacingFromTwoTheta(1.5406, 20.0), 4.43598, 5e-6);
}

TEST(Elements, TableHoldsThe112Symbols)
{
    EXPECT_EQ(ElementSymbol(0), "?");
    EXPECT_EQ(ElementSymbol(1), "H");
    EXPECT_EQ(ElementSymbol(26), "Fe");
    EXPECT_EQ(ElementSymbol(92), "U");
    EXPECT_EQ(ElementSymbol(103), "Lr");
    EXPECT_EQ(ElementSymbol(104), "?");
    EXPECT_EQ(ElementSymbol(108), "D");
    EXPECT_EQ(ElementSymbol(111), "A");
    EXPECT_EQ(ElementSymbol(112), "?");
    EXPECT_EQ(ElementNumber("Ln"), 110);
    EXPECT_EQ(ElementNumber("Xx"), -1);
}

TEST(Exceptions, AssertionMessageNamesTheSourceFileAndLine)
{
    try {
        NORRVIK_ASSERT(false, "Assertion failure");
        FAIL();
    } catch (const EAssertionFailed& e) {
        const int line = __LINE__ - 3;
        EXPECT_EQ(std::string(e.what()), Format("Assertion failure (CommonTests.cpp, line %d)", line));
    }
    EXPECT_EQ(Format("99-000-%4.4d", 13), "99-000-0013");
    EXPECT_EQ(Format("99-000-%4.4d", 12345), "99-000-12345");
}

TEST(Files, SourceFilesAreFoundWithoutRegardToCase)
{
    test::TempFolder folder;
    test::WriteFile(folder.Path() / "pddatabs.dat", std::string("abc"));
    EXPECT_EQ(FindSourceFile(folder.Path(), "PDDATABS.DAT").filename(), "pddatabs.dat");
    EXPECT_TRUE(TSourceFolder(folder.Path()).Find("PdDatabs.Dat"));
    EXPECT_FALSE(TSourceFolder(folder.Path()).Find("UPLOG.PDF"));
    EXPECT_EQ(FindSourceFile(folder.Path(), "UPLOG.PDF").filename(), "UPLOG.PDF");
    EXPECT_EQ(ReadFileBytes(folder.Path() / "pddatabs.dat").size(), 3u);
    try {
        ReadFileBytes(folder.Path() / "missing.dat");
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_NE(std::string(e.what()).find("missing.dat"), std::string::npos);
    }
    EXPECT_EQ(IncludeTrailingPathDelimiter("/data/db"), "/data/db/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/data/db/"), "/data/db/");
}

// Reads going forward with gaps, back and far ahead, near the end and at
// the limit, against the file's own bytes; a read the block cannot serve is
// left to the caller, never answered short.
TEST(ReadAhead, ServesExactlyTheFileBytesOrLeavesTheRead)
{
    test::TempFolder folder;
    std::string content(5000, '\0');
    std::minstd_rand random(3);
    for (char& c : content)
        c = static_cast<char>(random());
    test::WriteFile(folder.Path() / "data", content);
    const TFileHandle file = TFileHandle::Open(folder.Path() / "data", FileOpening::Read);
    TReadAhead readAhead(256);
    std::uint64_t offset = 0;
    int served = 0;
    for (int n = 0; n < 2000; ++n) {
        const std::uint64_t jump = random() % 8 == 0 ? random() % 5000 : offset + random() % 40;
        const std::size_t size = std::min<std::size_t>(random() % 300, 5000 - std::min<std::uint64_t>(jump, 5000));
        offset = std::min<std::uint64_t>(jump, 5000 - size);
        const std::uint64_t limit = random() % 4 == 0 ? offset + size + random() % 100 : 5000;
        std::vector<std::uint8_t> bytes(size, 0xEE);
        if (readAhead.Read(file, offset, bytes, std::min<std::uint64_t>(limit, 5000))) {
            ++served;
            ASSERT_EQ(std::string(bytes.begin(), bytes.end()), content.substr(offset, size)) << "read " << n;
        }
        offset += size;
    }
    EXPECT_GT(served, 1000);
}

// Every task runs once, on two threads where the machine has two
// processors, and what a task raises stays in that task's slot.
TEST(Parallel, EveryTaskRunsOnceAndKeepsItsOwnFailure)
{
    for (std::size_t count : {0u, 1u, 2u, 7u, 200u}) {
        std::vector<int> runs(count, 0);
        std::vector<std::thread::id> threads(count);
        const std::vector<std::exception_ptr> failures = RunTasksSideBySide(count, [&](std::size_t k) {
            ++runs[k];
            threads[k] = std::this_thread::get_id();
            if (k % 3 == 1)
                throw Exception(Format("task %zu", k));
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        });
        ASSERT_EQ(failures.size(), count);
        for (std::size_t k = 0; k < count; ++k) {
            EXPECT_EQ(runs[k], 1);
            EXPECT_EQ(failures[k] != nullptr, k % 3 == 1) << k;
            if (failures[k]) {
                try {
                    std::rethrow_exception(failures[k]);
                } catch (const Exception& e) {
                    EXPECT_EQ(std::string(e.what()), Format("task %zu", k));
                }
            }
        }
        if (count == 200 && std::thread::hardware_concurrency() > 1) {
            EXPECT_NE(std::count(threads.begin(), threads.end(), std::this_thread::get_id()), 200);
        }
    }
}
