// Every search through the index files against a brute-force scan of the
// records, on random databases (equal texts, 8-bit texts, letter cases,
// prefixes at the ends of the indexes, indexes out of order or with bare
// line feeds), read in place in blocks of two sizes or held whole, the browser's
// list ordered through the indexes, and that nothing in the folder changes.
#include "refdb/IndexSearch.h"
#include "refdb/PatternList.h"

#include "StoreTestPatterns.h"
#include "common/FolderLock.h"
#include "common/Format.h"
#include "common/Text.h"
#include "refdb/ReferenceCodes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>

namespace norrvik {
namespace {

using test::TempFolder;

// 'Z' + 1 and 0xC9/0xE9 (É/é in Windows-1252) test the byte order around
// the letters; equal texts come from the small pool.
const std::vector<std::string> kWords = {"alpha", "ALPHA", "Alp", "beta", "\xC9tain", "\xE9tain", "zeta", "Z[",
                                         "quartz", "a", "Quartz low", "\xFF"};

unsigned Pick(std::mt19937& random, std::size_t count)
{
    return static_cast<unsigned>(random() % count);
}

std::string RandomText(std::mt19937& random)
{
    std::string text = kWords[Pick(random, kWords.size())];
    if (Pick(random, 3) == 0)
        text += " " + kWords[Pick(random, kWords.size())];
    return text;
}

TReferencePattern RandomPattern(std::mt19937& random, int serial, bool withCode)
{
    TReferencePattern pattern;
    if (withCode)
        pattern.SetReferenceCode(Format("%02d-%03d-%04d", serial % 3, static_cast<int>(Pick(random, 40)), serial));
    for (unsigned n = Pick(random, 4); n > 0; --n)
        pattern.AddName(RandomText(random), static_cast<int>(Pick(random, 2)));
    if (Pick(random, 4) != 0)
        pattern.SetFormulaLine(Pick(random, 2) ? "Si O2" : "Fe2 O3");
    if (Pick(random, 2) == 0)
        pattern.SetReferences({test::ReferenceLine(Pick(random, 2) ? "JACS" : "ZEIT", RandomText(random))});
    for (unsigned n = 1 + Pick(random, 12); n > 0; --n)
        pattern.AddLine(0.8f + static_cast<float>(Pick(random, 9000)) / 1000.0f,
                        static_cast<std::int16_t>(1 + Pick(random, 100)), 0, 0, 0);
    return pattern;
}

enum class Kind { Name, Formula, Code, Author, Journal, Lines };

// How the text index files stand: as the store writes them, out of order
// or with bare line feeds (as another program may leave them).
enum class Layout { AsWritten, Shuffled, LineFeeds };
// How the searcher reads them: in place in blocks of a size (small blocks:
// many probes, lines across blocks), or held whole in memory.
constexpr std::size_t kHeld = 0;

struct Case {
    Kind SearchKind;
    unsigned Seed;
    Layout IndexLayout;
    std::size_t BlockSize;
};

// The texts of one record a brute-force scan compares, as an index holds them.
std::vector<std::string> TextsOf(TReferencePattern& pattern, Kind kind)
{
    std::vector<std::string> texts;
    switch (kind) {
    case Kind::Name:
        for (int i = 0; i < pattern.GetNameCount(); ++i)
            texts.push_back(pattern.GetNameAt(i).Text);
        break;
    case Kind::Formula:
        texts = {pattern.GetFormulaLine(), pattern.GetFirstFormula(), pattern.GetSecondFormula()};
        break;
    case Kind::Code:
        texts = {StoredReferenceCodeText(pattern)};
        break;
    case Kind::Author:
        texts = {pattern.GetAuthors()};
        break;
    case Kind::Journal:
        texts = {pattern.GetJournal()};
        break;
    case Kind::Lines:
        break;
    }
    for (std::string& text : texts)
        text = UpperCaseAscii(CleanIndexText(Trim(text)));
    std::erase(texts, std::string());
    return texts;
}

// The folder's files and their bytes, but for the lock's own file, which a
// reader's shared lock may make.
std::map<std::string, std::vector<std::uint8_t>> FolderBytes(const TempFolder& folder)
{
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        if (entry.path().filename().string() != TFolderLock::FileInFolder())
            files[entry.path().filename().string()] = test::ReadFile(entry.path());
    return files;
}

class IndexSearchTest : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override
    {
        std::mt19937 random(GetParam().Seed);
        auto created = TReferenceDatabase::CreateDatabase(folder_.Text(), "PDF2");
        for (int n = 1; n <= 40; ++n) {
            TReferencePattern pattern = RandomPattern(random, n, true);
            created->AppendPattern(pattern);
        }
        created->Close();
        TReferenceDatabase added; // then user patterns through the add path
        added.SetDatabaseName(folder_.Text());
        added.SetReadOnly(false);
        added.Open();
        for (int n = 1; n <= 25; ++n) {
            TReferencePattern pattern = RandomPattern(random, n, false);
            added.AddPattern(pattern);
        }
        added.Close();
        if (GetParam().IndexLayout != Layout::AsWritten)
            RewriteTextIndexes(random);
        scan_.SetDatabaseName(folder_.Text());
        scan_.Open();
    }

    void RewriteTextIndexes(std::mt19937& random)
    {
        for (const TextIndex index : kRebuildTextIndexOrder) {
            const std::filesystem::path path = folder_.Path() / std::string(TextIndexFileName(index));
            TIndexes entries = ParseTextIndex(test::ReadFileText(path), "");
            if (GetParam().IndexLayout == Layout::Shuffled)
                std::shuffle(entries.begin(), entries.end(), random);
            std::string content = FormatTextIndex(entries);
            if (GetParam().IndexLayout == Layout::LineFeeds)
                std::erase(content, '\r');
            test::WriteFile(path, content);
        }
    }

    std::unique_ptr<TIndexSearch> OpenSearch()
    {
        const std::size_t blockSize = GetParam().BlockSize;
        auto search = std::make_unique<TIndexSearch>(folder_.Text(), blockSize == kHeld ? kIndexBlockSize : blockSize);
        if (blockSize == kHeld)
            for (const TextIndex index : kRebuildTextIndexOrder)
                search->Index(index);
        return search;
    }

    // Prefixes that hit every place of an index: every text and its first
    // characters, keys below and above all texts, the empty prefix.
    std::vector<std::string> Prefixes(Kind kind)
    {
        std::vector<std::string> prefixes = {"", "\x01", "\xFF\xFF", "0", "99-000", "no such"};
        for (std::int32_t n = 1; n <= scan_.PatternCount(); ++n)
            for (const std::string& text : TextsOf(scan_.GetPattern(n), kind))
                for (const std::size_t length : {std::size_t{1}, std::size_t{3}, text.size()})
                    prefixes.push_back(LowerCaseAscii(text.substr(0, length)));
        return prefixes;
    }

    TempFolder folder_;
    TReferenceDatabase scan_;
};

// The records whose texts begin with the prefix, each with its best figure.
std::map<std::int32_t, double> ScanText(TReferenceDatabase& scan, Kind kind, const std::string& prefix)
{
    std::string key = UpperCaseAscii(prefix);
    if (kind == Kind::Code)
        std::erase(key, '-');
    std::map<std::int32_t, double> found;
    for (std::int32_t n = 1; n <= scan.PatternCount(); ++n)
        for (const std::string& text : TextsOf(scan.GetPattern(n), kind))
            if (text.compare(0, key.size(), key) == 0)
                found[n] = std::max(found[n], 100.0 * static_cast<double>(key.size()) / static_cast<double>(text.size()));
    return found;
}

std::map<std::int32_t, double> Found(const std::vector<TSearchHit>& hits)
{
    std::map<std::int32_t, double> found;
    for (const TSearchHit& hit : hits)
        EXPECT_TRUE(found.emplace(hit.RecordNumber, hit.Figure).second) << "record " << hit.RecordNumber << " twice";
    return found;
}

TEST_P(IndexSearchTest, FindsWhatAScanOfTheRecordsFinds)
{
    const Kind kind = GetParam().SearchKind;
    const auto before = FolderBytes(folder_);
    const std::unique_ptr<TIndexSearch> held = OpenSearch();
    TIndexSearch& search = *held;
    if (kind == Kind::Lines) {
        std::mt19937 random(GetParam().Seed);
        for (int round = 0; round < 30; ++round) {
            TReferencePattern& pattern = scan_.GetPattern(1 + static_cast<std::int32_t>(Pick(random, 65)));
            TLinesQuery query{{}, 0.005 + (Pick(random, 50)) / 1000.0};
            for (int i = 0; i < std::min(3, pattern.GetLineCount()); ++i)
                query.DSpacings.push_back(pattern.GetD(i) + ((Pick(random, 21)) - 10.0) / 1000.0);
            std::map<std::int32_t, double> expected;
            for (std::int32_t n = 1; n <= scan_.PatternCount(); ++n)
                if (auto figure = StrongestLinesMatch(
                        ReadStrongestLinesRecord(MakeStrongestLinesRecordOf(scan_.GetPattern(n))), query))
                    expected[n] = *figure;
            const std::vector<TSearchHit> hits = search.SearchLines(query);
            EXPECT_EQ(Found(hits), expected) << "round " << round;
            EXPECT_TRUE(std::is_sorted(hits.begin(), hits.end(),
                                       [](const TSearchHit& a, const TSearchHit& b) { return a.Figure > b.Figure; }));
        }
    } else {
        const auto field = static_cast<SearchField>(kind);
        for (const std::string& prefix : Prefixes(kind)) {
            const std::vector<TSearchHit> hits = search.SearchText(field, prefix);
            EXPECT_EQ(Found(hits), ScanText(scan_, kind, prefix)) << "prefix \"" << prefix << "\"";
            EXPECT_TRUE(std::is_sorted(hits.begin(), hits.end(), [](const TSearchHit& a, const TSearchHit& b) {
                return IndexTextLess(a.Matched, b.Matched);
            })) << prefix;
        }
    }
    if (kind == Kind::Code) { // the look-up of whole codes, which show uses
        for (std::int32_t n = 1; n <= scan_.PatternCount(); ++n)
            EXPECT_EQ(search.FindCode(scan_.GetPattern(n).GetReferenceCode()), n);
        EXPECT_EQ(search.FindCode("99-999-9999"), std::nullopt);
    }
    // The browser's list: by code, the patterns in ascending code order.
    TPatternList list(search);
    ASSERT_EQ(list.RowCount(), 65u);
    for (std::size_t row = 1; row < list.RowCount(); ++row)
        EXPECT_LE(StoredCodeFromDisplayCode(list.SummaryAt(row - 1).Code), StoredCodeFromDisplayCode(list.SummaryAt(row).Code));
    // By names: by each pattern's smallest name, the patterns without one last.
    list.SortBy(PatternColumn::Names, false);
    std::optional<std::string> previous;
    for (std::size_t row = 0; row < list.RowCount(); ++row) {
        std::vector<std::string> names = TextsOf(scan_.GetPattern(list.RecordAt(row)), Kind::Name);
        if (names.empty()) {
            previous = "\xFF\xFF\xFF";
            continue;
        }
        const std::string smallest = *std::min_element(names.begin(), names.end(), IndexTextLess);
        EXPECT_FALSE(previous && IndexTextLess(smallest, *previous)) << "row " << row;
        previous = smallest;
    }
    EXPECT_EQ(FolderBytes(folder_), before);
}

std::vector<Case> AllCases()
{
    std::vector<Case> cases;
    const Case ways[] = {{Kind::Name, 1, Layout::AsWritten, kIndexBlockSize}, {Kind::Name, 2, Layout::AsWritten, 24},
                         {Kind::Name, 3, Layout::AsWritten, kHeld},          {Kind::Name, 4, Layout::Shuffled, kIndexBlockSize},
                         {Kind::Name, 5, Layout::Shuffled, 24},              {Kind::Name, 6, Layout::LineFeeds, 24}};
    for (const Kind kind : {Kind::Name, Kind::Formula, Kind::Code, Kind::Author, Kind::Journal, Kind::Lines})
        for (Case way : ways) {
            way.SearchKind = kind;
            cases.push_back(way);
        }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(RandomDatabases, IndexSearchTest, ::testing::ValuesIn(AllCases()));

} // namespace
} // namespace norrvik
