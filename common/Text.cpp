// Trimming, ASCII case changes, splitting into lines and the Windows-1252
// code page.
#include "Text.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace norrvik {

namespace {

// Unicode code points of the Windows-1252 bytes 0x80..0x9F; 0 where the byte
// has no character.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char EncodeWindows1252(char32_t codePoint)
{
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF))
        return static_cast<char>(static_cast<unsigned char>(codePoint));
    for (std::size_t i = 0; i < kHighControls.size(); ++i)
        if (kHighControls[i] != 0 && kHighControls[i] == codePoint)
            return static_cast<char>(static_cast<unsigned char>(0x80 + i));
    return '?';
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The length of the well-formed UTF-8 sequence at text[i] (1 to 4), or 0
// when the bytes there are not one: no overlong form, no surrogate, nothing
// above U+10FFFF.
std::size_t Utf8SequenceLengthAt(std::string_view text, std::size_t i)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80; // the range allowed for the second byte
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() - i < length)
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF))
            return 0;
    }
    return length;
}

} // namespace

namespace {

// The text without the blanks and control characters at its start (`left`)
// and at its end (`right`).
std::string_view TrimmedSides(std::string_view text, bool left, bool right)
{
    std::size_t end = text.size();
    while (right && end > 0 && IsBlankOrControl(text[end - 1]))
        --end;
    std::size_t first = 0;
    while (left && first < end && IsBlankOrControl(text[first]))
        ++first;
    return text.substr(first, end - first);
}

} // namespace

std::string TrimLeft(std::string_view text)
{
    return std::string(TrimmedSides(text, true, false));
}

std::string TrimRight(std::string_view text)
{
    return std::string(TrimmedSides(text, false, true));
}

// One string made, not one per side: the checker trims every index text.
std::string Trim(std::string_view text)
{
    return std::string(TrimmedSides(text, true, true));
}

std::string_view TrimmedView(std::string_view text)
{
    return TrimmedSides(text, true, true);
}

void MakeUpperCaseAscii(std::string& text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
}

std::string UpperCaseAscii(std::string_view text)
{
    std::string result(text);
    MakeUpperCaseAscii(result);
    return result;
}

std::string LowerCaseAscii(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return result;
}

bool SameTextAscii(std::string_view a, std::string_view b)
{
    return UpperCaseAscii(a) == UpperCaseAscii(b);
}

std::string Utf8ToWindows1252(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        std::size_t length = 0;
        char32_t cp = 0;
        if (lead < 0x80) {
            length = 1;
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            cp = lead & 0x1Fu;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            cp = lead & 0x0Fu;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            cp = lead & 0x07u;
        }
        bool valid = length > 0 && i + length <= utf8.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80)
                valid = false;
            else
                cp = (cp << 6) | (next & 0x3Fu);
        }
        if (!valid) {
            out += '?';
            ++i;
            continue;
        }
        out += EncodeWindows1252(cp);
        i += length;
    }
    return out;
}

std::string Windows1252ToUtf8(std::string_view bytes)
{
    std::string out;
    AppendWindows1252AsUtf8(out, bytes);
    return out;
}

void AppendWindows1252AsUtf8(std::string& out, std::string_view bytes)
{
    // Most texts are ASCII throughout: they are copied in one piece.
    const auto ascii = std::find_if(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) != 0; });
    out.append(bytes.begin(), ascii);
    for (auto it = ascii; it != bytes.end(); ++it) {
        const auto b = static_cast<unsigned char>(*it);
        if (b < 0x80 || b >= 0xA0) {
            AppendUtf8(out, b);
        } else {
            const char32_t cp = kHighControls[b - 0x80u];
            AppendUtf8(out, cp != 0 ? cp : char32_t{0xFFFD});
        }
    }
}

std::string LineBreaksAsBlanks(std::string text)
{
    std::replace_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return text;
}

bool NextTextLine(std::string_view content, std::size_t& position, std::string_view& line)
{
    if (position >= content.size())
        return false;
    std::size_t end = position;
    while (end < content.size() && content[end] != '\r' && content[end] != '\n')
        ++end;
    line = content.substr(position, end - position);
    if (end < content.size() && content[end] == '\r')
        ++end;
    if (end < content.size() && content[end] == '\n')
        ++end;
    position = end;
    return true;
}

std::vector<std::string> SplitTextLines(std::string_view content)
{
    std::vector<std::string> lines;
    std::size_t position = 0;
    std::string_view line;
    while (NextTextLine(content, position, line))
        lines.emplace_back(line);
    return lines;
}

std::string ValidUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t length = Utf8SequenceLengthAt(text, i);
        if (length > 0) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out += Windows1252ToUtf8(text.substr(i, 1));
            ++i;
        }
    }
    return out;
}

void ReleaseText(std::string& text)
{
    std::string().swap(text);
}

} // namespace norrvik
