// Tests of the in-memory side of the text indexes: the sort of held entries
// must leave exactly the order the index files' own sort leaves, and an
// appended entry is held only when the file would read it back as it is.
#include "refdb/TextIndexCache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace norrvik {
namespace {

// Few distinct texts in several letter cases and prefixes: many equal texts.
TIndexes RandomEntries(std::mt19937& random, std::size_t count, std::int32_t firstNumber)
{
    static const std::vector<std::string> texts = {"a", "A", "ab", "AB", "b", "abc", "B", "", "z z",
                                                   "Z\tZ", "quartz", "QUARTZ"};
    TIndexes entries;
    for (std::size_t n = 0; n < count; ++n)
        entries.push_back({texts[random() % texts.size()] + (random() % 4 == 0 ? std::to_string(random() % 50) : ""),
                           firstNumber + static_cast<std::int32_t>(n)});
    return entries;
}

void ExpectSameOrder(const TIndexes& expected, const TIndexes& actual)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t n = 0; n < expected.size(); ++n) {
        EXPECT_EQ(actual[n].Text, expected[n].Text) << n;
        EXPECT_EQ(actual[n].RecordNumber, expected[n].RecordNumber) << n;
    }
}

TEST(TextIndexCacheTest, SortOfAppendedEntriesMatchesTheFileSort)
{
    std::mt19937 random(42);
    for (const std::size_t sortedSize : {0u, 1u, 5u, 9u, 10u, 11u, 25u, 200u, 1500u}) {
        for (const std::size_t appendedSize : {0u, 1u, 3u, 12u, 60u}) {
            SCOPED_TRACE(std::to_string(sortedSize) + " sorted, " + std::to_string(appendedSize) + " appended");
            TIndexes entries = RandomEntries(random, sortedSize, 1);
            SortIndexes(entries);
            const TIndexes appended = RandomEntries(random, appendedSize, 100000);
            entries.insert(entries.end(), appended.begin(), appended.end());
            TIndexes expected = entries;
            SortIndexes(expected);
            TIndexes withGroups = entries;
            SortAppendedIndexes(entries, sortedSize);
            ExpectSameOrder(expected, entries);
            // Sorting twice more, the second time from the groups the first left.
            std::vector<std::uint32_t> groups;
            SortAppendedIndexes(withGroups, sortedSize, &groups);
            SortAppendedIndexes(withGroups, withGroups.size(), &groups);
            SortIndexes(expected);
            ExpectSameOrder(expected, withGroups);
        }
    }
    // Distinct texts: the appended entries are merged into place.
    TIndexes distinct = {{"B", 1}, {"D", 2}, {"F", 3}, {"e", 4}, {"a", 5}, {"g", 6}};
    EXPECT_TRUE(SortAppendedIndexes(distinct, 3));
    ExpectSameOrder({{"A", 5}, {"B", 1}, {"D", 2}, {"E", 4}, {"F", 3}, {"G", 6}}, distinct);
    EXPECT_FALSE(SortAppendedIndexes(distinct, 6));
    TIndexes unknownOrder = {{"c", 1}, {"a", 2}, {"b", 3}};
    EXPECT_TRUE(SortAppendedIndexes(unknownOrder, 0));
    ExpectSameOrder({{"A", 2}, {"B", 3}, {"C", 1}}, unknownOrder);
    // Two equal texts are exchanged by every sort: the order changes each time.
    TIndexes equal = {{"A", 1}, {"A", 2}};
    EXPECT_TRUE(SortAppendedIndexes(equal, 2));
    ExpectSameOrder({{"A", 2}, {"A", 1}}, equal);

    // A first part that is not in order after all falls back to the full sort.
    TIndexes unsorted = RandomEntries(random, 40, 1);
    TIndexes expected = unsorted;
    SortIndexes(expected);
    SortAppendedIndexes(unsorted, 40);
    ExpectSameOrder(expected, unsorted);
}

TEST(TextIndexCacheTest, GenericQuickSortMakesTheSameExchanges)
{
    std::mt19937 random(7);
    for (const std::size_t size : {2u, 10u, 11u, 30u, 700u}) {
        TIndexes entries = RandomEntries(random, size, 1);
        TIndexes expected = entries;
        QuickSortIndexes(expected, 0, static_cast<std::ptrdiff_t>(size) - 1);
        IndexQuickSort(entries, [](const TIndexedString& a, const TIndexedString& b) {
            return IndexTextLess(a.Text, b.Text);
        });
        ExpectSameOrder(expected, entries);
    }
}

// The fast quicksort of ranked keys against the literal one, exchange for
// exchange (the payload of each key is its first position): sorted arrays
// with many equal ranks and one to three values appended, or one value put
// at every position, and arrays in no order at all.
TEST(TextIndexCacheTest, RankedQuickSortMakesTheExchangesOfTheLiteralOne)
{
    const auto expectSame = [](std::vector<std::uint64_t> keys, const std::string& what) {
        for (std::size_t n = 0; n < keys.size(); ++n)
            keys[n] = (keys[n] << 32) | n;
        std::vector<std::uint64_t> expected = keys;
        IndexQuickSort(expected, [](std::uint64_t a, std::uint64_t b) { return (a >> 32) < (b >> 32); });
        QuickSortRankedKeys(keys);
        ASSERT_EQ(keys, expected) << what;
    };
    for (unsigned seed = 1; seed <= 150; ++seed) {
        std::mt19937 random(seed);
        const std::size_t size = random() % (seed % 10 == 0 ? 2000 : 120);
        const std::uint64_t ranks = 1 + random() % (seed % 3 == 0 ? 4 : size / 2 + 2);
        std::vector<std::uint64_t> sorted(size);
        for (std::uint64_t& rank : sorted)
            rank = random() % ranks;
        std::vector<std::uint64_t> unordered = sorted;
        std::sort(sorted.begin(), sorted.end());
        expectSame(unordered, "unordered, seed " + std::to_string(seed));
        std::vector<std::uint64_t> appended = sorted;
        for (std::size_t n = 0; n <= random() % 3; ++n)
            appended.push_back(random() % (ranks + 1));
        expectSame(appended, "appended, seed " + std::to_string(seed));
        if (size > 150)
            continue;
        for (std::size_t at = 0; at <= size; ++at) {
            std::vector<std::uint64_t> inserted = sorted;
            inserted.insert(inserted.begin() + static_cast<std::ptrdiff_t>(at), random() % (ranks + 1));
            expectSame(inserted, "inserted at " + std::to_string(at) + ", seed " + std::to_string(seed));
        }
    }
}

TEST(TextIndexCacheTest, AppendedEntryIsHeldOnlyWhenItReadsBackAsWritten)
{
    const auto plain = ReadBackIndexEntry(7, "Red");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->Text, "Red");
    EXPECT_EQ(plain->RecordNumber, 7);
    // Blanks and control characters at the end go when the line is read.
    EXPECT_EQ(ReadBackIndexEntry(7, "Red\t ")->Text, "Red");
    // Leading blanks stay part of the text after the separating blank.
    EXPECT_EQ(ReadBackIndexEntry(7, "  Red")->Text, "  Red");
    EXPECT_FALSE(ReadBackIndexEntry(7, "two\nlines"));
    EXPECT_FALSE(ReadBackIndexEntry(7, "two\r\n8 lines"));

    const std::string exact = "      2\r\n1 A\r\n2 B\r\n";
    ASSERT_TRUE(ParseExactTextIndex(exact, "x"));
    EXPECT_FALSE(ParseExactTextIndex("      2\n1 A\n2 B\n", "x"));        // other line ends
    EXPECT_FALSE(ParseExactTextIndex(exact + "3 C\r\n", "x"));             // beyond the count
    EXPECT_FALSE(ParseExactTextIndex("bad\r\n", "x"));
}

} // namespace
} // namespace norrvik
