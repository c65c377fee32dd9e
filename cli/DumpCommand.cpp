// `dump DB`: printing a Tessaly database for people, as text or JSON.
#include "cli/DumpCommand.h"

#include "cli/Command.h"
#include "cli/CommandSupport.h"
#include "cli/JsonOutput.h"
#include "common/Format.h"
#include "common/Text.h"
#include "refdb/DatabaseLock.h"
#include "refdb/ReferenceCodes.h"
#include "refdb/ReferenceDatabase.h"
#include "refdb/ReferencePattern.h"

#include <CLI/CLI.hpp>

#include <charconv>
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
    out << "           d (\u00C5)      I     h     k     l\n";
    for (int i = 0; i < count; ++i) {
        const std::string line = Format("      %10.5f %6d", static_cast<double>(pattern.GetD(i)),
                                        pattern.GetIntensity(i));
        const TMillerIndices hkl = IndicesOf(pattern, i);
        out << line << (hkl.Given() ? Format(" %5d %5d %5d", hkl.h, hkl.k, hkl.l) : std::string()) << '\n';
    }
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

// One document, written pattern by pattern so that a large database is
// never held in memory as a whole: the header's fields, then "patterns". A
// pattern that cannot be read ends the list, and the document with an
// "error" member, before the error goes on (a document cut short would not
// parse).
void DumpDatabaseJson(TReferenceDatabase& database, const std::optional<std::string>& code, std::ostream& out)
{
    // Looked up first: an unknown code prints nothing.
    const std::optional<nlohmann::json> one =
        code ? std::optional<nlohmann::json>(PatternJson(database.FindPattern(*code))) : std::nullopt;
    std::string header = JsonText(HeaderJson(database));
    header.pop_back(); // the closing brace; the pattern list follows
    out << header << ",\"patterns\":[";
    try {
        if (one)
            out << JsonText(*one);
        for (std::int32_t n = 1; !one && n <= database.PatternCount(); ++n) {
            const std::string pattern = JsonText(PatternJson(database.GetPattern(n))); // read before the comma
            out << (n > 1 ? "," : "") << pattern;
        }
    } catch (const std::exception& error) {
        out << "]," << JsonText({{"error", MessageOf(error)}}).substr(1) << '\n';
        throw;
    }
    out << "]}\n";
}

} // namespace

nlohmann::json PatternJson(const TReferencePattern& pattern)
{
    nlohmann::json names = nlohmann::json::array();
    for (int i = 0; i < pattern.GetNameCount(); ++i) {
        const PatternName name = pattern.GetNameAt(i);
        names.push_back({{"type", std::string(1, name.TypeLetter)}, {"text", Shown(name.Text)}});
    }
    nlohmann::json lines = nlohmann::json::array();
    for (int i = 0; i < pattern.GetLineCount(); ++i) {
        const TMillerIndices hkl = IndicesOf(pattern, i);
        const auto index = [&](std::int16_t value) { return hkl.Given() ? nlohmann::json(value) : nlohmann::json(); };
        lines.push_back({{"d", ShortestDecimal(pattern.GetD(i))},
                         {"intensity", pattern.GetIntensity(i)},
                         {"h", index(hkl.h)},
                         {"k", index(hkl.k)},
                         {"l", index(hkl.l)}});
    }
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
    if (code) {
        const TReferencePattern& pattern = database.FindPattern(*code);
        DumpHeader(database, out);
        DumpPattern(pattern, out);
        return;
    }
    DumpHeader(database, out);
    const std::int32_t count = database.PatternCount();
    for (std::int32_t n = 1; n <= count; ++n)
        DumpPattern(database.GetPattern(n), out);
}

namespace {

class TDumpCommand : public TCommand {
public:
    std::string_view Name() const override { return "dump"; }
    std::string_view Summary() const override { return "Print a Tessaly database: header, patterns, lines and texts"; }
    std::string_view Example() const override { return "norrvik-cli dump ./tessaly-db --code 99-000-0003"; }
    std::string_view ExitStatuses() const override
    {
        return "0: printed\n1: the database or the pattern cannot be read (the message says why)\n2: wrong "
               "arguments, or DB does not exist";
    }

    void DeclareOptions(CLI::App& command) override
    {
        command.add_option("DB", folder_, "Folder of the Tessaly database")->required();
        command.add_option("--code", code_,
                           "Print only the pattern with this reference code (00-002-0318 or 000020318)");
        command.add_flag("--json", json_, "Print as JSON");
    }

    int Run(const TCommandContext& context) override
    {
        if (code_ && !IsReferenceCodeForm(*code_)) {
            context.err << ReferenceCodeFormMessage(*code_) << '\n';
            return kExitUsage;
        }
        RefuseFileAsDatabaseFolder(folder_);
        if (ReportFolderMissing(folder_, context.err))
            return kExitFolderMissing;
        DumpDatabase(folder_, code_, json_, context.out);
        return kExitSuccess;
    }

private:
    std::string folder_;
    std::optional<std::string> code_;
    bool json_ = false;
};

} // namespace

std::unique_ptr<TCommand> MakeDumpCommand()
{
    return std::make_unique<TDumpCommand>();
}

} // namespace norrvik
