// The index files' quicksort made fast for held indexes: QuickSortRankedKeys
// runs IndexQuickSort's exchanges over ranked keys, with marks of the
// adjacent pairs kept through every exchange (PairBits, MarkedKeys) so that
// ranges already in order, and the runs of equal ranks within them, are
// passed over or rearranged at once (TRankedQuickSort), and a few keys of
// ranks of their own appended to keys in strictly increasing order merged
// into place (MergeAppendedOfOwnRanks).
#include "refdb/IndexSort.h"

#include "common/Exceptions.h"

#include <algorithm>
#include <array>
#include <bit>
#include <optional>
#include <tuple>
#include <unordered_map>
#include <utility>

namespace norrvik {

namespace {
std::uint64_t RankOf(std::uint64_t key) { return key >> 32; }

// One bit per adjacent pair (k, k + 1) of positions, in words kept elsewhere.
class TPairBits {
public:
    explicit TPairBits(std::vector<std::uint64_t>& words) : words_(words) {}

    void Set(std::size_t k, bool value)
    {
        const std::uint64_t bit = std::uint64_t{1} << (k % 64);
        words_[k / 64] = value ? words_[k / 64] | bit : words_[k / 64] & ~bit;
    }

    // The first bit in [from, end) that is set (`set`) or clear, or end.
    std::size_t Next(std::size_t from, std::size_t end, bool set = true) const
    {
        const std::uint64_t flip = set ? 0 : ~std::uint64_t{0};
        for (std::size_t k = from; k < end;) {
            const std::uint64_t word = (words_[k / 64] ^ flip) >> (k % 64);
            if (word != 0)
                return std::min(end, k + static_cast<std::size_t>(std::countr_zero(word)));
            k = (k / 64 + 1) * 64;
        }
        return end;
    }

    // The last bit in [begin, to] that is set (`set`) or clear, or begin - 1
    // (as a signed position).
    std::ptrdiff_t Previous(std::ptrdiff_t to, std::ptrdiff_t begin, bool set = true) const
    {
        const std::uint64_t flip = set ? 0 : ~std::uint64_t{0};
        for (std::ptrdiff_t k = to; k >= begin;) {
            const auto u = static_cast<std::size_t>(k);
            const std::uint64_t word = (words_[u / 64] ^ flip) << (63 - u % 64);
            if (word != 0)
                return std::max(begin - 1, k - static_cast<std::ptrdiff_t>(std::countl_zero(word)));
            k = static_cast<std::ptrdiff_t>(u / 64 * 64) - 1;
        }
        return begin - 1;
    }

    // The `count` bits (fewer than 64) from `from` on, the first lowest.
    std::uint64_t Bits(std::size_t from, std::size_t count) const
    {
        if (count == 0)
            return 0;
        const std::size_t shift = from % 64;
        std::uint64_t bits = words_[from / 64] >> shift;
        if (shift + count > 64)
            bits |= words_[from / 64 + 1] << (64 - shift);
        return bits & ((std::uint64_t{1} << count) - 1);
    }

private:
    std::vector<std::uint64_t>& words_;
};

// Brings the marks up to date for `keys`: the words from the one holding the
// first pair not yet described on (all of them for marks describing none).
void UpdateMarks(const std::vector<std::uint64_t>& keys, TRankedKeyMarks& marks)
{
    const std::size_t pairs = keys.size() > 0 ? keys.size() - 1 : 0;
    const bool valid = marks.Keys > 0 && marks.Keys <= keys.size();
    const std::size_t firstWord = valid ? (marks.Keys - 1) / 64 : 0;
    marks.Unordered.resize(pairs / 64 + 1, 0);
    marks.Descending.resize(pairs / 64 + 1, 0);
    for (std::size_t w = firstWord; w < marks.Unordered.size(); ++w) {
        std::uint64_t unordered = 0;
        std::uint64_t descending = 0;
        const std::size_t end = w * 64 < pairs ? std::min<std::size_t>(64, pairs - w * 64) : 0;
        for (std::size_t b = 0; b < end; ++b) {
            const std::uint64_t a = RankOf(keys[w * 64 + b]);
            const std::uint64_t next = RankOf(keys[w * 64 + b + 1]);
            unordered |= static_cast<std::uint64_t>(!(a < next)) << b;
            descending |= static_cast<std::uint64_t>(next < a) << b;
        }
        marks.Unordered[w] = unordered;
        marks.Descending[w] = descending;
    }
    marks.Keys = keys.size();
}

// The ranked array with marks of its adjacent pairs that are not strictly
// increasing (`unordered`) and that decrease (`descending`), kept up to date
// through every exchange.
class TMarkedKeys {
public:
    TMarkedKeys(std::vector<std::uint64_t>& keys, TRankedKeyMarks& marks)
        : keys_(keys), size_(static_cast<std::ptrdiff_t>(keys.size())), unordered_(marks.Unordered),
          descending_(marks.Descending)
    {
        UpdateMarks(keys, marks);
#ifndef NDEBUG
        // Marks kept from an earlier sort must be those of the array as it is.
        TRankedKeyMarks fresh;
        UpdateMarks(keys, fresh);
        NORRVIK_ASSERT(fresh.Unordered == marks.Unordered && fresh.Descending == marks.Descending,
                       "Marks kept for the index are out of date");
#endif
    }

    std::uint64_t Rank(std::ptrdiff_t p) const { return RankOf(keys_[static_cast<std::size_t>(p)]); }

    void Exchange(std::ptrdiff_t i, std::ptrdiff_t j)
    {
        std::swap(keys_[static_cast<std::size_t>(i)], keys_[static_cast<std::size_t>(j)]);
        if (Rank(i) != Rank(j))
            for (std::ptrdiff_t k : {i - 1, i, j - 1, j})
                Mark(k);
    }

    // Exchanges i with j, i + 1 with j - 1 and so on while j > i and both
    // hold keys of rank `rank`: there the partition's scans stop at once and
    // each round exchanges one such pair (equal ranks change no mark).
    // Returns the pair after the last one exchanged.
    std::pair<std::ptrdiff_t, std::ptrdiff_t> ExchangeEqualPairs(std::ptrdiff_t i, std::ptrdiff_t j, std::uint64_t rank)
    {
        while (j > i && Rank(i) == rank && Rank(j) == rank) {
            std::swap(keys_[static_cast<std::size_t>(i)], keys_[static_cast<std::size_t>(j)]);
            ++i;
            --j;
        }
        return {i, j};
    }

    // True when lo..hi is strictly increasing (also when hi <= lo).
    bool StrictlyIncreasing(std::ptrdiff_t lo, std::ptrdiff_t hi) const
    {
        if (hi <= lo)
            return true;
        const auto end = static_cast<std::size_t>(hi);
        return unordered_.Next(static_cast<std::size_t>(lo), end) == end;
    }

    // True when the ranks of lo..hi do not decrease.
    bool Ascending(std::ptrdiff_t lo, std::ptrdiff_t hi) const
    {
        const auto end = static_cast<std::size_t>(hi);
        return descending_.Next(static_cast<std::size_t>(lo), end) == end;
    }

    // The positions of lo..hi (ascending) whose rank is that of position p:
    // first and one past the last.
    std::pair<std::ptrdiff_t, std::ptrdiff_t> EqualRunAround(std::ptrdiff_t lo, std::ptrdiff_t hi, std::ptrdiff_t p) const
    {
        return {StartOfEqualRun(lo, p), EndOfEqualRun(p, hi) + 1};
    }

    // Reverses lo..hi (of one rank).
    void Reverse(std::ptrdiff_t lo, std::ptrdiff_t hi) { std::reverse(At(lo), At(hi + 1)); }

    // Puts keys lo..hi (of one rank) in the order `order` gives: position
    // lo + k receives the key from lo + order[k]. The orders given are
    // those of EqualRangeOrder, which move a key whenever there are two.
    void Rearrange(std::ptrdiff_t lo, const std::vector<std::uint32_t>& order)
    {
        // Kept from call to call: a new one per sort would take fresh pages
        // from the system each time.
        thread_local std::vector<std::uint64_t> old;
        old.assign(At(lo), At(lo + static_cast<std::ptrdiff_t>(order.size())));
        std::uint64_t* const target = keys_.data() + lo;
        for (std::size_t k = 0; k < order.size(); ++k)
            target[k] = old[order[k]];
    }

    // The pairs (k, k + 1) of lo..hi (fewer than 64 pairs) that are marked
    // unordered, as bits from lo on.
    std::uint64_t UnorderedPairs(std::ptrdiff_t lo, std::ptrdiff_t hi) const
    {
        return unordered_.Bits(static_cast<std::size_t>(lo), static_cast<std::size_t>(hi - lo));
    }

    // The first position from i on whose rank is not below `pivot` (the
    // quicksort's upward scan; it stops at `hi` at the latest). `near` is a
    // position that held the pivot's rank (the middle of the range).
    std::ptrdiff_t FirstNotBelow(std::ptrdiff_t i, std::uint64_t pivot, std::ptrdiff_t hi, std::ptrdiff_t near) const
    {
        while (Rank(i) < pivot) {
            // i..stop ascend (not strictly): the scan stops in them at the
            // first key not below the pivot, if there is one.
            const auto stop = static_cast<std::ptrdiff_t>(
                descending_.Next(static_cast<std::size_t>(i), static_cast<std::size_t>(hi)));
            if (i < near && near <= stop && Rank(near) == pivot)
                return StartOfEqualRun(i, near);
            // The stretch's last key tells whether any is not below the
            // pivot, and where when it has the pivot's rank.
            const std::uint64_t last = Rank(stop);
            if (last < pivot) {
                i = stop + 1;
                continue;
            }
            if (last == pivot)
                return StartOfEqualRun(i, stop);
            return std::lower_bound(At(i), At(stop), pivot,
                                    [](std::uint64_t key, std::uint64_t p) { return RankOf(key) < p; }) -
                   keys_.begin();
        }
        return i;
    }

    // The last position from j down whose rank is not above `pivot` (the
    // downward scan; it stops at `lo` at the latest).
    std::ptrdiff_t LastNotAbove(std::ptrdiff_t j, std::uint64_t pivot, std::ptrdiff_t lo, std::ptrdiff_t near) const
    {
        while (pivot < Rank(j)) {
            const std::ptrdiff_t start = descending_.Previous(j - 1, lo) + 1;
            if (start <= near && near < j && Rank(near) == pivot)
                return EndOfEqualRun(near, j);
            const std::uint64_t first = Rank(start);
            if (pivot < first) {
                j = start - 1;
                continue;
            }
            if (first == pivot)
                return EndOfEqualRun(start, j);
            return std::upper_bound(At(start + 1), At(j + 1), pivot,
                                    [](std::uint64_t p, std::uint64_t key) { return p < RankOf(key); }) -
                   keys_.begin() - 1;
        }
        return j;
    }

private:
    std::vector<std::uint64_t>::iterator At(std::ptrdiff_t p) const { return keys_.begin() + p; }

    // Within a stretch that does not descend, through position p: the first
    // (from `from` on) and the last (up to `to`) position of p's run of equal
    // ranks. There a pair is marked unordered exactly when its ranks are
    // equal, so the marks near p tell (the last unmarked pair before p, the
    // first one from p on), where a search through the keys of a large range
    // would read far apart places of memory.
    std::ptrdiff_t StartOfEqualRun(std::ptrdiff_t from, std::ptrdiff_t p) const
    {
        return unordered_.Previous(p - 1, from, false) + 1;
    }
    std::ptrdiff_t EndOfEqualRun(std::ptrdiff_t p, std::ptrdiff_t to) const
    {
        return static_cast<std::ptrdiff_t>(
            unordered_.Next(static_cast<std::size_t>(p), static_cast<std::size_t>(to), false));
    }

    void Mark(std::ptrdiff_t k)
    {
        if (k < 0 || k + 1 >= size_)
            return;
        const std::uint64_t a = Rank(k);
        const std::uint64_t b = Rank(k + 1);
        unordered_.Set(static_cast<std::size_t>(k), !(a < b));
        descending_.Set(static_cast<std::size_t>(k), b < a);
    }

    std::vector<std::uint64_t>& keys_;
    std::ptrdiff_t size_;
    TPairBits unordered_;
    TPairBits descending_;
};

// The order the quicksort leaves a range of `size` equal values in: it
// depends on the size alone. Kept for the sizes met, up to a bound;
// nothing beyond it.
const std::vector<std::uint32_t>* EqualRangeOrder(std::size_t size)
{
    constexpr std::size_t kLargest = 1 << 16;
    constexpr std::size_t kSmall = 64;
    const auto make = [size] {
        std::vector<std::uint32_t> order(size);
        for (std::size_t k = 0; k < size; ++k)
            order[k] = static_cast<std::uint32_t>(k);
        IndexQuickSort(order, [](std::uint32_t, std::uint32_t) { return false; });
        // Rearrange counts every order of two values or more as moving one.
        NORRVIK_ASSERT(size < 2 || order[0] != 0, "An order of equal values leaves them in place");
        return order;
    };
    if (size < kSmall) {
        thread_local std::array<std::vector<std::uint32_t>, kSmall> small;
        if (small[size].size() != size)
            small[size] = make();
        return &small[size];
    }
    // The orders kept hold a million positions at most (4 MiB); a range of
    // another size then takes the quicksort's own way.
    constexpr std::size_t kBudget = 1 << 20;
    thread_local std::unordered_map<std::size_t, std::vector<std::uint32_t>> orders;
    thread_local std::size_t kept = 0;
    auto found = orders.find(size);
    if (found == orders.end()) {
        if (size > kLargest || kept + size > kBudget)
            return nullptr;
        kept += size;
        found = orders.emplace(size, make()).first;
    }
    return &found->second;
}

} // namespace

bool QuickSortRankedKeys(std::vector<std::uint64_t>& keys)
{
    TRankedKeyMarks marks;
    return QuickSortRankedKeys(keys, marks);
}

namespace {

// One run of QuickSortRankedKeys: the ranges of IndexQuickSort in the same
// order (see there), each taken by the shortest way that makes the same
// exchanges.
class TRankedQuickSort {
public:
    TRankedQuickSort(std::vector<std::uint64_t>& keys, TRankedKeyMarks& marks) : marked_(keys, marks)
    {
        pending_.push_back({0, static_cast<std::ptrdiff_t>(keys.size()) - 1, false});
    }

    // True when any key moved.
    bool Run()
    {
        while (!pending_.empty()) {
            TRange range = pending_.back();
            pending_.pop_back();
            // A range's first part is the next one sorted in any case: it is
            // taken at once rather than pushed.
            for (bool more = true; more;)
                more = Sort(range);
        }
        return moved_;
    }

private:
    // A range to sort; `Ascending` when it is known not to descend anywhere
    // (every range within an ascending one stays so: only runs of equal
    // ranks are reversed there).
    struct TRange {
        std::ptrdiff_t Lo;
        std::ptrdiff_t Hi;
        bool Ascending;
    };

    // Sorts `range`, or splits it: then its second part is pending and its
    // first part, to be sorted next, replaces it (true).
    bool Sort(TRange& range)
    {
        const auto [lo, hi, knownAscending] = range;
        // No exchange happens in a strictly increasing range, at any depth.
        if (marked_.StrictlyIncreasing(lo, hi))
            return false;
        const bool ascending = knownAscending || marked_.Ascending(lo, hi);
        if (ascending && hi - lo < 10) {
            ReverseEqualRuns(lo, hi);
            return false;
        }
        if (ascending && marked_.Rank(lo) == marked_.Rank(hi)) {
            if (const std::vector<std::uint32_t>* order = EqualRangeOrder(static_cast<std::size_t>(hi - lo + 1))) {
                marked_.Rearrange(lo, *order);
                moved_ = true; // two values at least: the range is not strictly increasing
                return false;
            }
        }
        if (hi - lo < 10) {
            ExchangeSort(lo, hi);
            return false;
        }
        const auto [first, second] = ascending ? SplitAscending(lo, hi) : Partition(lo, hi);
        Push(second);
        range = first;
        return first.Hi > first.Lo;
    }

    // A small ascending range: exchanges happen within each run of equal
    // ranks alone, as in a range of that many equal values, and fewer than
    // 11 equal values end reversed (the first is exchanged with each later
    // one in turn, which brings the last to the front and keeps the others
    // in order behind it, and so on from the second). In an ascending range
    // a pair is marked unordered exactly when its ranks are equal, so the
    // runs are the stretches of marked pairs.
    void ReverseEqualRuns(std::ptrdiff_t lo, std::ptrdiff_t hi)
    {
        std::uint64_t pairs = marked_.UnorderedPairs(lo, hi);
        moved_ = moved_ || pairs != 0;
        while (pairs != 0) {
            const int first = std::countr_zero(pairs);
            const int length = std::countr_one(pairs >> first); // pairs, one less than keys
            marked_.Reverse(lo + first, lo + first + length);
            pairs &= ~((((std::uint64_t{1} << length) - 1)) << first);
        }
    }

    void ExchangeSort(std::ptrdiff_t lo, std::ptrdiff_t hi)
    {
        for (std::ptrdiff_t i = lo; i < hi; ++i)
            for (std::ptrdiff_t j = i + 1; j <= hi; ++j)
                if (!(marked_.Rank(i) < marked_.Rank(j)))
                    Exchange(i, j);
    }

    // The scans meet the pivot's run of equal ranks from both ends and
    // exchange it pair by pair until they cross: it is reversed, and the
    // ranges go on from the pairs last exchanged (the first exchange happens
    // in any case, be it of the pivot with itself). The two parts, first the
    // one sorted first.
    std::pair<TRange, TRange> SplitAscending(std::ptrdiff_t lo, std::ptrdiff_t hi)
    {
        const auto [first, end] = marked_.EqualRunAround(lo, hi, (lo + hi) / 2);
        const std::ptrdiff_t exchanges = std::max<std::ptrdiff_t>(1, (end - first) / 2);
        marked_.Reverse(first, end - 1);
        moved_ = moved_ || end - first > 1;
        return {TRange{lo, end - 1 - exchanges, true}, TRange{first + exchanges, hi, true}};
    }

    // The two parts of lo..hi after its partition, first the one sorted first.
    std::pair<TRange, TRange> Partition(std::ptrdiff_t lo, std::ptrdiff_t hi)
    {
        const std::ptrdiff_t middle = (lo + hi) / 2;
        const std::uint64_t pivot = marked_.Rank(middle);
        std::ptrdiff_t i = lo;
        std::ptrdiff_t j = hi;
        do {
            i = marked_.FirstNotBelow(i, pivot, hi, middle);
            j = marked_.LastNotAbove(j, pivot, lo, middle);
            if (j >= i) {
                Exchange(i, j);
                const std::ptrdiff_t next = i + 1;
                std::tie(i, j) = marked_.ExchangeEqualPairs(next, j - 1, pivot);
                moved_ = moved_ || i != next;
            }
        } while (j > i);
        return {TRange{lo, j, false}, TRange{i, hi, false}};
    }

    // A range of one value or none makes no exchange: it is not kept.
    void Push(const TRange& range)
    {
        if (range.Hi > range.Lo)
            pending_.push_back(range);
    }

    void Exchange(std::ptrdiff_t i, std::ptrdiff_t j)
    {
        moved_ = moved_ || i != j;
        marked_.Exchange(i, j);
    }

    TMarkedKeys marked_;
    std::vector<TRange> pending_;
    bool moved_ = false;
};

} // namespace

namespace {

// At most this many keys appended since the marks' sort are merged in by
// MergeAppendedOfOwnRanks.
constexpr std::size_t kFewAppended = 64;

// When every rank differs, the quicksort's result is the only ascending
// order, whatever exchanges it makes on the way there. Where the marks show
// the keys they describe strictly increasing and the few keys appended
// since have ranks of their own, those are merged into place, moving only
// the keys after the first place taken, and the marks become those of a
// strictly increasing array: whether a key moved. Nothing where that does
// not hold, the keys and marks as they were.
std::optional<bool> MergeAppendedOfOwnRanks(std::vector<std::uint64_t>& keys, TRankedKeyMarks& marks)
{
    const std::size_t described = marks.Keys;
    const std::size_t count = keys.size();
    if (described == 0 || described >= count || count - described > kFewAppended ||
        TPairBits(marks.Unordered).Next(0, described - 1) != described - 1)
        return std::nullopt;
    const auto byRank = [](std::uint64_t a, std::uint64_t b) { return RankOf(a) < RankOf(b); };
    const auto prefix = keys.begin() + static_cast<std::ptrdiff_t>(described);
    std::array<std::uint64_t, kFewAppended> appended{};
    const auto appendedEnd = std::copy(prefix, keys.end(), appended.begin());
    const bool inOrder = std::is_sorted(appended.begin(), appendedEnd, byRank) &&
                         std::adjacent_find(appended.begin(), appendedEnd, [](std::uint64_t a, std::uint64_t b) {
                             return RankOf(a) == RankOf(b);
                         }) == appendedEnd &&
                         byRank(*(prefix - 1), appended[0]);
    std::sort(appended.begin(), appendedEnd, byRank);
    for (auto a = appended.begin(); a != appendedEnd; ++a)
        if ((a != appended.begin() && RankOf(*(a - 1)) == RankOf(*a)) ||
            std::binary_search(keys.begin(), prefix, *a, byRank))
            return std::nullopt;
    // From the end: each place takes the larger of the two lists' last keys;
    // the held keys before the smallest appended one stay where they are.
    auto held = prefix;
    auto left = appendedEnd;
    for (auto place = keys.end(); left != appended.begin();)
        *--place = held != keys.begin() && byRank(*(left - 1), *(held - 1)) ? *--held : *--left;
    const std::size_t words = (count - 1) / 64 + 1;
    marks.Unordered.assign(words, 0);
    marks.Descending.assign(words, 0);
    marks.Keys = count;
    return !inOrder;
}

} // namespace

bool QuickSortRankedKeys(std::vector<std::uint64_t>& keys, TRankedKeyMarks& marks)
{
    if (const std::optional<bool> moved = MergeAppendedOfOwnRanks(keys, marks))
        return *moved;
    return TRankedQuickSort(keys, marks).Run();
}

} // namespace norrvik
