// The text and JSON forms of one pattern for `dump`, appended to a string:
// the text form's fixed decimals by the program's own digit writer (the
// exact characters printf gives, checked on every float value by
// bench/FixedDigitsCheck.cpp), JSON numbers through std::to_chars and the
// JSON library's own digits, texts that need escaping or hold non-ASCII
// bytes through the JSON library itself.
#include "cli/DumpFormat.h"

#include "cli/JsonOutput.h"
#include "common/ByteOrder.h"
#include "common/Format.h"
#include "common/Text.h"
#include "refdb/PatternLayout.h"
#include "refdb/ReferenceCodes.h"
#include "refdb/ReferencePattern.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

namespace norrvik {

namespace {

namespace layout = pattern_layout;

// The database's texts are Windows-1252; the terminal wants UTF-8.
void AppendShown(std::string& out, std::string_view bytes)
{
    AppendWindows1252AsUtf8(out, bytes);
}

// The codes of the subfiles in the mask, in table order, each after
// `separator` but the first: false when the mask names none.
bool AppendSubfileCodes(std::string& out, std::uint32_t mask, std::string_view separator, std::string_view quote)
{
    bool first = true;
    for (std::size_t bit = 0; bit < kSubfileCount; ++bit) {
        if ((mask & (std::uint32_t{1} << bit)) == 0)
            continue;
        const std::string_view row = kSubfileTable[bit];
        out.append(first ? "" : separator).append(quote).append(row.substr(0, row.find('='))).append(quote);
        first = false;
    }
    return !first;
}

// The four text lists of a pattern with their titles and JSON names.
struct TTextListName {
    TextList List;
    const char* Title;
    const char* Key;
};
constexpr TTextListName kTextLists[] = {
    {TextList::Comments, "Comments", "comments"},
    {TextList::CodedComments, "Coded comments", "coded_comments"},
    {TextList::References, "References", "references"},
    {TextList::SupplementLines, "Supplementary lines", "supplementary_lines"},
};

const std::vector<std::string>& ListNamed(const TReferencePattern& pattern, std::string_view key)
{
    for (const auto& [list, title, name] : kTextLists)
        if (key == name)
            return pattern.GetTextList(list);
    static const std::vector<std::string> none;
    return none;
}

// One line of a pattern as its record holds it: old databases store -128
// for a Miller index not known, and user databases 0 0 0 (no reflection
// has those indices).
struct TLineFields {
    float D;
    std::int16_t Intensity, H, K, L;

    bool IndicesGiven() const
    {
        return H != kUnknownMillerIndex && K != kUnknownMillerIndex && L != kUnknownMillerIndex &&
               (H != 0 || K != 0 || L != 0);
    }
};

// The line table of a record, its columns checked once: a listing reads
// millions of lines.
class TLineTable {
public:
    TLineTable(const PatternRecord& record, std::size_t count)
        : d_(record, layout::DOffset(0), count), intensity_(record, layout::IntensityOffset(0), count),
          h_(record, layout::HOffset(0), count), k_(record, layout::KOffset(0), count),
          l_(record, layout::LOffset(0), count)
    {
    }

    // Line i (below the count). Inline, so that the fields stay in
    // registers: read back from a returned struct, its 16-bit fields stall
    // the processor's store forwarding.
    [[gnu::always_inline]] TLineFields operator[](std::size_t i) const { return {d_[i], intensity_[i], h_[i], k_[i], l_[i]}; }
    // The d-spacing of line i alone.
    float D(std::size_t i) const { return d_[i]; }

private:
    TLittleEndianTable<float> d_;
    TLittleEndianTable<std::int16_t> intensity_, h_, k_, l_;
};

// The digits of `value` (with its sign) written backwards so that they end
// at `end`: where they begin. At most 20 characters.
char* IntegerBefore(char* end, long long value)
{
    auto magnitude = value < 0 ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    do {
        *--end = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        *--end = '-';
    return end;
}

// Blanks before `first` up to `width` characters ending at `end`, as printf
// pads a field on the left.
char* PaddedBefore(char* first, const char* end, int width)
{
    while (end - first < width)
        *--first = ' ';
    return first;
}

// printf's "%.*f" of a float (precision 0 to 9) written backwards to end at
// `end` (at most 22 characters): where it begins; nothing for a value that
// is not finite or has too many digits before the point for 64 bits.
// value = mantissa * 2^exponent exactly, so value * 10^precision is an
// integer division by a power of two, rounded half to even as printf rounds
// the exact binary value.
char* FixedFloatBefore(char* end, float value, int precision)
{
    constexpr std::uint64_t kPowersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000,
                                              1000000000};
    constexpr int kPowerBits[] = {0, 4, 7, 10, 14, 17, 20, 24, 27, 30}; // 10^p < 2^bits
    const auto bits = std::bit_cast<std::uint32_t>(value);
    const int biased = static_cast<int>((bits >> 23) & 0xffu);
    const std::uint64_t mantissa = (bits & 0x7fffffu) | (biased == 0 ? 0u : 0x800000u);
    const int exponent = std::max(biased, 1) - 150;
    // The product of the 24-bit mantissa, 10^precision and 2^exponent fits 63 bits.
    if (biased == 0xff || precision < 0 || precision > 9 || exponent > 63 - 24 - kPowerBits[precision])
        return nullptr;
    const std::uint64_t scaled = mantissa * kPowersOfTen[precision]; // below 2^54
    std::uint64_t units = 0;                                        // value * 10^precision, rounded
    if (exponent >= 0) {
        units = scaled << exponent;
    } else if (exponent > -56) { // from 2^-56 on, scaled is below half a unit
        const int shift = -exponent;
        units = scaled >> shift;
        const std::uint64_t rest = scaled & ((std::uint64_t{1} << shift) - 1);
        const std::uint64_t half = std::uint64_t{1} << (shift - 1);
        if (rest > half || (rest == half && (units & 1) != 0))
            ++units;
    }
    for (int i = 0; i < precision; ++i, units /= 10)
        *--end = static_cast<char>('0' + units % 10);
    if (precision > 0)
        *--end = '.';
    do {
        *--end = static_cast<char>('0' + units % 10);
        units /= 10;
    } while (units != 0);
    if ((bits >> 31) != 0)
        *--end = '-'; // printf keeps the sign of -0 and of what rounds to it
    return end;
}

// `value` right-aligned in `width` characters, as printf's "%*d".
void AppendInteger(std::string& out, long long value, int width = 0)
{
    char text[24];
    const char* first = IntegerBefore(text + sizeof text, value);
    const std::ptrdiff_t length = text + sizeof text - first;
    out.append(static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, width - length)), ' ');
    out.append(first, static_cast<std::size_t>(length));
}

void AppendLine(std::string& out, std::string_view first, std::string_view second = {})
{
    out.append(first);
    out.append(second);
    out.push_back('\n');
}

void AppendShownLine(std::string& out, std::string_view first, std::string_view bytes)
{
    out.append(first);
    AppendShown(out, bytes);
    out.push_back('\n');
}

void AppendNames(std::string& out, const TReferencePattern& pattern)
{
    const int count = pattern.GetNameCount();
    if (count == 0)
        AppendLine(out, "  Names:    none");
    for (int i = 0; i < count; ++i) {
        const TPatternName name = pattern.GetNameAt(i);
        out.append(i == 0 ? "  Names:    " : "            ");
        out.push_back(name.TypeLetter);
        AppendShownLine(out, " ", name.Text);
    }
}

// The longest row LineRowBefore writes: six blanks, a d-spacing of at most
// 22 characters, the intensity and three indices of six each, the newline.
constexpr std::size_t kMaxLineRow = 6 + 22 + 4 * 6 + 1;

// What follows a row's d-spacing, " %6d[ %5d %5d %5d]\n", written backwards
// to end at `end`: where it begins.
char* LineTailBefore(char* end, const TLineFields& line)
{
    char* first = end;
    *--first = '\n';
    if (line.IndicesGiven())
        for (const std::int16_t index : {line.L, line.K, line.H}) {
            first = PaddedBefore(IntegerBefore(first, index), first, 5);
            *--first = ' ';
        }
    first = PaddedBefore(IntegerBefore(first, line.Intensity), first, 6);
    *--first = ' ';
    return first;
}

// One line of the table as "      %10.5f %6d[ %5d %5d %5d]\n" gives it,
// written backwards to end at `end`: where it begins, or nothing for a
// d-spacing the own digit writer does not make.
char* LineRowBefore(char* end, const TLineFields& line)
{
    char* first = LineTailBefore(end, line);
    char* const d = FixedFloatBefore(first, line.D, 5);
    if (d == nullptr)
        return nullptr;
    first = PaddedBefore(d, first, 10) - 6;
    std::fill_n(first, 6, ' ');
    return first;
}

// The same row through printf's own formatting of the d-spacing.
void AppendLineRowByPrintf(std::string& out, const TLineFields& line)
{
    char tail[kMaxLineRow];
    const char* const first = LineTailBefore(tail + sizeof tail, line);
    out.append("      ");
    AppendFixed(out, static_cast<double>(line.D), 10, 5);
    out.append(first, static_cast<std::size_t>(tail + sizeof tail - first));
}

// The rows of the table, made backwards from the last in one buffer and
// appended at once (a listing writes millions of them); row by row where a
// d-spacing needs printf.
void AppendLineRows(std::string& out, const PatternRecord& record, std::size_t count)
{
    const TLineTable lines(record, count);
    char rows[layout::kMaxLines * kMaxLineRow];
    char* first = rows + sizeof rows;
    for (std::size_t i = count; i-- > 0 && first != nullptr;)
        first = LineRowBefore(first, lines[i]);
    if (first != nullptr) {
        out.append(first, rows + sizeof rows);
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const TLineFields line = lines[i];
        char row[kMaxLineRow];
        const char* const begin = LineRowBefore(row + sizeof row, line);
        if (begin == nullptr)
            AppendLineRowByPrintf(out, line);
        else
            out.append(begin, static_cast<std::size_t>(row + sizeof row - begin));
    }
}

void AppendLines(std::string& out, const TReferencePattern& pattern)
{
    const int count = pattern.GetLineCount();
    out.append("  Lines:    ");
    AppendInteger(out, count);
    out.push_back('\n');
    if (count == 0)
        return;
    AppendLine(out, "           d (\u00C5)      I     h     k     l");
    AppendLineRows(out, pattern.Record(), static_cast<std::size_t>(count));
}

void AppendTextLists(std::string& out, const TReferencePattern& pattern)
{
    for (const auto& [list, title, key] : kTextLists) {
        const std::vector<std::string>& lines = pattern.GetTextList(list);
        if (lines.empty())
            continue;
        out.append("  ");
        AppendLine(out, title, ":");
        for (const std::string& line : lines)
            AppendShownLine(out, "    ", line);
    }
}

// ---- JSON ----

// Printable ASCII without quote or backslash: a JSON string as it is, and
// the same bytes when read as Windows-1252.
bool IsPlainJson(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7e && c != '"' && c != '\\'; });
}

// A JSON string: plain text stands as it is; anything else is escaped by
// the JSON library.
void AppendJsonString(std::string& out, std::string_view text)
{
    if (!IsPlainJson(text)) {
        out.append(JsonText(nlohmann::json(std::string(text))));
        return;
    }
    out.push_back('"');
    out.append(text);
    out.push_back('"');
}

// A Windows-1252 text of the database as a JSON string of its UTF-8.
void AppendJsonShown(std::string& out, std::string_view bytes)
{
    if (!IsPlainJson(bytes)) {
        AppendJsonString(out, Windows1252ToUtf8(bytes));
        return;
    }
    out.push_back('"');
    out.append(bytes);
    out.push_back('"');
}

// The d-spacing as the shortest decimal that reads back as the same single-
// precision value, held in a double that JSON prints with those digits.
double ShortestDecimal(float d)
{
    char text[32];
    const std::to_chars_result written = std::to_chars(text, text + sizeof text, d);
    double value = d;
    std::from_chars(text, written.ptr, value);
    return value;
}

void AppendJsonNumber(std::string& out, double value)
{
    if (!std::isfinite(value)) {
        out.append("null");
        return;
    }
    char digits[64];
    out.append(digits, nlohmann::detail::to_chars(digits, digits + sizeof digits, value));
}

// The most characters AppendJsonNumber writes.
constexpr std::size_t kMaxJsonNumber = 32;

// Texts made of float values (a d-spacing as JSON shows it), the last ones
// met kept by the float's bits: databases repeat their d-spacings often,
// and making the shortest digits twice over is most of a line's cost. (The
// JSON library's digits of a double are not always the shortest, so they
// are not made from the float's own shortest digits.) Each value has a set
// of two slots side by side; the one met last comes first.
class TFloatTexts {
public:
    // Writes the text of `value` at `out` (room for kMaxJsonNumber
    // characters): where it ends. `make(text, value)` makes a text not kept.
    template <typename Make>
    char* Put(char* out, float value, Make make)
    {
        const auto bits = std::bit_cast<std::uint32_t>(value);
        TKept* const set = &kept_[SetOf(bits)];
        if (set[0].Size == 0 || set[0].Bits != bits) {
            if (set[1].Size != 0 && set[1].Bits == bits) {
                std::swap(set[0], set[1]);
            } else {
                std::string text;
                make(text, value);
                if (text.size() > sizeof set[0].Text)
                    return std::copy(text.begin(), text.end(), out);
                set[1] = set[0];
                set[0].Bits = bits;
                set[0].Size = static_cast<std::uint8_t>(text.size());
                std::copy(text.begin(), text.end(), set[0].Text);
            }
        }
        std::memcpy(out, set[0].Text, sizeof set[0].Text);
        return out + set[0].Size;
    }

    // Asks for the set of `value` to be brought into the cache: the sets
    // are met in no order, and waiting for each one's memory is most of a
    // Put that finds its text kept.
    void Prefetch(float value) const { __builtin_prefetch(&kept_[SetOf(std::bit_cast<std::uint32_t>(value))]); }

private:
    // 2^17 sets (4 MiB per thread): the d-spacings of a large database take
    // a hundred thousand values and more (four or five decimals over a few
    // angstrom), which a smaller table would keep making again.
    static constexpr int kSetBits = 17;
    static std::size_t SetOf(std::uint32_t bits) { return 2 * ((bits * 2654435761u) >> (32 - kSetBits)); }
    struct TKept {
        std::uint32_t Bits = 0;
        std::uint8_t Size = 0; // 0: nothing kept
        char Text[11];
    };
    static_assert(sizeof(TKept) == 16);
    std::vector<TKept> kept_ = std::vector<TKept>(std::size_t{2} << kSetBits);
};

// The texts of this thread's d-spacings.
TFloatTexts& DSpacingTexts()
{
    thread_local TFloatTexts texts;
    return texts;
}

// The d-spacing's JSON text written at `out`: where it ends.
char* PutJsonDSpacing(char* out, float d)
{
    return DSpacingTexts().Put(out, d, [](std::string& text, float value) {
        AppendJsonNumber(text, ShortestDecimal(value));
    });
}

} // namespace

void AppendJsonDSpacing(std::string& out, float d)
{
    char text[kMaxJsonNumber];
    out.append(text, PutJsonDSpacing(text, d));
}

namespace {

// `"key":`, with the comma that separates it from the member before.
void AppendKey(std::string& out, std::string_view key, bool first = false)
{
    if (!first)
        out.push_back(',');
    out.push_back('"');
    out.append(key);
    out.append("\":");
}

void AppendJsonShownList(std::string& out, const std::vector<std::string>& texts)
{
    out.push_back('[');
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i > 0)
            out.push_back(',');
        AppendJsonShown(out, texts[i]);
    }
    out.push_back(']');
}

// The d-spacings' kept texts are asked for this many lines ahead.
constexpr std::size_t kPrefetchLines = 8;

// `text` written at `out` (a string literal, its closing NUL left out):
// where it ends.
template <std::size_t N>
char* Put(char* out, const char (&text)[N])
{
    std::memcpy(out, text, N - 1);
    return out + N - 1;
}

// A 16-bit field's digits (with its sign) written at `out`: where they end.
char* PutInteger(char* out, std::int16_t value)
{
    const int magnitude = std::abs(value);
    const int length = (value < 0 ? 1 : 0) +
                       (magnitude < 10 ? 1 : magnitude < 100 ? 2 : magnitude < 1000 ? 3 : magnitude < 10000 ? 4 : 5);
    IntegerBefore(out + length, value);
    return out + length;
}

// The most characters one line object takes, with the comma before it.
constexpr std::size_t kMaxJsonLine = 64 + kMaxJsonNumber;

// One line's object {"d":..,"h":..,"intensity":..,"k":..,"l":..} (members
// in name order) written at `out`: where it ends.
char* PutJsonLine(char* out, const TLineFields& line)
{
    out = PutJsonDSpacing(Put(out, "{\"d\":"), line.D);
    const bool given = line.IndicesGiven();
    out = Put(out, ",\"h\":");
    out = given ? PutInteger(out, line.H) : Put(out, "null");
    out = PutInteger(Put(out, ",\"intensity\":"), line.Intensity);
    out = Put(out, ",\"k\":");
    out = given ? PutInteger(out, line.K) : Put(out, "null");
    out = Put(out, ",\"l\":");
    out = given ? PutInteger(out, line.L) : Put(out, "null");
    *out++ = '}';
    return out;
}

// The lines' array, made in one buffer and appended at once (a listing
// writes millions of them).
void AppendJsonLines(std::string& out, const TReferencePattern& pattern)
{
    const auto count = static_cast<std::size_t>(pattern.GetLineCount());
    const TLineTable lines(pattern.Record(), count);
    for (std::size_t i = 0; i < std::min(count, kPrefetchLines); ++i)
        DSpacingTexts().Prefetch(lines.D(i));
    char text[2 + layout::kMaxLines * kMaxJsonLine];
    char* end = text;
    *end++ = '[';
    for (std::size_t i = 0; i < count; ++i) {
        if (i + kPrefetchLines < count)
            DSpacingTexts().Prefetch(lines.D(i + kPrefetchLines));
        if (i > 0)
            *end++ = ',';
        end = PutJsonLine(end, lines[i]);
    }
    *end++ = ']';
    out.append(text, end);
}

void AppendJsonNames(std::string& out, const TReferencePattern& pattern)
{
    out.push_back('[');
    for (int i = 0; i < pattern.GetNameCount(); ++i) {
        const TPatternName name = pattern.GetNameAt(i);
        out.append(i > 0 ? ",{" : "{");
        AppendKey(out, "text", true);
        AppendJsonShown(out, name.Text);
        AppendKey(out, "type");
        AppendJsonString(out, std::string_view(&name.TypeLetter, 1));
        out.push_back('}');
    }
    out.push_back(']');
}

} // namespace

void AppendFixed(std::string& out, double value, int width, int precision)
{
    // Finite values: to_chars gives printf's digits exactly (both round the
    // exact binary value, ties to even).
    char digits[400];
    const std::to_chars_result written =
        std::isfinite(value) ? std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, precision)
                             : std::to_chars_result{digits, std::errc::value_too_large};
    if (written.ec != std::errc()) {
        out.append(Format("%*.*f", width, precision, value));
        return;
    }
    out.append(static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, width - (written.ptr - digits))), ' ');
    out.append(digits, written.ptr);
}

void AppendFixedFloat(std::string& out, float value, int width, int precision)
{
    char text[24];
    const char* const first = FixedFloatBefore(text + sizeof text, value, precision);
    if (first == nullptr) {
        AppendFixed(out, static_cast<double>(value), width, precision);
        return;
    }
    const std::ptrdiff_t length = text + sizeof text - first;
    out.append(static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, width - length)), ' ');
    out.append(first, static_cast<std::size_t>(length));
}

void AppendPatternText(std::string& out, const TReferencePattern& pattern)
{
    out.append("\nPattern ");
    AppendInteger(out, pattern.GetRecordNumber());
    AppendShownLine(out, ": ", pattern.GetReferenceCode());
    AppendNames(out, pattern);
    AppendShownLine(out, "  Formula:  ", pattern.GetFormulaLine());
    out.append("  Status:   ");
    AppendInteger(out, pattern.GetStatus());
    AppendLine(out, pattern.IsUserPattern() ? " (user pattern)" : "");
    out.append("  Subfiles: ");
    if (!AppendSubfileCodes(out, pattern.GetSubfiles(), " ", ""))
        out.append("none");
    out.push_back('\n');
    AppendLines(out, pattern);
    AppendTextLists(out, pattern);
}

void AppendPatternJson(std::string& out, const TReferencePattern& pattern)
{
    // The members in name order, as the JSON library keeps an object's.
    AppendKey(out.append("{"), "code", true);
    AppendJsonShown(out, pattern.GetReferenceCode());
    AppendKey(out, "coded_comments");
    AppendJsonShownList(out, ListNamed(pattern, "coded_comments"));
    AppendKey(out, "comments");
    AppendJsonShownList(out, ListNamed(pattern, "comments"));
    AppendKey(out, "formula");
    AppendJsonShown(out, pattern.GetFormulaLine());
    AppendKey(out, "lines");
    AppendJsonLines(out, pattern);
    AppendKey(out, "names");
    AppendJsonNames(out, pattern);
    AppendKey(out, "record");
    AppendInteger(out, pattern.GetRecordNumber());
    AppendKey(out, "references");
    AppendJsonShownList(out, ListNamed(pattern, "references"));
    AppendKey(out, "status");
    AppendInteger(out, pattern.GetStatus());
    AppendKey(out, "subfiles");
    out.push_back('[');
    AppendSubfileCodes(out, pattern.GetSubfiles(), ",", "\"");
    out.push_back(']');
    AppendKey(out, "supplementary_lines");
    AppendJsonShownList(out, ListNamed(pattern, "supplementary_lines"));
    AppendKey(out, "user_pattern");
    out.append(pattern.IsUserPattern() ? "true" : "false");
    out.push_back('}');
}

} // namespace norrvik
