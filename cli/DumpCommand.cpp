// Printing a target database for people.
#include "cli/DumpCommand.h"

#include "cli/JsonOutput.h"
#include "common/Format.h"
#include "common/Text.h"
#include "refdb/DatabaseLock.h"
#include "refdb/ReferenceCodes.h"
#include "refdb/ReferenceDatabase.h"
#include "refdb/ReferencePattern.h"

#include <utility>

namespace norrvik {

namespace {

// The database's texts are Windows-1252; the terminal wants UTF-8.
std::string Shown(std::string_view bytes)
{
    return Windows1252ToUtf8(bytes);
}

std::vector<std::string> SubfileCodeList(std::uint32_t mask)
{
    std::vector<std::string> codes;
    for (std::size_t bit = 0; bit < kSubfileCount; ++bit) {
        if ((mask & (std::uint32_t{1} << bit)) == 0)
            continue;
        const std::string_view row = SubfileTable[bit];
        codes.emplace_back(row.substr(0, row.find('=')));
    }
    return codes;
}

std::string SubfileCodes(std::uint32_t mask)
{
    std::string codes;
    for (const std::string& code : SubfileCodeList(mask))
        codes += (codes.empty() ? "" : " ") + code;
    return codes.empty() ? "none" : codes;
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

void DumpNames(const TReferencePattern& pattern, std::ostream& out)
{
    const int count = pattern.GetNameCount();
    if (count == 0)
        out << "  Names:    none\n";
    for (int i = 0; i < count; ++i) {
        const PatternName name = pattern.GetNameAt(i);
        out << (i == 0 ? "  Names:    " : "            ") << name.TypeLetter << ' ' << Shown(name.Text) << '\n';
    }
}

void DumpLines(const TReferencePattern& pattern, std::ostream& out)
{
    const int count = pattern.GetLineCount();
    out << "  Lines:    " << count << '\n';
    if (count == 0)
        return;
    out << "           d (A)      I     h     k     l\n";
    for (int i = 0; i < count; ++i)
        out << Format("      %10.5f %6d %5d %5d %5d\n", static_cast<double>(pattern.GetD(i)),
                      pattern.GetIntensity(i), pattern.GetH(i), pattern.GetK(i), pattern.GetL(i));
}

void DumpTextLists(const TReferencePattern& pattern, std::ostream& out)
{
    for (const auto& [list, title, key] : kTextLists) {
        const std::vector<std::string>& lines = pattern.GetTextList(list);
        if (lines.empty())
            continue;
        out << "  " << title << ":\n";
        for (const std::string& line : lines)
            out << "    " << Shown(line) << '\n';
    }
}

nlohmann::json HeaderJson(TReferenceDatabase& database)
{
    return {{"database", database.DatabaseName()},
            {"version", Shown(database.Version())},
            {"title", Shown(database.Title())},
            {"pattern_count", database.PatternCount()},
            {"user_pattern_count", database.UserPatternCount()}};
}

nlohmann::json PatternJson(const TReferencePattern& pattern)
{
    nlohmann::json names = nlohmann::json::array();
    for (int i = 0; i < pattern.GetNameCount(); ++i) {
        const PatternName name = pattern.GetNameAt(i);
        names.push_back({{"type", std::string(1, name.TypeLetter)}, {"text", Shown(name.Text)}});
    }
    nlohmann::json lines = nlohmann::json::array();
    for (int i = 0; i < pattern.GetLineCount(); ++i)
        lines.push_back({{"d", static_cast<double>(pattern.GetD(i))},
                         {"intensity", pattern.GetIntensity(i)},
                         {"h", pattern.GetH(i)},
                         {"k", pattern.GetK(i)},
                         {"l", pattern.GetL(i)}});
    nlohmann::json result = {{"record", pattern.GetRecordNumber()},
                             {"code", Shown(pattern.GetReferenceCode())},
                             {"names", names},
                             {"formula", Shown(pattern.GetFormulaLine())},
                             {"status", pattern.GetStatus()},
                             {"user_pattern", pattern.IsUserPattern()},
                             {"subfiles", SubfileCodeList(pattern.GetSubfiles())},
                             {"lines", lines}};
    for (const auto& [list, title, key] : kTextLists) {
        nlohmann::json texts = nlohmann::json::array();
        for (const std::string& line : pattern.GetTextList(list))
            texts.push_back(Shown(line));
        result[key] = texts;
    }
    return result;
}

// One document, written pattern by pattern so that a large database is
// never held in memory as a whole: the header's fields, then "patterns".
void DumpDatabaseJson(TReferenceDatabase& database, const std::optional<std::string>& code, std::ostream& out)
{
    std::string header = JsonText(HeaderJson(database));
    header.pop_back(); // the closing brace; the pattern list follows
    out << header << ",\"patterns\":[";
    if (code) {
        out << JsonText(PatternJson(database.FindPattern(*code)));
    } else {
        const std::int32_t count = database.PatternCount();
        for (std::int32_t n = 1; n <= count; ++n)
            out << (n > 1 ? "," : "") << JsonText(PatternJson(database.GetPattern(n)));
    }
    out << "]}\n";
}

} // namespace

bool IsReferenceCodeForm(const std::string& code)
{
    if (code.size() == kDisplayCodeLength && (code[2] != '-' || code[6] != '-'))
        return false;
    return IsNineDigitCode(StoredCodeFromDisplayCode(code));
}

std::string ReferenceCodeFormMessage(const std::string& code)
{
    return "\"" + code + "\" is not a reference code: give its nine digits (000020318) or the form 00-002-0318.";
}

void DumpHeader(TReferenceDatabase& database, std::ostream& out)
{
    out << "Database:  " << database.DatabaseName() << '\n';
    out << "Version:   " << Shown(database.Version()) << '\n';
    out << "Title:     " << Shown(database.Title()) << '\n';
    out << "Patterns:  " << database.PatternCount() << " (" << database.UserPatternCount() << " user patterns)\n";
}

void DumpPattern(const TReferencePattern& pattern, std::ostream& out)
{
    out << '\n' << "Pattern " << pattern.GetRecordNumber() << ": " << Shown(pattern.GetReferenceCode()) << '\n';
    DumpNames(pattern, out);
    out << "  Formula:  " << Shown(pattern.GetFormulaLine()) << '\n';
    out << "  Status:   " << pattern.GetStatus() << (pattern.IsUserPattern() ? " (user pattern)" : "") << '\n';
    out << "  Subfiles: " << SubfileCodes(pattern.GetSubfiles()) << '\n';
    DumpLines(pattern, out);
    DumpTextLists(pattern, out);
}

void DumpDatabase(const std::string& folder, const std::optional<std::string>& code, bool json,
                  std::ostream& out)
{
    const TDatabaseLock lock = TDatabaseLock::Shared(folder);
    TReferenceDatabase database;
    database.SetDatabaseName(folder);
    database.Open();
    if (json) {
        DumpDatabaseJson(database, code, out);
        return;
    }
    DumpHeader(database, out);
    if (code) {
        DumpPattern(database.FindPattern(*code), out);
        return;
    }
    const std::int32_t count = database.PatternCount();
    for (std::int32_t n = 1; n <= count; ++n)
        DumpPattern(database.GetPattern(n), out);
}

} // namespace norrvik
