// The list of patterns a browser shows: every pattern of a database, the
// patterns a search found, or a range of record numbers (the patterns a
// conversion just added), ordered by code, names or formula. The order comes
// from the text indexes (a pattern's place is that of its first entry in the
// index of the column), so no record is read to order the list; a row's
// code, names and formula are read from its record when the row is first
// asked for, and a few thousand rows are kept.
#pragma once

#include "refdb/IndexSearch.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace norrvik {

enum class PatternColumn { Code, Names, Formula };

class TPatternList {
public:
    // The search is not owned and must outlive the list. Starts with every
    // pattern, ordered by code.
    explicit TPatternList(TIndexSearch& search);

    void ShowAll();
    // The hits in the order the search gave them.
    void ShowHits(const std::vector<TSearchHit>& hits);
    // Records first..last (clamped to the database).
    void ShowRecords(std::int32_t first, std::int32_t last);
    // Orders the rows shown by a column (patterns without an entry in its
    // index last, by record number).
    void SortBy(PatternColumn column, bool descending);

    std::size_t RowCount() const { return rows_.size(); }
    std::int32_t RecordAt(std::size_t row) const { return rows_[row]; }
    // The match figure of a row shown from hits; negative for none.
    double FigureAt(std::size_t row) const;
    // Reads the row's record the first time it is asked for (a copy: the
    // rows kept may be let go by the next call).
    TPatternSummary SummaryAt(std::size_t row);

private:
    static constexpr std::size_t kKeptSummaries = 4096;

    TIndexSearch& search_;
    std::vector<std::int32_t> rows_;
    std::unordered_map<std::int32_t, double> figures_;
    std::unordered_map<std::int32_t, TPatternSummary> summaries_;
};

} // namespace norrvik
