// Searching a target database through its index files.
#include "refdb/IndexSearch.h"

#include "common/Exceptions.h"
#include "common/Files.h"
#include "common/Text.h"
#include "refdb/IndexSearchInPlace.h"
#include "refdb/RecordFile.h"
#include "refdb/ReferenceCodes.h"

#include <algorithm>
#include <cmath>

namespace norrvik {

namespace {

bool EntryViewLess(const TIndexEntryView& a, const TIndexEntryView& b)
{
    return IndexTextLess(a.Text, b.Text);
}

// The prefix as the index holds such texts: upper-cased, and for codes
// without the dashes of the display form.
std::string IndexKeyOf(SearchField field, std::string_view prefix)
{
    std::string key = UpperCaseAscii(prefix);
    if (field == SearchField::Code)
        std::erase(key, '-');
    return key;
}

std::vector<TextIndex> IndexesOf(SearchField field)
{
    switch (field) {
    case SearchField::Name:
        return {TextIndex::Name, TextIndex::MineralName};
    case SearchField::Formula:
        return {TextIndex::Formula};
    case SearchField::Code:
        return {TextIndex::ReferenceCode};
    case SearchField::Author:
        return {TextIndex::Author};
    case SearchField::Journal:
        return {TextIndex::Journal};
    }
    return {};
}

double PrefixFigure(std::size_t prefixLength, std::size_t textLength)
{
    return textLength == 0 ? 100.0 : 100.0 * static_cast<double>(prefixLength) / static_cast<double>(textLength);
}

// The hit of each record with the best figure (ties: the smaller text),
// ordered by text, then record number.
std::vector<TSearchHit> BestHitPerRecord(std::vector<TSearchHit> hits)
{
    constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    const auto better = [](const TSearchHit& a, const TSearchHit& b) {
        if (a.Figure != b.Figure)
            return a.Figure > b.Figure;
        return IndexTextLess(a.Matched, b.Matched);
    };
    // The place in `kept` of each record's hit, by record number (the
    // hits' records are 1..PatternCount).
    std::int32_t highest = 0;
    for (const TSearchHit& hit : hits)
        highest = std::max(highest, hit.RecordNumber);
    std::vector<std::uint32_t> best(static_cast<std::size_t>(highest) + 1, kNone);
    std::vector<TSearchHit> kept;
    kept.reserve(hits.size());
    for (TSearchHit& hit : hits) {
        std::uint32_t& place = best[static_cast<std::size_t>(hit.RecordNumber)];
        if (place == kNone) {
            place = static_cast<std::uint32_t>(kept.size());
            kept.push_back(std::move(hit));
        } else if (better(hit, kept[place])) {
            kept[place] = std::move(hit);
        }
    }
    std::sort(kept.begin(), kept.end(), [](const TSearchHit& a, const TSearchHit& b) {
        if (IndexTextLess(a.Matched, b.Matched))
            return true;
        if (IndexTextLess(b.Matched, a.Matched))
            return false;
        return a.RecordNumber < b.RecordNumber;
    });
    return kept;
}

void CheckLinesQuery(const TLinesQuery& query)
{
    if (query.DSpacings.empty())
        throw Exception("Give at least one d-spacing to search the strongest lines for.");
    for (const double d : query.DSpacings)
        if (!(d > 0) || !std::isfinite(d))
            throw Exception("A d-spacing to search for must be a number above 0 (in Angstrom).");
    if (!(query.Tolerance > 0) || !std::isfinite(query.Tolerance))
        throw Exception("The tolerance of the strongest-lines search must be a number above 0 (in Angstrom).");
}

// The d-codes a line within the tolerance of `d` may have (a little wider
// than exact, as a quick test before the exact one): 16384 / (d + T) up to
// 16384 / (d - T).
struct TDCodeWindow {
    double Low = 0;
    double High = 0;
    bool Holds(const TStrongestLinesEntry& lines) const
    {
        for (std::size_t i = 0; i < lines.Count; ++i)
            if (lines.DCodes[i] >= Low && lines.DCodes[i] <= High)
                return true;
        return false;
    }
};

TDCodeWindow WindowOf(double d, double tolerance)
{
    return {16384.0 / (d + tolerance) - 1.0, d > tolerance ? 16384.0 / (d - tolerance) + 1.0 : 1e9};
}

} // namespace

// ---------------------------------------------------------------------------

TSortedTextIndex TSortedTextIndex::Read(const std::filesystem::path& path)
{
    TSortedTextIndex index;
    std::optional<std::string> content = ReadWholeFile(path);
    if (!content)
        return index;
    index.content_ = std::make_unique<std::string>(std::move(*content));
    index.entries_ = ParseTextIndexViews(*index.content_, PathText(path));
    if (!std::is_sorted(index.entries_.begin(), index.entries_.end(), EntryViewLess))
        std::stable_sort(index.entries_.begin(), index.entries_.end(), EntryViewLess);
    return index;
}

std::pair<std::size_t, std::size_t> TSortedTextIndex::PrefixRange(std::string_view prefix) const
{
    const std::string key = UpperCaseAscii(prefix);
    const auto first = std::partition_point(entries_.begin(), entries_.end(),
                                            [&](const TIndexEntryView& e) { return IndexTextLess(e.Text, key); });
    const auto last = std::partition_point(first, entries_.end(),
                                           [&](const TIndexEntryView& e) { return IndexTextHasPrefix(e.Text, key); });
    return {static_cast<std::size_t>(first - entries_.begin()), static_cast<std::size_t>(last - entries_.begin())};
}

// ---------------------------------------------------------------------------

std::optional<double> StrongestLinesMatch(const TStrongestLinesEntry& lines, const TLinesQuery& query)
{
    std::array<bool, 8> taken{};
    double total = 0;
    for (const double wanted : query.DSpacings) {
        std::optional<std::size_t> nearest;
        double nearestDistance = 0;
        for (std::size_t i = 0; i < lines.Count; ++i) {
            const double distance = std::abs(DSpacingOfDCode(lines.DCodes[i]) - wanted);
            if (taken[i] || lines.DCodes[i] <= 0 || distance > query.Tolerance)
                continue;
            if (!nearest || distance < nearestDistance) {
                nearest = i;
                nearestDistance = distance;
            }
        }
        if (!nearest)
            return std::nullopt;
        taken[*nearest] = true;
        const double strength = std::clamp(lines.Intensities[*nearest] / 1000.0, 0.0, 1.0);
        total += (1.0 - nearestDistance / query.Tolerance + strength) / 2.0;
    }
    return 100.0 * total / static_cast<double>(query.DSpacings.size());
}

// ---------------------------------------------------------------------------

TIndexSearch::TIndexSearch(const std::string& folder, std::size_t blockSize)
    : lock_(TDatabaseLock::Shared(TTypedFolder(folder))), blockSize_(blockSize)
{
    database_.SetDatabaseName(folder);
    database_.SetCodeIndexOnDemand(true); // the searches read the indexes themselves
    database_.Open();                     // read-only: nothing is created or changed
}

std::int32_t TIndexSearch::PatternCount()
{
    return database_.PatternCount();
}

const TSortedTextIndex& TIndexSearch::Index(TextIndex index)
{
    std::optional<TSortedTextIndex>& held = indexes_[static_cast<std::size_t>(index)];
    if (!held)
        held = TSortedTextIndex::Read(IndexPath(index));
    return *held;
}

std::filesystem::path TIndexSearch::IndexPath(TextIndex index) const
{
    return database_.DatabaseFolder() / PathFromText(TextIndexFileName(index));
}

const TIndexSearch::TRecordOrder& TIndexSearch::RecordOrder(TextIndex index)
{
    std::optional<TRecordOrder>& order = orders_[static_cast<std::size_t>(index)];
    if (order)
        return *order;
    const TSortedTextIndex& entries = Index(index);
    const auto count = static_cast<std::size_t>(PatternCount());
    order.emplace();
    order->Records.reserve(count);
    constexpr std::uint32_t kUnplaced = 0xFFFFFFFFu;
    order->Places.assign(count + 1, kUnplaced);
    // One walk through the index: a record takes its place at its first entry.
    const auto place = [&](std::int32_t record) {
        const auto n = static_cast<std::size_t>(record);
        if (record < 1 || n > count || order->Places[n] != kUnplaced)
            return;
        order->Places[n] = static_cast<std::uint32_t>(order->Records.size());
        order->Records.push_back(record);
    };
    for (std::size_t position = 0; position < entries.Size(); ++position)
        place(entries.Entry(position).RecordNumber);
    for (std::size_t n = 1; n <= count; ++n)
        place(static_cast<std::int32_t>(n));
    return *order;
}

std::vector<TSearchHit> TIndexSearch::SearchText(SearchField field, std::string_view prefix)
{
    const std::string key = IndexKeyOf(field, prefix);
    const std::int32_t count = PatternCount();
    std::vector<TSearchHit> hits;
    const auto take = [&](std::int32_t recordNumber, std::string text) {
        // An entry of a record the header does not count (a damaged index)
        // names no pattern that could be shown.
        if (recordNumber >= 1 && recordNumber <= count) {
            const double figure = PrefixFigure(key.size(), text.size());
            hits.push_back({recordNumber, std::move(text), figure});
        }
    };
    for (const TextIndex index : IndexesOf(field)) {
        std::optional<TIndexes> found;
        if (!indexes_[static_cast<std::size_t>(index)])
            found = FindPrefixInPlace(IndexPath(index), key, blockSize_);
        if (found) {
            for (TIndexedString& entry : *found)
                take(entry.RecordNumber, std::move(entry.Text));
            continue;
        }
        // Held already, or not searchable in place: the index in memory.
        const TSortedTextIndex& entries = Index(index);
        const auto [first, last] = entries.PrefixRange(key);
        for (std::size_t position = first; position < last; ++position)
            take(entries.Entry(position).RecordNumber, std::string(entries.Entry(position).Text));
    }
    return BestHitPerRecord(std::move(hits));
}

const std::string& TIndexSearch::StrongestLines()
{
    if (!strongestLines_)
        strongestLines_ = ReadWholeFile(database_.DatabaseFolder() / PathFromText(kStrongestLinesFileName))
                              .value_or(std::string());
    return *strongestLines_;
}

std::vector<TSearchHit> TIndexSearch::SearchLines(const TLinesQuery& query)
{
    CheckLinesQuery(query);
    const std::string& file = StrongestLines();
    const auto bytes = ConstBytes(reinterpret_cast<const std::uint8_t*>(file.data()), file.size());
    // Record k holds the strongest lines of pattern k + 1.
    const std::size_t records =
        std::min(file.size() / kStrongestLinesRecordSize, static_cast<std::size_t>(PatternCount()));
    const TDCodeWindow first = WindowOf(query.DSpacings.front(), query.Tolerance);
    std::vector<TSearchHit> hits;
    for (std::size_t k = 0; k < records; ++k) {
        const TStrongestLinesEntry lines =
            ReadStrongestLinesRecord(bytes.subspan(k * kStrongestLinesRecordSize, kStrongestLinesRecordSize));
        if (!first.Holds(lines))
            continue; // most patterns: no line near the first d-spacing
        if (const std::optional<double> figure = StrongestLinesMatch(lines, query))
            hits.push_back({static_cast<std::int32_t>(k + 1), std::string(), *figure});
    }
    std::stable_sort(hits.begin(), hits.end(),
                     [](const TSearchHit& a, const TSearchHit& b) { return a.Figure > b.Figure; });
    return hits;
}

std::optional<std::int32_t> TIndexSearch::FindCode(const std::string& code)
{
    if (code.size() != kStoredCodeLength && code.size() != kDisplayCodeLength)
        return std::nullopt;
    const std::string key = UpperCaseAscii(StoredCodeFromDisplayCode(code)); // as the store's look-up
    std::optional<TIndexes> found;
    if (!indexes_[static_cast<std::size_t>(TextIndex::ReferenceCode)])
        found = FindPrefixInPlace(IndexPath(TextIndex::ReferenceCode), key, blockSize_);
    // The first of equal codes, as the store's look-up finds it.
    if (found) {
        for (const TIndexedString& entry : *found)
            if (entry.Text == key)
                return entry.RecordNumber;
        return std::nullopt;
    }
    const TSortedTextIndex& entries = Index(TextIndex::ReferenceCode);
    const auto [first, last] = entries.PrefixRange(key);
    for (std::size_t position = first; position < last; ++position)
        if (entries.Entry(position).Text == key)
            return entries.Entry(position).RecordNumber;
    return std::nullopt;
}

TReferencePattern& TIndexSearch::FindPattern(const std::string& code)
{
    const std::optional<std::int32_t> record = FindCode(code);
    if (record && *record >= 1 && *record <= PatternCount())
        return Pattern(*record);
    return database_.FindPattern(code); // raises the store's message
}

TReferencePattern& TIndexSearch::Pattern(std::int32_t recordNumber)
{
    return database_.GetPattern(recordNumber);
}

TPatternSummary TIndexSearch::Summary(std::int32_t recordNumber)
{
    const TReferencePattern& pattern = Pattern(recordNumber);
    TPatternSummary summary;
    summary.RecordNumber = recordNumber;
    summary.Code = pattern.GetReferenceCode();
    for (int i = 0; i < pattern.GetNameCount(); ++i)
        summary.Names.push_back(pattern.GetNameAt(i).Text);
    summary.Formula = pattern.GetFormulaLine();
    if (summary.Formula.empty())
        summary.Formula = pattern.GetFirstFormula();
    return summary;
}

} // namespace norrvik
