// The index files of a target database: entry texts of a pattern, the binary
// index records, the text-index file format, the sort of a text index and the
// binary search over a sorted index (the quicksort itself is in IndexSort.cpp).
#include "Indexes.h"

#include "common/Exceptions.h"
#include "common/Format.h"
#include "common/LargeBuffers.h"
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
static_assert(ReferenceCode + LengthPrefixedSize(kIndexReferenceCodeCapacity) == kIndexRecordSize);
} // namespace index_layout

namespace crystal_layout {
inline constexpr std::size_t Values2To7 = 0;     // single[6]
inline constexpr std::size_t kValues2To7Size = 24;
inline constexpr std::size_t Value11 = 24;       // single
inline constexpr std::size_t Value9Or10 = 28;    // single
inline constexpr std::size_t Value8 = 32;        // single
inline constexpr std::size_t NumberLowByte = 36; // uint8
inline constexpr std::size_t ClassByte = 37;     // uint8
inline constexpr std::size_t Value1 = 38;        // single
inline constexpr std::size_t ReferenceCode = 42; // length-prefixed, capacity 9
static_assert(Values2To7 + kValues2To7Size == Value11);
static_assert(ReferenceCode + LengthPrefixedSize(kIndexReferenceCodeCapacity) ==
              kCrystalIndexRecordSize);
} // namespace crystal_layout

namespace strongest_layout {
inline constexpr std::size_t ReferenceNumber = 0; // int32
inline constexpr std::size_t Count = 4;           // uint8, then one zero byte
inline constexpr std::size_t DCodes = 6;          // int16[8]
inline constexpr std::size_t Intensities = 22;    // int16[8], then two zero bytes
inline constexpr std::size_t kMaxLines = 8;
static_assert(DCodes + 2 * kMaxLines == Intensities);
static_assert(Intensities + 2 * kMaxLines + 2 == kStrongestLinesRecordSize);
} // namespace strongest_layout

// A single-precision value of the crystal index is four record bytes copied
// as they stand, so every bit pattern (NaNs included) survives.
inline constexpr std::size_t kSingleSize = 4;

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
    WriteLengthPrefixedString(record, offset, kIndexReferenceCodeCapacity,
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
class TLineReader {
public:
    explicit TLineReader(std::string_view content) : content_(content) {}

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
              crystal_layout::kValues2To7Size);
    CopyBytes(source, pl::CrystalValue11, record, crystal_layout::Value11, kSingleSize);
    const std::size_t value9Or10 =
        ReadF32LE(source, pl::CrystalValue9) >= 1.0f ? pl::CrystalValue9 : pl::CrystalValue10;
    CopyBytes(source, value9Or10, record, crystal_layout::Value9Or10, kSingleSize);
    CopyBytes(source, pl::CrystalValue8, record, crystal_layout::Value8, kSingleSize);
    // The low byte of the little-endian CrystalNumber is its first byte.
    CopyBytes(source, pl::CrystalNumber, record, crystal_layout::NumberLowByte, 1);
    CopyBytes(source, pl::CrystalClassByte, record, crystal_layout::ClassByte, 1);
    CopyBytes(source, pl::CrystalValue1, record, crystal_layout::Value1, kSingleSize);
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
        std::min(static_cast<std::size_t>(pattern.GetLineCount()), strongest_layout::kMaxLines));
    for (std::size_t i = 0; i < strongest.size(); ++i)
        strongest[i] = pattern.GetLine(static_cast<int>(i));
    const StrongestLinesRecord record = StrongestLinesRecordOf(pattern, strongest);
    pattern.SortLinesByD();
    return record;
}

StrongestLinesRecord MakeStrongestLinesRecordOf(const TReferencePattern& pattern)
{
    return StrongestLinesRecordOf(pattern,
                                  pattern.FirstLinesByIntensity(static_cast<int>(strongest_layout::kMaxLines)));
}

bool SameStrongestLines(ConstBytes a, ConstBytes b)
{
    using namespace strongest_layout;
    if (a.size() != kStrongestLinesRecordSize || b.size() != kStrongestLinesRecordSize ||
        ReadI32LE(a, ReferenceNumber) != ReadI32LE(b, ReferenceNumber) || ReadU8(a, Count) != ReadU8(b, Count))
        return false;
    const std::size_t slots = std::min<std::size_t>(ReadU8(a, Count), kMaxLines);
    const auto sameSlots = [&](std::size_t offset) {
        return std::equal(a.begin() + offset, a.begin() + offset + 2 * slots, b.begin() + offset);
    };
    return sameSlots(DCodes) && sameSlots(Intensities);
}

TStrongestLinesEntry ReadStrongestLinesRecord(ConstBytes record)
{
    TStrongestLinesEntry entry;
    entry.ReferenceNumber = ReadI32LE(record, strongest_layout::ReferenceNumber);
    entry.Count = std::min<std::uint8_t>(ReadU8(record, strongest_layout::Count),
                                         static_cast<std::uint8_t>(strongest_layout::kMaxLines));
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

std::size_t TextIndexFileBytesAtMost(const TIndexes& entries)
{
    std::size_t size = kIndexEntryLineFrame; // the count line
    for (const TIndexedString& entry : entries)
        size += entry.Text.size() + kIndexEntryLineFrame;
    return size;
}

std::string FormatTextIndex(const TIndexes& entries)
{
    std::string content;
    ReserveLarge(content, TextIndexFileBytesAtMost(entries));
    content.append(FormatIndexCount(entries.size()));
    content.append("\r\n");
    for (const TIndexedString& entry : entries)
        AppendIndexEntryLine(content, entry.RecordNumber, entry.Text);
    return content;
}

bool ParseIndexCountLine(std::string_view line, std::int32_t& count)
{
    std::size_t blanks = 0;
    while (blanks < line.size() && line[blanks] == ' ')
        ++blanks;
    return ParseDecimal(line.substr(blanks), count) && count >= 0;
}

bool ParseIndexEntryLine(std::string_view line, TIndexEntryView& entry)
{
    const std::string_view trimmed = TrimView(line);
    const std::size_t blank = trimmed.find(' ');
    if (!ParseDecimal(trimmed.substr(0, blank), entry.RecordNumber))
        return false;
    entry.Text = blank == std::string_view::npos ? std::string_view() : trimmed.substr(blank + 1);
    return true;
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
    TLineReader lines(content);
    std::string_view line;
    if (!lines.Next(line) || line.empty())
        throw Exception(Format("No data in index file \"%s\".", fullPath.c_str()));
    std::int32_t count = 0;
    if (!ParseIndexCountLine(line, count))
        ThrowIndexFileError(fullPath);

    // Every entry line takes at least two bytes, so a damaged count cannot
    // make this reserve more than the file could hold.
    reserve(std::min(static_cast<std::size_t>(count), content.size() / 2));
    for (std::int32_t n = 0; n < count; ++n) {
        if (!lines.Next(line))
            ThrowIndexFileError(fullPath); // fewer entry lines than counted
        TIndexEntryView entry;
        if (!ParseIndexEntryLine(line, entry))
            ThrowIndexFileError(fullPath);
        take(entry.RecordNumber, entry.Text);
    }
}

} // namespace

TIndexes ParseTextIndex(std::string_view content, const std::string& fullPath)
{
    TIndexes entries;
    ParseTextIndexEntries(
        content, fullPath, [&](std::size_t count) { ReserveLarge(entries, IndexCapacityFor(count)); },
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
        content, fullPath, [&](std::size_t count) { ReserveLarge(entries, count); },
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
