// The diffraction lines of a reference pattern: added, read back, and
// sorted by d or by intensity with the exchange sort the files expect (the
// order of equal values is part of the file format).
#include "refdb/ReferencePattern.h"

#include "common/Exceptions.h"
#include "common/Format.h"
#include "refdb/PatternAccess.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>
#include <vector>

namespace norrvik {

namespace layout = pattern_layout;

// ---------------------------------------------------------------------------
// Diffraction lines

namespace {

using layout::DOffset;
using layout::HOffset;
using layout::IntensityOffset;
using layout::KOffset;
using layout::LOffset;

// The five values of one line, as the sorts exchange them: the d-spacing's
// bytes are kept as they stand (every bit pattern survives) next to its value.
// (No member initialisers: the sorts' arrays of them are not zeroed first.)
struct TLineValues {
    float D;
    std::uint32_t DBits;
    std::int16_t Intensity;
    std::int16_t H;
    std::int16_t K;
    std::int16_t L;
};

std::vector<TLineValues> ReadLines(const PatternRecord& record, std::size_t count)
{
    const TLittleEndianTable<std::uint32_t> d(record, DOffset(0), count);
    const TLittleEndianTable<std::int16_t> intensity(record, IntensityOffset(0), count);
    const TLittleEndianTable<std::int16_t> h(record, HOffset(0), count);
    const TLittleEndianTable<std::int16_t> k(record, KOffset(0), count);
    const TLittleEndianTable<std::int16_t> l(record, LOffset(0), count);
    std::vector<TLineValues> lines(count);
    for (std::size_t i = 0; i < count; ++i)
        lines[i] = {std::bit_cast<float>(d[i]), d[i], intensity[i], h[i], k[i], l[i]};
    return lines;
}

void WriteLines(PatternRecord& record, const std::vector<TLineValues>& lines)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        WriteU32LE(record, DOffset(i), lines[i].DBits);
        WriteI16LE(record, IntensityOffset(i), lines[i].Intensity);
        WriteI16LE(record, HOffset(i), lines[i].H);
        WriteI16LE(record, KOffset(i), lines[i].K);
        WriteI16LE(record, LOffset(i), lines[i].L);
    }
}

// The first of `count` lines whose d-spacing equals `d`, or `count` when
// none does. Converting a pattern asks this for each of its lines, and
// usually none is equal: one pass over the d-spacings, checked once and
// without an early exit so that the compiler compares several at once,
// tells whether the search is needed at all.
std::size_t FirstLineWithD(const PatternRecord& record, std::size_t count, float d)
{
    CheckByteRange(record.size(), DOffset(0), 4 * count);
    const std::uint8_t* const ds = record.data() + DOffset(0);
    const auto dAt = [ds](std::size_t i) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, ds + 4 * i, sizeof bits);
        if constexpr (std::endian::native == std::endian::big)
            bits = (bits >> 24) | ((bits >> 8) & 0xff00u) | ((bits << 8) & 0xff0000u) | (bits << 24);
        return std::bit_cast<float>(bits);
    };
    unsigned any = 0; // not bool: the compiler vectorises an OR of integers
    for (std::size_t i = 0; i < count; ++i)
        any |= static_cast<unsigned>(dAt(i) == d);
    if (any == 0)
        return count;
    std::size_t i = 0;
    while (!(dAt(i) == d))
        ++i;
    return i;
}

// A number's place in the order of floats as an unsigned key (NaNs have
// none; -0 and +0 get neighbouring keys, though they compare equal).
std::uint64_t OrderedKey(float value)
{
    const auto bits = std::bit_cast<std::uint32_t>(value);
    return (bits & 0x80000000u) != 0 ? ~bits : bits | 0x80000000u;
}

// The `Width` smallest of `count` keys, ascending, put into the first
// places (the rest left in no order): each key goes through a fixed row of
// compare-and-keep steps over the smallest so far, without a branch. The
// keys come in no order, and a branch on each would be mispredicted about
// every other time; a row as wide as the keys asked for stays in registers.
template <std::size_t Width>
void SmallestKeysFirstByRow(std::uint64_t* keys, std::size_t count)
{
    // kept[j] takes the smaller of kept[j] and of the larger of kept[j - 1]
    // and the key: the key moves in at its place, the larger ones one on.
    std::array<std::uint64_t, Width> kept;
    kept.fill(~std::uint64_t{0});
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t key = keys[i];
        for (std::size_t j = Width - 1; j > 0; --j)
            kept[j] = std::min(kept[j], std::max(kept[j - 1], key));
        kept[0] = std::min(kept[0], key);
    }
    std::copy(kept.begin(), kept.end(), keys);
}

// SmallestKeysFirstByRow for `first` of 1 .. sizeof...(Widths), each width
// its own row; false for any other.
template <std::size_t... Widths>
bool SmallestKeysFirstByRows(std::uint64_t* keys, std::size_t first, std::size_t count,
                             std::index_sequence<Widths...>)
{
    return ((first == Widths + 1 && (SmallestKeysFirstByRow<Widths + 1>(keys, count), true)) || ...);
}

// Puts the `first` smallest of `count` keys (all different; all of them
// when fewer) into the first places, ascending; the rest are left in no
// order. A few (the strongest lines) go by a row of their number, more by a
// partial sort.
void SmallestKeysFirst(std::uint64_t* keys, std::size_t first, std::size_t count)
{
    constexpr std::size_t kFewRows = 16;
    first = std::min(first, count);
    if (!SmallestKeysFirstByRows(keys, first, count, std::make_index_sequence<kFewRows>()))
        std::partial_sort(keys, keys + first, keys + count);
}

// The stored line order is that of an exchange sort: every pair i < j is
// exchanged when `exchange(line i, line j)` (its row i then holds the first
// of the remaining lines in order). Puts the first `rows` of `lines` into
// that order; the lines after them are dropped or left in no particular
// order, unless `rows` covers them all. Returns false when the lines were
// already all in that order.
// When no d is a NaN and none of those first rows is equal in that order to
// the line after it, the exchange sort's first rows are the lines any sort
// puts first; only then is a fast sort used: of `keyOf(line) << 8 | row`,
// where the keys ascend as the lines come first in that order (rows fit in
// 8 bits).
template <typename Exchange, typename KeyOf>
bool ExchangeSortValues(std::vector<TLineValues>& lines, std::size_t rows, Exchange exchange, KeyOf keyOf)
{
    static_assert(layout::kMaxLines <= 256);
    const std::size_t count = lines.size();
    rows = std::min(rows, count);
    if (std::none_of(lines.begin(), lines.end(), [](const TLineValues& line) { return line.D != line.D; })) {
        const auto strictlyOrdered = [&exchange, rows](const TLineValues* values, std::size_t size) {
            for (std::size_t i = 0; i < rows && i + 1 < size; ++i)
                if (!exchange(values[i + 1], values[i]))
                    return false;
            return true;
        };
        // Lines already in that order (as most sources give them) stay as
        // they are.
        if (rows == count && strictlyOrdered(lines.data(), count))
            return false;
        std::array<std::uint64_t, layout::kMaxLines> keys;
        for (std::size_t i = 0; i < count; ++i)
            keys[i] = keyOf(lines[i]) << 8 | i;
        // A few rows asked for are picked out of the rest (with the line
        // after them, to tell whether it equals the last); all are sorted.
        const std::size_t sortedRows = std::min(rows + 1, count);
        if (sortedRows < count)
            SmallestKeysFirst(keys.data(), sortedRows, count);
        else
            std::sort(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(count));
        std::array<TLineValues, layout::kMaxLines> sorted;
        for (std::size_t i = 0; i < sortedRows; ++i)
            sorted[i] = lines[keys[i] & 0xff];
        if (strictlyOrdered(sorted.data(), sortedRows)) {
            lines.assign(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sortedRows < count ? rows : count));
            return true;
        }
    }
    for (std::size_t i = 0; i + 1 < count; ++i)
        for (std::size_t j = i + 1; j < count; ++j)
            if (exchange(lines[i], lines[j]))
                std::swap(lines[i], lines[j]);
    return true;
}

// All lines of the record in the order of ExchangeSortValues, written once.
template <typename Exchange, typename KeyOf>
void ExchangeSortLines(PatternRecord& record, std::size_t count, Exchange exchange, KeyOf keyOf)
{
    std::vector<TLineValues> lines = ReadLines(record, count);
    if (ExchangeSortValues(lines, count, exchange, keyOf))
        WriteLines(record, lines);
}

// The two line orders, as the exchange rule and as keys (lambdas, so that
// the sorts call them inline).
const auto DescendingD = [](const TLineValues& a, const TLineValues& b) { return a.D < b.D; };
const auto DescendingDKey = [](const TLineValues& line) -> std::uint64_t {
    return 0xffffffffu - OrderedKey(line.D);
};
const auto DescendingIntensity = [](const TLineValues& a, const TLineValues& b) {
    return a.Intensity < b.Intensity || (a.Intensity == b.Intensity && a.D < b.D);
};
const auto DescendingIntensityKey = [](const TLineValues& line) {
    const auto descendingIntensity = static_cast<std::uint64_t>(0x7fff - line.Intensity); // 0 .. 0xffff
    return descendingIntensity << 32 | DescendingDKey(line);
};

} // namespace

int TReferencePattern::GetLineCount() const
{
    return std::min<int>(record_[layout::LineCount], static_cast<int>(layout::kMaxLines));
}

void TReferencePattern::AddLine(float d, std::int16_t intensity, std::int16_t h, std::int16_t k,
                                std::int16_t l)
{
    const auto count = static_cast<std::size_t>(GetLineCount());
    if (const std::size_t i = FirstLineWithD(record_, count, d); i < count) {
        if (ReadI16LE(record_, IntensityOffset(i)) < intensity)
            WriteI16LE(record_, IntensityOffset(i), intensity);
        return;
    }
    if (count >= layout::kMaxLines)
        throw Exception(Format("The pattern already contains the maximum number of lines (%d).",
                               static_cast<int>(layout::kMaxLines)));
    WriteF32LE(record_, DOffset(count), d);
    WriteI16LE(record_, IntensityOffset(count), intensity);
    WriteI16LE(record_, HOffset(count), h);
    WriteI16LE(record_, KOffset(count), k);
    WriteI16LE(record_, LOffset(count), l);
    record_[layout::LineCount] = static_cast<std::uint8_t>(count + 1);
}

float TReferencePattern::GetD(int index) const
{
    CheckIndex(index, GetLineCount(), kInvalidIndex);
    return ReadF32LE(record_, DOffset(static_cast<std::size_t>(index)));
}

std::int16_t TReferencePattern::GetIntensity(int index) const
{
    CheckIndex(index, GetLineCount(), kInvalidIndex);
    return ReadI16LE(record_, IntensityOffset(static_cast<std::size_t>(index)));
}

std::int16_t TReferencePattern::GetH(int index) const
{
    CheckIndex(index, GetLineCount(), kInvalidIndex);
    return ReadI16LE(record_, HOffset(static_cast<std::size_t>(index)));
}

std::int16_t TReferencePattern::GetK(int index) const
{
    CheckIndex(index, GetLineCount(), kInvalidIndex);
    return ReadI16LE(record_, KOffset(static_cast<std::size_t>(index)));
}

std::int16_t TReferencePattern::GetL(int index) const
{
    CheckIndex(index, GetLineCount(), kInvalidIndex);
    return ReadI16LE(record_, LOffset(static_cast<std::size_t>(index)));
}

float TReferencePattern::GetRelativeIntensity(int index) const
{
    CheckIndex(index, GetLineCount(), "Invalid Index");
    return RelativeIntensity(ReadI16LE(record_, IntensityOffset(static_cast<std::size_t>(index))));
}

float TReferencePattern::RelativeIntensity(std::int16_t intensity) const
{
    const std::int16_t maxIntensity = GetMaxIntensity();
    if (maxIntensity == 0)
        return 0; // no strongest line to compare with
    return static_cast<float>(static_cast<double>(intensity) * 100.0 / maxIntensity);
}

DiffractionLine TReferencePattern::GetLine(int index) const
{
    CheckIndex(index, GetLineCount(), kInvalidIndex);
    return {GetD(index), GetRelativeIntensity(index), GetH(index), GetK(index), GetL(index)};
}

void TReferencePattern::SortLinesByD()
{
    ExchangeSortLines(record_, static_cast<std::size_t>(GetLineCount()), DescendingD, DescendingDKey);
}

void TReferencePattern::SortLinesByIntensity()
{
    ExchangeSortLines(record_, static_cast<std::size_t>(GetLineCount()), DescendingIntensity,
                      DescendingIntensityKey);
}

std::vector<DiffractionLine> TReferencePattern::FirstLinesByIntensity(int count) const
{
    std::vector<TLineValues> lines = ReadLines(record_, static_cast<std::size_t>(GetLineCount()));
    const std::size_t rows = std::min(lines.size(), static_cast<std::size_t>(std::max(count, 0)));
    ExchangeSortValues(lines, rows, DescendingIntensity, DescendingIntensityKey);
    std::vector<DiffractionLine> first(rows);
    for (std::size_t i = 0; i < rows; ++i)
        first[i] = {lines[i].D, RelativeIntensity(lines[i].Intensity), lines[i].H, lines[i].K, lines[i].L};
    return first;
}

bool TReferencePattern::LinesStrictlyDescendingByD() const
{
    const auto count = static_cast<std::size_t>(GetLineCount());
    for (std::size_t i = 0; i < count; ++i) {
        const float d = ReadF32LE(record_, DOffset(i));
        if (d != d || (i > 0 && !(d < ReadF32LE(record_, DOffset(i - 1)))))
            return false;
    }
    return true;
}

void TReferencePattern::UpdateMaxIntensity()
{
    std::int16_t maxIntensity = 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(GetLineCount()); ++i)
        maxIntensity = std::max(maxIntensity, ReadI16LE(record_, IntensityOffset(i)));
    WriteI16LE(record_, layout::MaxIntensity, maxIntensity);
}

std::int16_t TReferencePattern::GetMaxIntensity() const
{
    return ReadI16LE(record_, layout::MaxIntensity);
}

} // namespace norrvik
