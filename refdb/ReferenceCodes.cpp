// Reference codes: stored, display, old and user forms, and the test for an
// existing reference database folder.
#include "refdb/ReferenceCodes.h"

#include "common/Exceptions.h"
#include "common/Files.h"
#include "common/Format.h"
#include "refdb/DatabaseFolder.h"

#include <filesystem>
#include <limits>
#include <system_error>

namespace norrvik {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool AllDigits(std::string_view text)
{
    for (char c : text)
        if (!IsDigit(c))
            return false;
    return true;
}

// The position (0-based) of the dashes of the display form.
constexpr std::size_t kFirstDash = 2;
constexpr std::size_t kSecondDash = 6;

} // namespace

std::optional<std::int64_t> ParseOldCodeNumber(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const std::string_view digits = text.substr(pos);
    if (digits.empty() || !AllDigits(digits))
        return std::nullopt;
    std::int64_t value = 0;
    constexpr std::int64_t limit = std::numeric_limits<std::int64_t>::max() / 10 - 9;
    for (char c : digits) {
        if (value > limit)
            return std::nullopt; // far beyond any code; refuse instead of overflowing
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

std::string_view OldCodeGroupPrefix(std::int64_t n)
{
    if (n >= 700000)
        return "010";
    if (n >= 10000)
        return "000";
    return "990";
}

std::string ConvertOldReferenceCode(std::string_view oldCode)
{
    NORRVIK_ASSERT(oldCode.size() == 6 || oldCode.size() == 7,
                   "Length of old reference code must be 6 or 7 (with \"-\").");
    std::string text(oldCode);
    // The long old form carries its dash at the third character.
    if (text.size() == 7 && text.find('-') != std::string::npos)
        text.erase(2, 1);
    const std::optional<std::int64_t> n = ParseOldCodeNumber(text);
    if (!n)
        throw Exception("ReferenceCode not correct.");
    return std::string(OldCodeGroupPrefix(*n)) + text;
}

bool IsNineDigitCode(std::string_view code)
{
    return code.size() == kStoredCodeLength && AllDigits(code);
}

std::string StoredCodeFromDisplayCode(std::string_view code)
{
    std::string text(code);
    if (text.size() == kDisplayCodeLength && text[kFirstDash] == '-' &&
        text[kSecondDash] == '-') {
        text.erase(kSecondDash, 1);
        text.erase(kFirstDash, 1);
    }
    return text;
}

std::string DisplayCodeFromStoredCode(std::string_view code)
{
    std::string text(code);
    if (IsNineDigitCode(text)) {
        text.insert(kFirstDash, 1, '-');
        text.insert(kSecondDash, 1, '-');
    }
    return text;
}

std::int32_t ReferenceNumberFromStoredCode(std::string_view code)
{
    if (!IsNineDigitCode(code))
        return -1;
    std::int32_t value = 0;
    for (char c : code)
        value = value * 10 + (c - '0'); // nine digits always fit 32 bits
    return value;
}

std::string UserDisplayCode(std::int32_t n)
{
    return Format("99-000-%4.4d", static_cast<int>(n));
}

std::string NoUserCodeLeftMessage(std::string_view folder, std::int32_t userPatternCount)
{
    return Format("The Tessaly database in %s already holds %d user patterns: no user reference code is left for "
                  "another pattern without a code (they run from 99-000-0001 to 99-000-9999). The patterns added "
                  "before this one stay in it; convert the rest into a new target folder.",
                  std::string(folder).c_str(), static_cast<int>(userPatternCount));
}

std::string UserStoredCode(std::int32_t n)
{
    return Format("99000%4.4d", static_cast<int>(n));
}

bool IsReferenceDatabaseFolder(const TTypedFolder& folder)
{
    const TDatabaseFolder files(folder);
    for (std::string_view name : kReferenceDatabaseFileNames) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(files.Path(name), error))
            return false;
    }
    return true;
}

} // namespace norrvik
