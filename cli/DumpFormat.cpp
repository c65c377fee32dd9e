// The text and JSON forms of one pattern for `dump`, appended to a string:
// numbers through std::to_chars (the exact digits printf and the JSON
// library give), texts that need escaping or hold non-ASCII bytes through
// the JSON library itself.
#include "cli/DumpFormat.h"

#include "cli/JsonOutput.h"
#include "common/Format.h"
#include "common/Text.h"
#include "refdb/ReferenceCodes.h"
#include "refdb/ReferencePattern.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

namespace norrvik {

namespace {

// The database's texts are Windows-1252; the terminal wants UTF-8.
std::string Shown(std::string_view bytes)
{
    return Windows1252ToUtf8(bytes);
}

std::vector<std::string_view> SubfileCodeList(std::uint32_t mask)
{
    std::vector<std::string_view> codes;
    for (std::size_t bit = 0; bit < kSubfileCount; ++bit) {
        if ((mask & (std::uint32_t{1} << bit)) == 0)
            continue;
        const std::string_view row = SubfileTable[bit];
        codes.push_back(row.substr(0, row.find('=')));
    }
    return codes;
}

// The four text lists of a pattern with their titles and JSON names.
struct TextListName {
    TextList list;
    const char* title;
    const char* key;
};
constexpr TextListName kTextLists[] = {
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

// A line's Miller indices, when the pattern gives them: old databases store
// -128 for an index not known, and user databases 0 0 0 (no reflection has
// those indices).
struct TMillerIndices {
    std::int16_t h, k, l;

    bool Given() const
    {
        constexpr std::int16_t kUnknown = -128;
        return h != kUnknown && k != kUnknown && l != kUnknown && (h != 0 || k != 0 || l != 0);
    }
};

TMillerIndices IndicesOf(const TReferencePattern& pattern, int line)
{
    return {pattern.GetH(line), pattern.GetK(line), pattern.GetL(line)};
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

// `value` right-aligned in `width` characters, as printf's "%*d".
void AppendInteger(std::string& out, long long value, int width = 0)
{
    char digits[24];
    char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, width - (end - digits))), ' ');
    out.append(digits, end);
}

// Texts made of float values (a d-spacing as JSON shows it), the last ones
// met kept by the float's bits: databases repeat their d-spacings often,
// and making the shortest digits twice over is most of a line's cost.
class TFloatTexts {
public:
    template <typename Make>
    void Append(std::string& out, float value, Make make)
    {
        const auto bits = std::bit_cast<std::uint32_t>(value);
        Kept& slot = kept_[(bits * 2654435761u) >> (32 - kSlotBits)];
        if (slot.Size == 0 || slot.Bits != bits) {
            std::string text;
            make(text, value);
            if (text.size() > sizeof slot.Text) {
                out.append(text);
                return;
            }
            slot.Bits = bits;
            slot.Size = static_cast<std::uint8_t>(text.size());
            std::copy(text.begin(), text.end(), slot.Text);
        }
        out.append(slot.Text, slot.Size);
    }

private:
    static constexpr int kSlotBits = 16;
    struct Kept {
        std::uint32_t Bits = 0;
        std::uint8_t Size = 0; // 0: nothing kept
        char Text[27];
    };
    std::vector<Kept> kept_ = std::vector<Kept>(std::size_t{1} << kSlotBits);
};

void AppendLine(std::string& out, std::string_view first, std::string_view second = {})
{
    out.append(first);
    out.append(second);
    out.push_back('\n');
}

void AppendNames(std::string& out, const TReferencePattern& pattern)
{
    const int count = pattern.GetNameCount();
    if (count == 0)
        AppendLine(out, "  Names:    none");
    for (int i = 0; i < count; ++i) {
        const PatternName name = pattern.GetNameAt(i);
        out.append(i == 0 ? "  Names:    " : "            ");
        out.push_back(name.TypeLetter);
        out.push_back(' ');
        AppendLine(out, Shown(name.Text));
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
    for (int i = 0; i < count; ++i) {
        out.append("      ");
        AppendFixed(out, static_cast<double>(pattern.GetD(i)), 10, 5);
        out.push_back(' ');
        AppendInteger(out, pattern.GetIntensity(i), 6);
        const TMillerIndices hkl = IndicesOf(pattern, i);
        if (hkl.Given())
            for (const std::int16_t index : {hkl.h, hkl.k, hkl.l}) {
                out.push_back(' ');
                AppendInteger(out, index, 5);
            }
        out.push_back('\n');
    }
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
            AppendLine(out, "    ", Shown(line));
    }
}

// ---- JSON ----

// A JSON string: printable ASCII without quote or backslash stands as it
// is; anything else is escaped by the JSON library.
void AppendJsonString(std::string& out, std::string_view text)
{
    const bool plain = std::all_of(text.begin(), text.end(),
                                   [](char c) { return c >= 0x20 && c <= 0x7e && c != '"' && c != '\\'; });
    if (!plain) {
        out.append(JsonText(nlohmann::json(std::string(text))));
        return;
    }
    out.push_back('"');
    out.append(text);
    out.push_back('"');
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

// `"key":`, with the comma that separates it from the member before.
void AppendKey(std::string& out, std::string_view key, bool first = false)
{
    if (!first)
        out.push_back(',');
    out.push_back('"');
    out.append(key);
    out.append("\":");
}

template <typename Texts>
void AppendJsonStrings(std::string& out, const Texts& texts, bool shown)
{
    out.push_back('[');
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i > 0)
            out.push_back(',');
        AppendJsonString(out, shown ? Shown(texts[i]) : std::string(texts[i]));
    }
    out.push_back(']');
}

void AppendJsonDSpacing(std::string& out, float d)
{
    thread_local TFloatTexts texts;
    texts.Append(out, d, [](std::string& text, float value) { AppendJsonNumber(text, ShortestDecimal(value)); });
}

void AppendJsonLines(std::string& out, const TReferencePattern& pattern)
{
    out.push_back('[');
    for (int i = 0; i < pattern.GetLineCount(); ++i) {
        const TMillerIndices hkl = IndicesOf(pattern, i);
        const auto index = [&](std::string_view key, std::int16_t value) {
            out.append(key);
            if (hkl.Given())
                AppendInteger(out, value);
            else
                out.append("null");
        };
        out.append(i > 0 ? ",{\"d\":" : "{\"d\":");
        AppendJsonDSpacing(out, pattern.GetD(i));
        index(",\"h\":", hkl.h);
        out.append(",\"intensity\":");
        AppendInteger(out, pattern.GetIntensity(i));
        index(",\"k\":", hkl.k);
        index(",\"l\":", hkl.l);
        out.push_back('}');
    }
    out.push_back(']');
}

void AppendJsonNames(std::string& out, const TReferencePattern& pattern)
{
    out.push_back('[');
    for (int i = 0; i < pattern.GetNameCount(); ++i) {
        const PatternName name = pattern.GetNameAt(i);
        out.append(i > 0 ? ",{" : "{");
        AppendKey(out, "text", true);
        AppendJsonString(out, Shown(name.Text));
        AppendKey(out, "type");
        AppendJsonString(out, std::string(1, name.TypeLetter));
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

void AppendPatternText(std::string& out, const TReferencePattern& pattern)
{
    out.append("\nPattern ");
    AppendInteger(out, pattern.GetRecordNumber());
    AppendLine(out, ": ", Shown(pattern.GetReferenceCode()));
    AppendNames(out, pattern);
    AppendLine(out, "  Formula:  ", Shown(pattern.GetFormulaLine()));
    out.append("  Status:   ");
    AppendInteger(out, pattern.GetStatus());
    AppendLine(out, pattern.IsUserPattern() ? " (user pattern)" : "");
    std::string codes;
    for (const std::string_view code : SubfileCodeList(pattern.GetSubfiles()))
        (codes.empty() ? codes : codes.append(" ")).append(code);
    AppendLine(out, "  Subfiles: ", codes.empty() ? "none" : codes);
    AppendLines(out, pattern);
    AppendTextLists(out, pattern);
}

void AppendPatternJson(std::string& out, const TReferencePattern& pattern)
{
    // The members in name order, as the JSON library keeps an object's.
    AppendKey(out.append("{"), "code", true);
    AppendJsonString(out, Shown(pattern.GetReferenceCode()));
    AppendKey(out, "coded_comments");
    AppendJsonStrings(out, ListNamed(pattern, "coded_comments"), true);
    AppendKey(out, "comments");
    AppendJsonStrings(out, ListNamed(pattern, "comments"), true);
    AppendKey(out, "formula");
    AppendJsonString(out, Shown(pattern.GetFormulaLine()));
    AppendKey(out, "lines");
    AppendJsonLines(out, pattern);
    AppendKey(out, "names");
    AppendJsonNames(out, pattern);
    AppendKey(out, "record");
    AppendInteger(out, pattern.GetRecordNumber());
    AppendKey(out, "references");
    AppendJsonStrings(out, ListNamed(pattern, "references"), true);
    AppendKey(out, "status");
    AppendInteger(out, pattern.GetStatus());
    AppendKey(out, "subfiles");
    AppendJsonStrings(out, SubfileCodeList(pattern.GetSubfiles()), false);
    AppendKey(out, "supplementary_lines");
    AppendJsonStrings(out, ListNamed(pattern, "supplementary_lines"), true);
    AppendKey(out, "user_pattern");
    out.append(pattern.IsUserPattern() ? "true" : "false");
    out.push_back('}');
}

} // namespace norrvik
