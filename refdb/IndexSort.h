// The index files' own quicksort, exactly as the search software's files are
// sorted (IndexQuickSort, over any values), and the same exchanges made fast
// over ranked keys for the held text indexes (QuickSortRankedKeys). The order
// it leaves equal values in is part of the file format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace norrvik {

// The index files' quicksort over lo..hi of any values with a strict order
// `less`, exactly as the search software's files are sorted: ranges of fewer
// than 11 values exchange every pair i < j unless value i is strictly smaller
// (so equal values are exchanged too); larger ranges are partitioned around a
// copy of the middle value (scan up while below it, down while above it,
// exchange while j >= i, repeat while j > i), then lo..j is sorted before
// i..hi. An explicit stack taken last in first out makes the same exchanges
// in the same order without deep recursion. The order of equal values is part
// of the file format.
template <typename T, typename Less>
void IndexQuickSort(std::vector<T>& items, std::ptrdiff_t first, std::ptrdiff_t last, Less less)
{
    if (last <= first)
        return;
    std::vector<std::pair<std::ptrdiff_t, std::ptrdiff_t>> pending{{first, last}};
    const auto at = [&items](std::ptrdiff_t n) -> T& { return items[static_cast<std::size_t>(n)]; };
    while (!pending.empty()) {
        const auto [lo, hi] = pending.back();
        pending.pop_back();
        if (hi - lo < 10) {
            for (std::ptrdiff_t i = lo; i < hi; ++i)
                for (std::ptrdiff_t j = i + 1; j <= hi; ++j)
                    if (!less(at(i), at(j)))
                        std::swap(at(i), at(j));
            continue;
        }
        const T pivot = at((lo + hi) / 2);
        std::ptrdiff_t i = lo;
        std::ptrdiff_t j = hi;
        // The scans stop inside lo..hi: the first pass meets the pivot
        // itself, later ones the values the previous exchange left behind.
        do {
            while (less(at(i), pivot))
                ++i;
            while (less(pivot, at(j)))
                --j;
            if (j >= i) {
                std::swap(at(i), at(j));
                ++i;
                --j;
            }
        } while (j > i);
        pending.emplace_back(i, hi);
        pending.emplace_back(lo, j);
    }
}

// The same over all values.
template <typename T, typename Less>
void IndexQuickSort(std::vector<T>& items, Less less)
{
    IndexQuickSort(items, 0, static_cast<std::ptrdiff_t>(items.size()) - 1, less);
}

// IndexQuickSort over values ordered by their upper 32 bits (a rank; the
// lower bits carry anything), making exactly the same exchanges, fast when
// the values are mostly in order already (a sorted index with a few entries
// appended): a range that is strictly increasing is left as it stands, as
// the quicksort makes no exchange in it; the scans for the partition jump
// over ascending stretches by binary search; where every rank differs, a
// few values appended to a strictly increasing array are merged into place
// (the one ascending order is then the result, whatever the exchanges). The
// cost is that of the ranges that hold equal ranks or values out of order,
// not of the whole array.
// Returns false when no value changed its place.
bool QuickSortRankedKeys(std::vector<std::uint64_t>& keys);

// The marks QuickSortRankedKeys keeps of an array's adjacent pairs (not
// strictly increasing, decreasing), kept from one sort of the array to the
// next so that a sort after values were appended marks only the new pairs.
// They describe the array as their last sort left it, with any values
// appended since; after any other change to the array, Reset them.
struct TRankedKeyMarks {
    std::vector<std::uint64_t> Unordered;
    std::vector<std::uint64_t> Descending;
    std::size_t Keys = 0; // values the marks describe; 0 for none
    void Reset() { Keys = 0; }
};

// QuickSortRankedKeys with the marks its last sort of `keys` left.
bool QuickSortRankedKeys(std::vector<std::uint64_t>& keys, TRankedKeyMarks& marks);

} // namespace norrvik
