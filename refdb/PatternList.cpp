// The browser's list of patterns, ordered through the text indexes.
#include "refdb/PatternList.h"

#include <algorithm>
#include <numeric>

namespace norrvik {

namespace {

TextIndex IndexOfColumn(PatternColumn column)
{
    switch (column) {
    case PatternColumn::Names:
        return TextIndex::Name;
    case PatternColumn::Formula:
        return TextIndex::Formula;
    case PatternColumn::Code:
        break;
    }
    return TextIndex::ReferenceCode;
}

} // namespace

TPatternList::TPatternList(TIndexSearch& search) : search_(search)
{
    ShowAll();
}

void TPatternList::ShowAll()
{
    ShowRecords(1, search_.PatternCount());
    SortBy(PatternColumn::Code, false);
}

void TPatternList::ShowHits(const std::vector<TSearchHit>& hits)
{
    rows_.clear();
    figures_.clear();
    rows_.reserve(hits.size());
    for (const TSearchHit& hit : hits) {
        rows_.push_back(hit.RecordNumber);
        figures_.emplace(hit.RecordNumber, hit.Figure);
    }
}

void TPatternList::ShowRecords(std::int32_t first, std::int32_t last)
{
    first = std::max(first, 1);
    last = std::min(last, search_.PatternCount());
    rows_.clear();
    figures_.clear();
    if (last < first)
        return;
    rows_.resize(static_cast<std::size_t>(last - first) + 1);
    std::iota(rows_.begin(), rows_.end(), first);
}

void TPatternList::SortBy(PatternColumn column, bool descending)
{
    const TIndexSearch::TRecordOrder& order = search_.RecordOrder(IndexOfColumn(column));
    const std::size_t all = order.Records.size();
    // Many rows: picked out of the order of all records in one walk (all
    // rows: that order itself); a few: sorted by their places in it.
    if (rows_.size() == all) {
        rows_ = order.Records; // the rows are every record once
    } else if (rows_.size() * 8 >= all) {
        std::vector<std::uint8_t> shown(all + 1, 0);
        for (const std::int32_t record : rows_)
            shown[static_cast<std::size_t>(record)] = 1;
        rows_.clear();
        for (const std::int32_t record : order.Records)
            if (shown[static_cast<std::size_t>(record)])
                rows_.push_back(record);
    } else {
        std::sort(rows_.begin(), rows_.end(), [&](std::int32_t a, std::int32_t b) {
            return order.Places[static_cast<std::size_t>(a)] < order.Places[static_cast<std::size_t>(b)];
        });
    }
    if (descending)
        std::reverse(rows_.begin(), rows_.end());
}

double TPatternList::FigureAt(std::size_t row) const
{
    const auto found = figures_.find(rows_[row]);
    return found == figures_.end() ? -1.0 : found->second;
}

TPatternSummary TPatternList::SummaryAt(std::size_t row)
{
    const std::int32_t record = rows_[row];
    if (const auto found = summaries_.find(record); found != summaries_.end())
        return found->second;
    if (summaries_.size() >= kKeptSummaries)
        summaries_.clear();
    return summaries_.emplace(record, search_.Summary(record)).first->second;
}

} // namespace norrvik
