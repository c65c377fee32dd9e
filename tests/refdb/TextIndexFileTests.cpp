// Text index files: the count and entry lines, parsing with its error
// messages, the sort order (including the order of equal texts) and the
// binary search over a sorted index.
#include "refdb/Indexes.h"

#include "common/Exceptions.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace norrvik {
namespace {

const std::string kPath = "/db/Name.PDB";

TIndexes Entries(const std::vector<std::string>& texts)
{
    TIndexes entries;
    std::int32_t number = 0;
    for (const std::string& text : texts)
        entries.push_back({text, ++number});
    return entries;
}

std::vector<std::int32_t> RecordNumbers(const TIndexes& entries)
{
    std::vector<std::int32_t> numbers;
    for (const TIndexedString& entry : entries)
        numbers.push_back(entry.RecordNumber);
    return numbers;
}

std::string ErrorOf(std::string_view content)
{
    try {
        ParseTextIndex(content, kPath);
    } catch (const Exception& e) {
        return e.what();
    }
    return "no error";
}

// The sort as the index files define it, written out literally and
// recursively, to compare the order of equal texts against.
bool ReferenceLess(const std::string& a, const std::string& b)
{
    for (std::size_t k = 0; k < a.size() && k < b.size(); ++k)
        if (a[k] != b[k])
            return static_cast<unsigned char>(a[k]) < static_cast<unsigned char>(b[k]);
    return a.size() < b.size();
}

void ReferenceSort(TIndexes& a, long lo, long hi)
{
    auto at = [&](long p) -> TIndexedString& { return a[static_cast<std::size_t>(p)]; };
    if (hi - lo < 10) {
        for (long i = lo; i <= hi - 1; ++i)
            for (long j = i + 1; j <= hi; ++j)
                if (!ReferenceLess(at(i).Text, at(j).Text))
                    std::swap(at(i), at(j));
        return;
    }
    const std::string pivot = at((lo + hi) / 2).Text;
    long i = lo;
    long j = hi;
    do {
        while (ReferenceLess(at(i).Text, pivot))
            ++i;
        while (ReferenceLess(pivot, at(j).Text))
            --j;
        if (j >= i) {
            std::swap(at(i), at(j));
            ++i;
            --j;
        }
    } while (j > i);
    ReferenceSort(a, lo, j);
    ReferenceSort(a, i, hi);
}

TEST(TextIndexFormat, CountLineIsRightAlignedInSevenCharacters)
{
    EXPECT_EQ(FormatIndexCount(0), "      0");
    EXPECT_EQ(FormatIndexCount(12), "     12");
    EXPECT_EQ(FormatIndexCount(1234567), "1234567");
    EXPECT_EQ(FormatTextIndex({}), "      0\r\n");
    EXPECT_EQ(FormatIndexEntryLine(3, "BLUE"), "3 BLUE\r\n");
    EXPECT_EQ(FormatIndexEntryLine(100000, "A B  C"), "100000 A B  C\r\n");

    TIndexes twelve;
    for (std::int32_t n = 1; n <= 12; ++n)
        twelve.push_back({"X", n});
    const std::string content = FormatTextIndex(twelve);
    EXPECT_EQ(content.substr(0, 9), "     12\r\n");
    EXPECT_EQ(content.substr(9, 5), "1 X\r\n");
    EXPECT_EQ(content.substr(content.size() - 6), "12 X\r\n");
}

TEST(TextIndexParse, ReadsCountAndEntriesWithEitherLineEnd)
{
    const TIndexes parsed =
        ParseTextIndex("      3\r\n2 GREEN\r\n  15 DARK  RED \t\r\n7\n9 extra\n", kPath);
    ASSERT_EQ(parsed.size(), 3u);
    EXPECT_EQ(parsed[0].RecordNumber, 2);
    EXPECT_EQ(parsed[0].Text, "GREEN");
    // The line is trimmed; inner blanks after the first one stay.
    EXPECT_EQ(parsed[1].RecordNumber, 15);
    EXPECT_EQ(parsed[1].Text, "DARK  RED");
    // A line without a blank: a record number with an empty text.
    EXPECT_EQ(parsed[2].RecordNumber, 7);
    EXPECT_EQ(parsed[2].Text, "");

    EXPECT_TRUE(ParseTextIndex("      0\r\n", kPath).empty());
    EXPECT_TRUE(ParseTextIndex("0", kPath).empty());

    // What the formatter writes reads back unchanged.
    const TIndexes entries = {{"ALPHA BETA", 3}, {"", 1}, {"\xE9T\xC9", 2}};
    const TIndexes back = ParseTextIndex(FormatTextIndex(entries), kPath);
    ASSERT_EQ(back.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(back[i].Text, entries[i].Text);
        EXPECT_EQ(back[i].RecordNumber, entries[i].RecordNumber);
    }
}

TEST(TextIndexParse, DamagedFilesGiveMessagesNamingTheFile)
{
    const std::string noData = "No data in index file \"/db/Name.PDB\".";
    const std::string bad = "Error in index file /db/Name.PDB";
    EXPECT_EQ(ErrorOf(""), noData);
    EXPECT_EQ(ErrorOf("\r\n1 A\r\n"), noData);
    EXPECT_EQ(ErrorOf("ABC\r\n"), bad);
    EXPECT_EQ(ErrorOf("      \r\n"), bad);
    EXPECT_EQ(ErrorOf("     -1\r\n"), bad);
    EXPECT_EQ(ErrorOf("   12x\r\n"), bad);
    EXPECT_EQ(ErrorOf("99999999999\r\n"), bad);
    EXPECT_EQ(ErrorOf("      2\r\n1 A\r\nX B\r\n"), bad);
    EXPECT_EQ(ErrorOf("      2\r\n1 A\r\n\r\n"), bad);
    // Fewer entry lines than the count says.
    EXPECT_EQ(ErrorOf("      3\r\n1 A\r\n2 B\r\n"), bad);
    // A huge count in a short file is an error, not a huge allocation.
    EXPECT_EQ(ErrorOf("2000000000\r\n1 A\r\n"), bad);
}

TEST(TextIndexSort, UpperCasesAndOrdersBytesWithPrefixesFirst)
{
    TIndexes entries = Entries({"beta", "Alpha", "alpha"});
    SortIndexes(entries);
    // The exchange step also exchanges equal texts.
    EXPECT_EQ(FormatTextIndex(entries), "      3\r\n3 ALPHA\r\n2 ALPHA\r\n1 BETA\r\n");

    entries = Entries({"abcd", "ABC", "ab", "\xC4\x42", "Zz", "a-b", "\xE4"});
    SortIndexes(entries);
    std::vector<std::string> texts;
    for (const TIndexedString& entry : entries)
        texts.push_back(entry.Text);
    // Only a..z are upper-cased; bytes above 127 sort after the letters.
    EXPECT_EQ(texts, (std::vector<std::string>{"A-B", "AB", "ABC", "ABCD", "ZZ", "\xC4\x42",
                                               "\xE4"}));
}

TEST(TextIndexSort, PartitioningLeavesEqualTextsInTheDefinedOrder)
{
    // Every run is checked against the literal procedure: ranges of 11 and
    // more entries go through the partition step, many texts are equal.
    std::mt19937 random(12345);
    for (int size : {1, 2, 10, 11, 12, 25, 26, 57, 200, 1000}) {
        for (int alphabet : {1, 2, 3, 7, 50}) {
            TIndexes entries;
            for (int n = 1; n <= size; ++n) {
                std::string text(1 + random() % 3, 'A');
                for (char& c : text)
                    c = static_cast<char>('A' + random() % static_cast<unsigned>(alphabet));
                entries.push_back({text, n});
            }
            TIndexes expected = entries;
            ReferenceSort(expected, 0, size - 1);
            QuickSortIndexes(entries, 0, size - 1);
            EXPECT_EQ(RecordNumbers(entries), RecordNumbers(expected))
                << "size " << size << ", alphabet " << alphabet;
        }
    }

    // Twenty-five equal texts: the order of record numbers is the
    // procedure's own, not the input order.
    TIndexes equal;
    for (std::int32_t n = 1; n <= 25; ++n)
        equal.push_back({"SAME", n});
    TIndexes expected = equal;
    ReferenceSort(expected, 0, 24);
    QuickSortIndexes(equal, 0, 24);
    EXPECT_EQ(RecordNumbers(equal), RecordNumbers(expected));
    EXPECT_NE(RecordNumbers(equal)[0], 1);

    // A sub-range leaves the rest alone; an empty range does nothing.
    TIndexes part = Entries({"D", "C", "B", "A"});
    QuickSortIndexes(part, 1, 2);
    EXPECT_EQ(RecordNumbers(part), (std::vector<std::int32_t>{1, 3, 2, 4}));
    TIndexes none;
    SortIndexes(none);
    EXPECT_TRUE(none.empty());
}

TEST(TextIndexSort, LargeIndexEndsAscending)
{
    std::mt19937 random(7);
    TIndexes entries;
    for (std::int32_t n = 1; n <= 100000; ++n)
        entries.push_back({std::to_string(random() % 50000), n});
    SortIndexes(entries);
    for (std::size_t i = 1; i < entries.size(); ++i)
        ASSERT_FALSE(IndexTextLess(entries[i].Text, entries[i - 1].Text)) << i;
}

TEST(FindInIndexTest, FindsTheFirstOfEqualKeysAfterUpperCasingTheKey)
{
    TIndexes entries = {{"000010001", 4}, {"000020318", 9}, {"000020318", 2},
                        {"000020318", 7}, {"ABC", 5},       {"QUARTZ", 1}};
    std::int32_t position = -1;
    EXPECT_EQ(FindInIndex(entries, position, "000020318"), 9);
    EXPECT_EQ(position, 1);
    EXPECT_EQ(FindInIndex(entries, position, "quartz"), 1);
    EXPECT_EQ(position, 5);
    EXPECT_EQ(FindInIndex(entries, position, "000010001"), 4);
    EXPECT_EQ(position, 0);

    auto errorOf = [](const TIndexes& index, const std::string& key) -> std::string {
        std::int32_t p = 0;
        try {
            FindInIndex(index, p, key);
        } catch (const Exception& e) {
            return e.what();
        }
        return "no error";
    };
    EXPECT_EQ(errorOf({}, "000020318"), "Indexes not read");
    // The caller removes the dashes; the key is reported as given.
    EXPECT_EQ(errorOf(entries, "00-002-0318"),
              "No pattern found with \"Reference code 00-002-0318\".");
    // Keys stored in lower case are never matched.
    EXPECT_EQ(errorOf({{"abc", 1}}, "abc"), "No pattern found with \"Reference code abc\".");
}

TEST(FindInIndexTest, EveryPresentKeyIsFoundAndAbsentKeysAreNot)
{
    // Keys "001", "003", ... are present; "000", "002", ... lie below,
    // between and above them.
    auto Key = [](int n) {
        std::string key = std::to_string(n);
        return std::string(3 - key.size(), '0') + key;
    };
    for (int size = 1; size <= 40; ++size) {
        TIndexes entries;
        for (int n = 0; n < size; ++n)
            entries.push_back({Key(2 * n + 1), 100 + n});
        for (int n = 0; n < size; ++n) {
            std::int32_t position = -1;
            EXPECT_EQ(FindInIndex(entries, position, Key(2 * n + 1)), 100 + n);
            EXPECT_EQ(position, n);
        }
        for (int n = 0; n <= size; ++n) {
            std::int32_t position = -1;
            EXPECT_THROW(FindInIndex(entries, position, Key(2 * n)), Exception)
                << "size " << size << ", gap " << n;
        }
    }
}

} // namespace
} // namespace norrvik
