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

// The held index against the file steps: held as sorted, entries appended,
// sorted once and then several times more without an addition (the sorts
// that are counted and done at once), and held from a file in no order.
TEST(TextIndexCacheTest, HeldIndexSortsAsTheFileSortDoes)
{
    std::mt19937 random(42);
    constexpr TextIndex kIndex = TextIndex::Name;
    for (const std::size_t sortedSize : {0u, 1u, 5u, 9u, 10u, 11u, 25u, 200u, 1500u}) {
        for (const std::size_t appendedSize : {0u, 1u, 3u, 12u, 60u}) {
            SCOPED_TRACE(std::to_string(sortedSize) + " sorted, " + std::to_string(appendedSize) + " appended");
            TIndexes expected = RandomEntries(random, sortedSize, 1);
            SortIndexes(expected);
            TTextIndexCache cache;
            cache.Set(kIndex, expected);
            const TIndexes appended = RandomEntries(random, appendedSize, 100000);
            cache.Append(kIndex, appended);
            expected.insert(expected.end(), appended.begin(), appended.end());
            for (int sorts = 1; sorts <= 4; ++sorts) {
                for (int n = 0; n < sorts; ++n) {
                    ASSERT_TRUE(cache.Sort(kIndex));
                    SortIndexes(expected);
                }
                ExpectSameOrder(expected, cache.Entries(kIndex));
            }
            EXPECT_EQ(cache.FileContent(kIndex), FormatTextIndex(expected));
        }
    }
    // New texts that keep falling into the same gap use up its free ranks:
    // the ranks are spread out again.
    TTextIndexCache cache;
    TIndexes halving = {{"A", 1}, {"A", 2}, {"B", 3}};
    cache.Set(kIndex, halving);
    for (std::int32_t n = 4; n < 80; ++n) {
        const TIndexes added = {{"a" + std::string(static_cast<std::size_t>(n), '0'), n}, {"a0", n}};
        cache.Append(kIndex, added);
        halving.insert(halving.end(), added.begin(), added.end());
        cache.Sort(kIndex);
        SortIndexes(halving);
    }
    ExpectSameOrder(halving, cache.Entries(kIndex));

    // Add after add, each sorted (the marks kept between sorts see the new pairs only).
    TIndexes added = RandomEntries(random, 1500, 1);
    SortIndexes(added);
    cache.Set(kIndex, added);
    for (std::int32_t n = 0; n < 300; ++n) {
        const TIndexes more = RandomEntries(random, 1 + static_cast<std::size_t>(n % 2), 2000 + 2 * n);
        cache.Append(kIndex, more);
        added.insert(added.end(), more.begin(), more.end());
        cache.Sort(kIndex);
        SortIndexes(added);
        if (n % 60 == 0 || n == 299)
            ExpectSameOrder(added, cache.Entries(kIndex));
    }

    TIndexes unordered = RandomEntries(random, 300, 1);
    cache.Set(kIndex, unordered);
    cache.Sort(kIndex);
    SortIndexes(unordered);
    ExpectSameOrder(unordered, cache.Entries(kIndex));
    EXPECT_FALSE(cache.Sort(TextIndex::Color)); // not held

    // Distinct texts in order leave the file as it is; two equal texts are
    // exchanged by every sort, so the order changes each time.
    cache.Set(kIndex, {{"A", 1}, {"B", 2}});
    cache.Sort(kIndex);
    EXPECT_FALSE(cache.Changed(kIndex));
    cache.Set(kIndex, {{"A", 1}, {"A", 2}});
    cache.Sort(kIndex);
    EXPECT_TRUE(cache.Changed(kIndex));
    ExpectSameOrder({{"A", 2}, {"A", 1}}, cache.Entries(kIndex));
    cache.MarkWritten(kIndex);
    cache.Sort(kIndex);
    cache.Sort(kIndex);
    EXPECT_TRUE(cache.Changed(kIndex)); // twice exchanged: as it was, but written anew
    ExpectSameOrder({{"A", 2}, {"A", 1}}, cache.Entries(kIndex));
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
// at every position, arrays in no order at all, and add after add with the
// marks kept from sort to sort, also where every rank differs.
TEST(TextIndexCacheTest, RankedQuickSortMakesTheExchangesOfTheLiteralOne)
{
    const auto literal = [](std::vector<std::uint64_t>& keys) {
        IndexQuickSort(keys, [](std::uint64_t a, std::uint64_t b) { return (a >> 32) < (b >> 32); });
    };
    const auto expectSame = [&literal](std::vector<std::uint64_t> keys, const std::string& what) {
        for (std::size_t n = 0; n < keys.size(); ++n)
            keys[n] = (keys[n] << 32) | n;
        std::vector<std::uint64_t> expected = keys;
        literal(expected);
        QuickSortRankedKeys(keys);
        ASSERT_EQ(keys, expected) << what;
    };
    // Runs of every length up to a few hundred (odd ranks left free); each
    // add of a run's rank, of a new one between runs or beyond either end.
    for (unsigned seed = 1; seed <= 8; ++seed) {
        std::mt19937 random(seed);
        std::vector<std::uint64_t> keys;
        for (std::uint64_t rank = 2; keys.size() < 3000; rank += 2)
            keys.insert(keys.end(), 1 + (random() % 5 == 0 ? random() % 300 : random() % 14), rank << 32);
        const std::uint64_t last = (keys.back() >> 32) + 1;
        for (std::size_t n = 0; n < keys.size(); ++n)
            keys[n] |= n;
        std::vector<std::uint64_t> expected = keys;
        TRankedKeyMarks marks;
        for (int add = 0; add < 40; ++add) {
            const std::uint64_t rank = add % 7 == 0 ? (add % 2 == 0 ? 1 : last) : 1 + random() % last;
            keys.push_back((rank << 32) | keys.size());
            expected.push_back(keys.back());
            literal(expected);
            QuickSortRankedKeys(keys, marks);
            ASSERT_EQ(keys, expected) << "add " << add << ", seed " << seed;
        }
    }
    // Every rank different (as reference codes): add after add of a new
    // rank, now and then three at once, and last one of a rank held already.
    for (unsigned seed = 1; seed <= 6; ++seed) {
        std::mt19937 random(seed);
        std::vector<std::uint64_t> keys;
        for (std::uint64_t n = 0; n < 3000; ++n)
            keys.push_back(((1000 * n + 1000) << 32) | n);
        std::vector<std::uint64_t> expected = keys;
        TRankedKeyMarks marks;
        for (int add = 0; add < 40; ++add) {
            for (int k = 0; k <= (add % 5 == 0 ? 2 : 0); ++k) {
                const std::uint64_t rank = add == 39 ? 1000 * (1 + random() % 3000) : random() % 3002000;
                keys.push_back((rank << 32) | keys.size());
                expected.push_back(keys.back());
            }
            literal(expected);
            QuickSortRankedKeys(keys, marks);
            ASSERT_EQ(keys, expected) << "add " << add << ", seed " << seed;
        }
    }
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
