// Text index files: count and entry lines, parsing with its messages, the
// sort order (the order of equal texts included) and the binary search.
#include "refdb/Indexes.h"

#include "common/Exceptions.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace norrvik {
namespace {

const std::string kPath = "/db/Name.PDB";

template <typename Action>
std::string MessageOf(Action action)
{
    try {
        action();
    } catch (const Exception& e) {
        return e.what();
    }
    return "no error";
}

std::string ParseError(std::string_view content)
{
    return MessageOf([&] { ParseTextIndex(content, kPath); });
}

std::vector<std::int32_t> RecordNumbers(const TIndexes& entries)
{
    std::vector<std::int32_t> numbers;
    for (const TIndexedString& entry : entries)
        numbers.push_back(entry.RecordNumber);
    return numbers;
}

// The sort procedure of the index files written out literally (recursive,
// comparing texts as unsigned bytes), to check the order of equal texts.
bool ReferenceLess(const std::string& a, const std::string& b)
{
    for (std::size_t k = 0; k < a.size() && k < b.size(); ++k)
        if (a[k] != b[k])
            return static_cast<unsigned char>(a[k]) < static_cast<unsigned char>(b[k]);
    return a.size() < b.size();
}

void ReferenceSort(std::vector<TIndexedString>& a, long lo, long hi)
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
        if (j >= i)
            std::swap(at(i++), at(j--));
    } while (j > i);
    ReferenceSort(a, lo, j);
    ReferenceSort(a, i, hi);
}

TEST(TextIndexFormat, CountLineRightAlignedInSevenThenOneLinePerEntry)
{
    EXPECT_EQ(FormatIndexCount(0), "      0");
    EXPECT_EQ(FormatIndexCount(12), "     12");
    EXPECT_EQ(FormatTextIndex({}), "      0\r\n");
    EXPECT_EQ(FormatIndexEntryLine(100000, "A B  C"), "100000 A B  C\r\n");
    const TIndexes twelve(12, TIndexedString{"X", 3});
    const std::string content = FormatTextIndex(twelve);
    EXPECT_EQ(content.substr(0, 14), "     12\r\n3 X\r\n");
    EXPECT_EQ(content.size(), 9u + 12 * 5);
}

TEST(TextIndexParse, ReadsCountAndEntriesWithEitherLineEnd)
{
    const TIndexes parsed =
        ParseTextIndex("      3\r\n2 GREEN\r\n  15 DARK  RED \t\r\n7\n9 extra\n", kPath);
    ASSERT_EQ(parsed.size(), 3u);
    EXPECT_EQ(RecordNumbers(parsed), (std::vector<std::int32_t>{2, 15, 7}));
    EXPECT_EQ(parsed[0].Text, "GREEN");
    EXPECT_EQ(parsed[1].Text, "DARK  RED"); // line trimmed, inner blanks kept
    EXPECT_EQ(parsed[2].Text, "");          // no blank: a number and no text
    EXPECT_TRUE(ParseTextIndex("      0", kPath).empty());

    const TIndexes entries = {{"ALPHA BETA", 3}, {"", 1}, {"\xE9T\xC9", 2}};
    const TIndexes back = ParseTextIndex(FormatTextIndex(entries), kPath);
    ASSERT_EQ(back.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(back[i].Text, entries[i].Text);
    EXPECT_EQ(RecordNumbers(back), RecordNumbers(entries));
}

TEST(TextIndexParse, DamagedFilesGiveMessagesNamingTheFile)
{
    const std::string noData = "No data in index file \"/db/Name.PDB\".";
    const std::string bad = "Error in index file /db/Name.PDB";
    EXPECT_EQ(ParseError(""), noData);
    EXPECT_EQ(ParseError("\r\n1 A\r\n"), noData);
    for (const char* content :
         {"ABC\r\n", "      \r\n", "     -1\r\n", "   12x\r\n", "99999999999\r\n",
          "      2\r\n1 A\r\nX B\r\n", "      2\r\n1 A\r\n\r\n",
          "      3\r\n1 A\r\n2 B\r\n",  // fewer entry lines than counted
          "2000000000\r\n1 A\r\n"})    // a huge count is no huge allocation
        EXPECT_EQ(ParseError(content), bad) << content;
}

TEST(TextIndexSort, UpperCasesAndOrdersBytesWithPrefixesFirst)
{
    TIndexes entries = {{"beta", 1}, {"Alpha", 2}, {"alpha", 3}};
    SortIndexes(entries);
    // The exchange step also exchanges equal texts.
    EXPECT_EQ(FormatTextIndex(entries), "      3\r\n3 ALPHA\r\n2 ALPHA\r\n1 BETA\r\n");

    entries = {{"abcd", 1}, {"ABC", 2}, {"ab", 3}, {"\xC4\x42", 4}, {"Zz", 5}, {"a-b", 6}, {"\xE4", 7}};
    SortIndexes(entries);
    std::vector<std::string> texts;
    for (const TIndexedString& entry : entries)
        texts.push_back(entry.Text);
    // Only a..z change; bytes above 127 sort after the letters.
    EXPECT_EQ(texts, (std::vector<std::string>{"A-B", "AB", "ABC", "ABCD", "ZZ", "\xC4\x42", "\xE4"}));
}

TEST(TextIndexSort, PartitioningLeavesEqualTextsInTheDefinedOrder)
{
    // Ranges of 11 and more entries are partitioned; many texts are equal.
    std::mt19937 random(12345);
    for (int size : {2, 10, 11, 25, 26, 57, 1000}) {
        for (unsigned alphabet : {1u, 2u, 3u, 50u}) {
            TIndexes entries;
            for (int n = 1; n <= size; ++n) {
                std::string text(1 + random() % 3, 'A');
                for (char& c : text)
                    c = static_cast<char>('A' + random() % alphabet);
                entries.push_back({text, n});
            }
            TIndexes expected = entries;
            ReferenceSort(expected, 0, size - 1);
            QuickSortIndexes(entries, 0, size - 1);
            EXPECT_EQ(RecordNumbers(entries), RecordNumbers(expected)) << size << " " << alphabet;
        }
    }
    // A sub-range leaves the rest alone.
    TIndexes part = {{"D", 1}, {"C", 2}, {"B", 3}, {"A", 4}};
    QuickSortIndexes(part, 1, 2);
    EXPECT_EQ(RecordNumbers(part), (std::vector<std::int32_t>{1, 3, 2, 4}));
}

TEST(FindInIndexTest, FirstOfEqualKeysAfterUpperCasingTheKeyOnly)
{
    const TIndexes entries = {{"000010001", 4}, {"000020318", 9}, {"000020318", 2},
                              {"000020318", 7}, {"ABC", 5},       {"QUARTZ", 1}};
    std::int32_t position = -1;
    EXPECT_EQ(FindInIndex(entries, position, "000020318"), 9);
    EXPECT_EQ(position, 1);
    EXPECT_EQ(FindInIndex(entries, position, "quartz"), 1);
    EXPECT_EQ(position, 5);

    auto error = [&](const TIndexes& index, const std::string& key) {
        return MessageOf([&] { FindInIndex(index, position, key); });
    };
    EXPECT_EQ(error({}, "000020318"), "Indexes not read");
    // Dashes are the caller's to remove; the key is reported as given.
    EXPECT_EQ(error(entries, "00-002-0318"), "No pattern found with \"Reference code 00-002-0318\".");
    EXPECT_EQ(error({{"abc", 1}}, "abc"), "No pattern found with \"Reference code abc\".");
}

TEST(FindInIndexTest, EveryPresentKeyIsFoundAndNoAbsentOne)
{
    // Keys "001", "003", ... are present; "000", "002", ... lie around them.
    auto key = [](int n) { return std::string(n < 10 ? "00" : "0") + std::to_string(n); };
    for (int size = 1; size <= 40; ++size) {
        TIndexes entries;
        for (int n = 0; n < size; ++n)
            entries.push_back({key(2 * n + 1), 100 + n});
        std::int32_t position = -1;
        for (int n = 0; n < size; ++n) {
            EXPECT_EQ(FindInIndex(entries, position, key(2 * n + 1)), 100 + n);
            EXPECT_EQ(position, n);
        }
        for (int n = 0; n <= size; ++n)
            EXPECT_THROW(FindInIndex(entries, position, key(2 * n)), Exception) << size << " " << n;
    }
}

} // namespace
} // namespace norrvik
