// The index files of a target database: entry texts of a pattern, the binary
// index records, the text-index file format, the exact quicksort and the
// binary search over a sorted index.
#include "Indexes.h"

#include "common/Exceptions.h"
#include "common/Format.h"
#include "common/LengthPrefixedString.h"
#include "common/Numbers.h"
#include "common/Text.h"
#include "refdb/ReferencePattern.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <limits>
#include <unordered_map>
#include <tuple>
#include <utility>

namespace norrvik {

namespace {

// ---- offsets of the binary index records ----

namespace index_layout {
inline constexpr std::size_t Elements = 0;      // ElementSet
inline constexpr std::size_t Subfiles = 14;     // uint32
inline constexpr std::size_t Status = 18;       // int16
inline constexpr std::size_t StatusByte = 20;   // uint8
inline constexpr std::size_t ReferenceCode = 21; // length-prefixed, capacity 9
static_assert(Elements + std::tuple_size_v<ElementSet> == Subfiles);
static_assert(ReferenceCode + LengthPrefixedSize(IndexReferenceCodeCapacity) == IndexRecordSize);
} // namespace index_layout

namespace crystal_layout {
inline constexpr std::size_t Values2To7 = 0;     // single[6]
inline constexpr std::size_t Values2To7Size = 24;
inline constexpr std::size_t Value11 = 24;       // single
inline constexpr std::size_t Value9Or10 = 28;    // single
inline constexpr std::size_t Value8 = 32;        // single
inline constexpr std::size_t NumberLowByte = 36; // uint8
inline constexpr std::size_t ClassByte = 37;     // uint8
inline constexpr std::size_t Value1 = 38;        // single
inline constexpr std::size_t ReferenceCode = 42; // length-prefixed, capacity 9
static_assert(Values2To7 + Values2To7Size == Value11);
static_assert(ReferenceCode + LengthPrefixedSize(IndexReferenceCodeCapacity) ==
              CrystalIndexRecordSize);
} // namespace crystal_layout

namespace strongest_layout {
inline constexpr std::size_t ReferenceNumber = 0; // int32
inline constexpr std::size_t Count = 4;           // uint8, then one zero byte
inline constexpr std::size_t DCodes = 6;          // int16[8]
inline constexpr std::size_t Intensities = 22;    // int16[8], then two zero bytes
inline constexpr std::size_t MaxLines = 8;
static_assert(DCodes + 2 * MaxLines == Intensities);
static_assert(Intensities + 2 * MaxLines + 2 == StrongestLinesRecordSize);
} // namespace strongest_layout

// A single-precision value of the crystal index is four record bytes copied
// as they stand, so every bit pattern (NaNs included) survives.
inline constexpr std::size_t SingleSize = 4;

void CopyBytes(ConstBytes source, std::size_t sourceOffset, MutableBytes dest,
               std::size_t destOffset, std::size_t size)
{
    CheckByteRange(source.size(), sourceOffset, size);
    CheckByteRange(dest.size(), destOffset, size);
    std::memcpy(dest.data() + destOffset, source.data() + sourceOffset, size);
}

void WriteIndexReferenceCode(MutableBytes record, std::size_t offset,
                             const TReferencePattern& pattern)
{
    WriteLengthPrefixedString(record, offset, IndexReferenceCodeCapacity,
                              pattern.GetStoredReferenceCode());
}

// ---- entry texts ----

std::vector<std::string> SingleValue(std::string value)
{
    std::vector<std::string> values;
    values.push_back(std::move(value));
    return values;
}

// The rebuild's rule for a single value: one cleaned entry when not empty.
std::vector<std::string> CleanedWhenNotEmpty(const std::string& value)
{
    if (value.empty())
        return {};
    return SingleValue(CleanIndexText(value));
}

std::vector<std::string> TrimmedNames(const TReferencePattern& pattern)
{
    std::vector<std::string> names;
    const int count = pattern.GetNameCount();
    names.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        names.push_back(Trim(pattern.GetNameAt(i).Text));
    return names;
}

// The formula entries both writers share: the first formula when the
// pattern has one, the second when it has two, and the formula line when it
// differs from both (exact comparison). With `skipEmpty` an empty formula
// gives no entry.
std::vector<std::string> FormulaValues(const TReferencePattern& pattern, bool skipEmpty)
{
    const int count = pattern.GetFormulaCount();
    const std::string first = pattern.GetFirstFormula();
    const std::string second = pattern.GetSecondFormula();
    const std::string line = pattern.GetFormulaLine();
    std::vector<std::string> values;
    if (count >= 1 && !(skipEmpty && first.empty()))
        values.push_back(first);
    if (count > 1 && !(skipEmpty && second.empty()))
        values.push_back(second);
    if (!line.empty() && line != first && line != second)
        values.push_back(line);
    return values;
}

// ---- text index parsing ----

std::string_view TrimView(std::string_view text)
{
    while (!text.empty() && IsBlankOrControl(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlankOrControl(text.back()))
        text.remove_suffix(1);
    return text;
}

// A decimal 32-bit number with an optional sign and nothing else.
bool ParseDecimal(std::string_view text, std::int32_t& value)
{
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-')
            return false;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// Splits a text file into lines by the rule of every database text file.
class LineReader {
public:
    explicit LineReader(std::string_view content) : content_(content) {}

    // The next line without its line end; false when the content is used up.
    bool Next(std::string_view& line) { return NextTextLine(content_, position_, line); }

private:
    std::string_view content_;
    std::size_t position_ = 0;
};

[[noreturn]] void ThrowIndexFileError(const std::string& fullPath)
{
    throw Exception(Format("Error in index file %s", fullPath.c_str()));
}

// ---- sorting ----

inline bool EntryLess(const TIndexedString& a, const TIndexedString& b)
{
    return IndexTextLess(a.Text, b.Text);
}

std::uint64_t RankOf(std::uint64_t key) { return key >> 32; }

// One bit per adjacent pair (k, k + 1) of positions, in words kept elsewhere.
class PairBits {
public:
    explicit PairBits(std::vector<std::uint64_t>& words) : words_(words) {}

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

private:
    std::vector<std::uint64_t>& words_;
};

// Brings the marks up to date for `keys`: the words from the one holding the
// first pair not yet described on (all of them for marks describing none).
void UpdateMarks(const std::vector<std::uint64_t>& keys, RankedKeyMarks& marks)
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
class MarkedKeys {
public:
    MarkedKeys(std::vector<std::uint64_t>& keys, RankedKeyMarks& marks)
        : keys_(keys), size_(static_cast<std::ptrdiff_t>(keys.size())), unordered_(marks.Unordered),
          descending_(marks.Descending)
    {
        UpdateMarks(keys, marks);
#ifndef NDEBUG
        // Marks kept from an earlier sort must be those of the array as it is.
        RankedKeyMarks fresh;
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
    // first and one past the last. In an ascending range a pair is marked
    // unordered exactly when its ranks are equal, so the run reaches from
    // the last unmarked pair before p to the first one from p on (a search
    // through the marks near p, not through the keys).
    std::pair<std::ptrdiff_t, std::ptrdiff_t> EqualRunAround(std::ptrdiff_t lo, std::ptrdiff_t hi, std::ptrdiff_t p) const
    {
        const std::ptrdiff_t first = unordered_.Previous(p - 1, lo, false) + 1;
        const auto last = static_cast<std::ptrdiff_t>(
            unordered_.Next(static_cast<std::size_t>(p), static_cast<std::size_t>(hi), false));
        return {first, last + 1};
    }

    // Reverses lo..hi (of one rank).
    void Reverse(std::ptrdiff_t lo, std::ptrdiff_t hi) { std::reverse(At(lo), At(hi + 1)); }

    // Puts keys lo..hi (of one rank) in the order `order` gives: position
    // lo + k receives the key from lo + order[k]. False when none moves.
    bool Rearrange(std::ptrdiff_t lo, const std::vector<std::uint32_t>& order)
    {
        // Kept from call to call: a new one per sort would take fresh pages
        // from the system each time.
        thread_local std::vector<std::uint64_t> old;
        old.assign(At(lo), At(lo + static_cast<std::ptrdiff_t>(order.size())));
        bool moved = false;
        for (std::size_t k = 0; k < order.size(); ++k) {
            keys_[static_cast<std::size_t>(lo) + k] = old[order[k]];
            moved = moved || order[k] != k;
        }
        return moved;
    }

    // The first position from i on whose rank is not below `pivot` (the
    // quicksort's upward scan; it stops at `hi` at the latest).
    std::ptrdiff_t FirstNotBelow(std::ptrdiff_t i, std::uint64_t pivot, std::ptrdiff_t hi) const
    {
        while (Rank(i) < pivot) {
            // i..stop ascend (not strictly): a binary search finds the stop.
            const auto stop = static_cast<std::ptrdiff_t>(
                descending_.Next(static_cast<std::size_t>(i), static_cast<std::size_t>(hi)));
            const auto found = std::lower_bound(At(i), At(stop + 1), pivot,
                                                [](std::uint64_t key, std::uint64_t p) { return RankOf(key) < p; });
            if (found != At(stop + 1))
                return found - keys_.begin();
            i = stop + 1;
        }
        return i;
    }

    // The last position from j down whose rank is not above `pivot` (the
    // downward scan; it stops at `lo` at the latest).
    std::ptrdiff_t LastNotAbove(std::ptrdiff_t j, std::uint64_t pivot, std::ptrdiff_t lo) const
    {
        while (pivot < Rank(j)) {
            const std::ptrdiff_t start = descending_.Previous(j - 1, lo) + 1;
            const auto found = std::upper_bound(At(start), At(j + 1), pivot,
                                                [](std::uint64_t p, std::uint64_t key) { return p < RankOf(key); });
            if (found != At(start))
                return (found - keys_.begin()) - 1;
            j = start - 1;
        }
        return j;
    }

private:
    std::vector<std::uint64_t>::iterator At(std::ptrdiff_t p) const { return keys_.begin() + p; }

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
    PairBits unordered_;
    PairBits descending_;
};

} // namespace

// ---------------------------------------------------------------------------

std::string_view TextIndexFileName(TextIndex index)
{
    switch (index) {
    case TextIndex::ReferenceCode: return kReferenceCodeFileName;
    case TextIndex::Name: return kNameFileName;
    case TextIndex::MineralName: return kMineralNameFileName;
    case TextIndex::Formula: return kFormulaFileName;
    case TextIndex::Color: return kColorFileName;
    case TextIndex::Journal: return kJournalFileName;
    case TextIndex::Author: return kAuthorFileName;
    }
    NORRVIK_ASSERT(false, "Unknown text index");
    return {};
}

std::string CleanIndexText(std::string_view text)
{
    std::string cleaned(text);
    for (char& c : cleaned)
        if (static_cast<unsigned char>(c) < 32)
            c = ' ';
    return cleaned;
}

std::string StoredReferenceCodeText(const TReferencePattern& pattern)
{
    return pattern.GetStoredReferenceCode();
}

std::vector<std::string> RebuildIndexTexts(TextIndex index, TReferencePattern& pattern)
{
    switch (index) {
    case TextIndex::ReferenceCode:
        // Always one entry, taken as stored.
        return SingleValue(pattern.GetStoredReferenceCode());
    case TextIndex::Name: {
        std::vector<std::string> names;
        for (std::string& name : TrimmedNames(pattern))
            if (!name.empty())
                names.push_back(CleanIndexText(name));
        return names;
    }
    case TextIndex::MineralName: return CleanedWhenNotEmpty(pattern.GetMineralName());
    case TextIndex::Formula: {
        std::vector<std::string> formulas = FormulaValues(pattern, true);
        for (std::string& formula : formulas)
            formula = CleanIndexText(formula);
        return formulas;
    }
    case TextIndex::Color: return CleanedWhenNotEmpty(pattern.GetColor());
    case TextIndex::Journal: return CleanedWhenNotEmpty(pattern.GetJournal());
    case TextIndex::Author: return CleanedWhenNotEmpty(pattern.GetAuthors());
    }
    NORRVIK_ASSERT(false, "Unknown text index");
    return {};
}

std::vector<std::string> AddedIndexTexts(TextIndex index, TReferencePattern& pattern)
{
    std::vector<std::string> values;
    switch (index) {
    case TextIndex::ReferenceCode: values = SingleValue(pattern.GetStoredReferenceCode()); break;
    case TextIndex::Name: values = TrimmedNames(pattern); break;
    case TextIndex::MineralName: values = SingleValue(pattern.GetMineralName()); break;
    case TextIndex::Formula: values = FormulaValues(pattern, false); break;
    case TextIndex::Color: values = SingleValue(pattern.GetColor()); break;
    case TextIndex::Journal: values = SingleValue(pattern.GetJournal()); break;
    case TextIndex::Author: values = SingleValue(pattern.GetAuthors()); break;
    }
    // A line break inside a value would split its entry over two lines of
    // the index file and make the file unreadable.
    for (std::string& value : values)
        value = LineBreaksAsBlanks(std::move(value));
    return values;
}

// ---------------------------------------------------------------------------

IndexRecord MakeIndexRecord(const TReferencePattern& pattern)
{
    IndexRecord record{};
    const ElementSet elements = pattern.GetElements();
    std::copy(elements.begin(), elements.end(), record.begin() + index_layout::Elements);
    WriteU32LE(record, index_layout::Subfiles, pattern.GetSubfiles());
    WriteI16LE(record, index_layout::Status, pattern.GetStatus());
    WriteU8(record, index_layout::StatusByte, pattern.GetStatusByte());
    WriteIndexReferenceCode(record, index_layout::ReferenceCode, pattern);
    return record;
}

CrystalIndexRecord MakeCrystalIndexRecord(const TReferencePattern& pattern)
{
    namespace pl = pattern_layout;
    const PatternRecord& source = pattern.Record();
    CrystalIndexRecord record{};
    CopyBytes(source, pl::CrystalValue2, record, crystal_layout::Values2To7,
              crystal_layout::Values2To7Size);
    CopyBytes(source, pl::CrystalValue11, record, crystal_layout::Value11, SingleSize);
    const std::size_t value9Or10 =
        ReadF32LE(source, pl::CrystalValue9) >= 1.0f ? pl::CrystalValue9 : pl::CrystalValue10;
    CopyBytes(source, value9Or10, record, crystal_layout::Value9Or10, SingleSize);
    CopyBytes(source, pl::CrystalValue8, record, crystal_layout::Value8, SingleSize);
    // The low byte of the little-endian CrystalNumber is its first byte.
    CopyBytes(source, pl::CrystalNumber, record, crystal_layout::NumberLowByte, 1);
    CopyBytes(source, pl::CrystalClassByte, record, crystal_layout::ClassByte, 1);
    CopyBytes(source, pl::CrystalValue1, record, crystal_layout::Value1, SingleSize);
    WriteIndexReferenceCode(record, crystal_layout::ReferenceCode, pattern);
    return record;
}

std::int16_t StrongestLineDCode(float d)
{
    if (d != d)
        return 0;
    if (d == 0.0f)
        return std::numeric_limits<std::int16_t>::max();
    const long double quotient = 16384.0L / static_cast<long double>(d);
    // Narrowing to double cannot move the quotient onto or across a half:
    // 16384 / d of a single-precision d lies at least 2^-25 away from any
    // half, far more than a double's rounding step there.
    return RoundHalfEvenClamped<std::int16_t>(static_cast<double>(quotient));
}

std::int16_t StrongestLineIntensityCode(float relativeIntensity)
{
    // A single times 10 is exact in double precision.
    return RoundHalfEvenClamped<std::int16_t>(static_cast<double>(relativeIntensity) * 10.0);
}

namespace {

StrongestLinesRecord StrongestLinesRecordOf(const TReferencePattern& pattern,
                                            const std::vector<DiffractionLine>& strongest)
{
    StrongestLinesRecord record{};
    WriteI32LE(record, strongest_layout::ReferenceNumber, pattern.GetReferenceNumber());
    WriteU8(record, strongest_layout::Count, static_cast<std::uint8_t>(strongest.size()));
    for (std::size_t i = 0; i < strongest.size(); ++i) {
        WriteI16LE(record, strongest_layout::DCodes + 2 * i, StrongestLineDCode(strongest[i].D));
        WriteI16LE(record, strongest_layout::Intensities + 2 * i,
                   StrongestLineIntensityCode(strongest[i].RelativeIntensity));
    }
    return record;
}

} // namespace

StrongestLinesRecord MakeStrongestLinesRecord(TReferencePattern& pattern)
{
    pattern.SortLinesByIntensity();
    std::vector<DiffractionLine> strongest(
        std::min(static_cast<std::size_t>(pattern.GetLineCount()), strongest_layout::MaxLines));
    for (std::size_t i = 0; i < strongest.size(); ++i)
        strongest[i] = pattern.GetLine(static_cast<int>(i));
    const StrongestLinesRecord record = StrongestLinesRecordOf(pattern, strongest);
    pattern.SortLinesByD();
    return record;
}

StrongestLinesRecord MakeStrongestLinesRecordOf(const TReferencePattern& pattern)
{
    return StrongestLinesRecordOf(pattern,
                                  pattern.FirstLinesByIntensity(static_cast<int>(strongest_layout::MaxLines)));
}

StrongestLinesEntry ReadStrongestLinesRecord(ConstBytes record)
{
    StrongestLinesEntry entry;
    entry.ReferenceNumber = ReadI32LE(record, strongest_layout::ReferenceNumber);
    entry.Count = std::min<std::uint8_t>(ReadU8(record, strongest_layout::Count),
                                         static_cast<std::uint8_t>(strongest_layout::MaxLines));
    for (std::size_t i = 0; i < entry.Count; ++i) {
        entry.DCodes[i] = ReadI16LE(record, strongest_layout::DCodes + 2 * i);
        entry.Intensities[i] = ReadI16LE(record, strongest_layout::Intensities + 2 * i);
    }
    return entry;
}

double DSpacingOfDCode(std::int16_t code)
{
    return code > 0 ? 16384.0 / code : 0.0;
}

// ---------------------------------------------------------------------------

std::string FormatIndexCount(std::size_t count)
{
    return Format("%7zu", count);
}

void AppendIndexEntryLine(std::string& out, std::int32_t recordNumber, std::string_view text)
{
    char digits[16];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, recordNumber);
    NORRVIK_ASSERT(error == std::errc(), "Record number not formatted");
    out.append(digits, end);
    out.push_back(' ');
    out.append(text);
    out.append("\r\n");
}

std::string FormatIndexEntryLine(std::int32_t recordNumber, std::string_view text)
{
    std::string line;
    AppendIndexEntryLine(line, recordNumber, text);
    return line;
}

std::string FormatTextIndex(const TIndexes& entries)
{
    // 11 digits and sign, the blank and the line end bound every line's frame.
    std::size_t size = 16;
    for (const TIndexedString& entry : entries)
        size += entry.Text.size() + 16;
    std::string content;
    content.reserve(size);
    content.append(FormatIndexCount(entries.size()));
    content.append("\r\n");
    for (const TIndexedString& entry : entries)
        AppendIndexEntryLine(content, entry.RecordNumber, entry.Text);
    return content;
}

std::size_t IndexCapacityFor(std::size_t entries)
{
    return entries + entries / 16;
}

namespace {

// Reads a text index entry by entry, handing each to `take` (record number,
// text viewed in `content`); returns nothing, raises the index-file errors.
// `reserve` is told an upper bound of the entries first.
template <typename Reserve, typename Take>
void ParseTextIndexEntries(std::string_view content, const std::string& fullPath, Reserve reserve, Take take)
{
    LineReader lines(content);
    std::string_view line;
    if (!lines.Next(line) || line.empty())
        throw Exception(Format("No data in index file \"%s\".", fullPath.c_str()));
    std::size_t blanks = 0;
    while (blanks < line.size() && line[blanks] == ' ')
        ++blanks;
    std::int32_t count = 0;
    if (!ParseDecimal(line.substr(blanks), count) || count < 0)
        ThrowIndexFileError(fullPath);

    // Every entry line takes at least two bytes, so a damaged count cannot
    // make this reserve more than the file could hold.
    reserve(std::min(static_cast<std::size_t>(count), content.size() / 2));
    for (std::int32_t n = 0; n < count; ++n) {
        if (!lines.Next(line))
            ThrowIndexFileError(fullPath); // fewer entry lines than counted
        const std::string_view trimmed = TrimView(line);
        const std::size_t blank = trimmed.find(' ');
        const std::string_view number = trimmed.substr(0, blank);
        std::int32_t recordNumber = 0;
        if (!ParseDecimal(number, recordNumber))
            ThrowIndexFileError(fullPath);
        take(recordNumber, blank == std::string_view::npos ? std::string_view() : trimmed.substr(blank + 1));
    }
}

} // namespace

TIndexes ParseTextIndex(std::string_view content, const std::string& fullPath)
{
    TIndexes entries;
    ParseTextIndexEntries(
        content, fullPath, [&](std::size_t count) { entries.reserve(IndexCapacityFor(count)); },
        [&](std::int32_t recordNumber, std::string_view text) {
            TIndexedString entry;
            entry.RecordNumber = recordNumber;
            entry.Text.assign(text);
            entries.push_back(std::move(entry));
        });
    return entries;
}

std::vector<TIndexEntryView> ParseTextIndexViews(std::string_view content, const std::string& fullPath)
{
    std::vector<TIndexEntryView> entries;
    ParseTextIndexEntries(
        content, fullPath, [&](std::size_t count) { entries.reserve(count); },
        [&](std::int32_t recordNumber, std::string_view text) { entries.push_back({text, recordNumber}); });
    return entries;
}

// ---------------------------------------------------------------------------

bool IndexTextLess(std::string_view a, std::string_view b)
{
    const std::size_t common = std::min(a.size(), b.size());
    const int order = common == 0 ? 0 : std::memcmp(a.data(), b.data(), common);
    return order < 0 || (order == 0 && a.size() < b.size());
}

bool IndexTextHasPrefix(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

void UpperCaseIndexTexts(TIndexes& entries)
{
    for (TIndexedString& entry : entries)
        for (char& c : entry.Text)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - ('a' - 'A'));
}

void QuickSortIndexes(TIndexes& entries, std::ptrdiff_t lo, std::ptrdiff_t hi)
{
    if (hi < lo)
        return;
    NORRVIK_ASSERT(lo >= 0 && hi < static_cast<std::ptrdiff_t>(entries.size()),
                   "Sort range outside the index");
    IndexQuickSort(entries, lo, hi, EntryLess);
}

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

bool QuickSortRankedKeys(std::vector<std::uint64_t>& keys)
{
    RankedKeyMarks marks;
    return QuickSortRankedKeys(keys, marks);
}

namespace {

// One run of QuickSortRankedKeys: the ranges of IndexQuickSort in the same
// order (see there), each taken by the shortest way that makes the same
// exchanges.
class TRankedQuickSort {
public:
    TRankedQuickSort(std::vector<std::uint64_t>& keys, RankedKeyMarks& marks) : marked_(keys, marks)
    {
        pending_.push_back({0, static_cast<std::ptrdiff_t>(keys.size()) - 1, false});
    }

    // True when any key moved.
    bool Run()
    {
        while (!pending_.empty()) {
            const Range range = pending_.back();
            pending_.pop_back();
            Sort(range);
        }
        return moved_;
    }

private:
    // A range to sort; `Ascending` when it is known not to descend anywhere
    // (every range within an ascending one stays so: only runs of equal
    // ranks are reversed there).
    struct Range {
        std::ptrdiff_t Lo;
        std::ptrdiff_t Hi;
        bool Ascending;
    };

    void Sort(const Range& range)
    {
        const auto [lo, hi, knownAscending] = range;
        // No exchange happens in a strictly increasing range, at any depth.
        if (marked_.StrictlyIncreasing(lo, hi))
            return;
        const bool ascending = knownAscending || marked_.Ascending(lo, hi);
        if (ascending && marked_.Rank(lo) == marked_.Rank(hi)) {
            if (const std::vector<std::uint32_t>* order = EqualRangeOrder(static_cast<std::size_t>(hi - lo + 1))) {
                moved_ = marked_.Rearrange(lo, *order) || moved_;
                return;
            }
        }
        if (hi - lo < 10)
            ascending ? RearrangeEqualRuns(lo, hi) : ExchangeSort(lo, hi);
        else
            ascending ? SplitAscending(lo, hi) : Partition(lo, hi);
    }

    // A small ascending range: exchanges happen within each run of equal
    // ranks alone, as in a range of that many equal values.
    void RearrangeEqualRuns(std::ptrdiff_t lo, std::ptrdiff_t hi)
    {
        for (std::ptrdiff_t first = lo; first <= hi;) {
            std::ptrdiff_t last = first;
            while (last < hi && marked_.Rank(last + 1) == marked_.Rank(first))
                ++last;
            if (last > first)
                moved_ = marked_.Rearrange(first, *EqualRangeOrder(static_cast<std::size_t>(last - first + 1))) || moved_;
            first = last + 1;
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
    // in any case, be it of the pivot with itself).
    void SplitAscending(std::ptrdiff_t lo, std::ptrdiff_t hi)
    {
        const auto [first, end] = marked_.EqualRunAround(lo, hi, (lo + hi) / 2);
        const std::ptrdiff_t exchanges = std::max<std::ptrdiff_t>(1, (end - first) / 2);
        marked_.Reverse(first, end - 1);
        moved_ = moved_ || end - first > 1;
        pending_.push_back({first + exchanges, hi, true});
        pending_.push_back({lo, end - 1 - exchanges, true});
    }

    void Partition(std::ptrdiff_t lo, std::ptrdiff_t hi)
    {
        const std::uint64_t pivot = marked_.Rank((lo + hi) / 2);
        std::ptrdiff_t i = lo;
        std::ptrdiff_t j = hi;
        do {
            i = marked_.FirstNotBelow(i, pivot, hi);
            j = marked_.LastNotAbove(j, pivot, lo);
            if (j >= i) {
                Exchange(i, j);
                const std::ptrdiff_t next = i + 1;
                std::tie(i, j) = marked_.ExchangeEqualPairs(next, j - 1, pivot);
                moved_ = moved_ || i != next;
            }
        } while (j > i);
        pending_.push_back({i, hi, false});
        pending_.push_back({lo, j, false});
    }

    void Exchange(std::ptrdiff_t i, std::ptrdiff_t j)
    {
        moved_ = moved_ || i != j;
        marked_.Exchange(i, j);
    }

    MarkedKeys marked_;
    std::vector<Range> pending_;
    bool moved_ = false;
};

} // namespace

bool QuickSortRankedKeys(std::vector<std::uint64_t>& keys, RankedKeyMarks& marks)
{
    return TRankedQuickSort(keys, marks).Run();
}

void SortIndexes(TIndexes& entries)
{
    UpperCaseIndexTexts(entries);
    QuickSortIndexes(entries, 0, static_cast<std::ptrdiff_t>(entries.size()) - 1);
}

std::optional<std::size_t> FindIndexPosition(const TIndexes& entries, const std::string& key)
{
    if (entries.empty())
        return std::nullopt;
    const std::string upperKey = UpperCaseAscii(key);
    const auto size = static_cast<std::ptrdiff_t>(entries.size());
    const auto equalsKey = [&](std::ptrdiff_t p) {
        return p >= 0 && p < size && entries[static_cast<std::size_t>(p)].Text == upperKey;
    };
    // Integer division truncates towards zero, so mid stays within 0..size-1
    // even when hi has dropped to -1.
    std::ptrdiff_t lo = 0;
    std::ptrdiff_t hi = size - 1;
    std::ptrdiff_t mid = (lo + hi) / 2;
    bool found = equalsKey(mid);
    while (!found && lo < hi) {
        if (IndexTextLess(upperKey, entries[static_cast<std::size_t>(mid)].Text))
            hi = mid - 1;
        else
            lo = mid + 1;
        mid = (lo + hi) / 2;
        found = equalsKey(mid);
    }
    if (!found) {
        if (equalsKey(lo))
            mid = lo;
        else if (equalsKey(hi))
            mid = hi;
        else
            return std::nullopt;
    }
    while (equalsKey(mid - 1))
        --mid;
    return static_cast<std::size_t>(mid);
}

std::int32_t FindInIndex(const TIndexes& entries, std::int32_t& position, const std::string& key)
{
    if (entries.empty())
        throw Exception("Indexes not read");
    const std::optional<std::size_t> found = FindIndexPosition(entries, key);
    if (!found)
        throw Exception(Format("No pattern found with \"%s\".", ("Reference code " + key).c_str()));
    position = static_cast<std::int32_t>(*found);
    return entries[*found].RecordNumber;
}

} // namespace norrvik
