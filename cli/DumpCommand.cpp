// `dump DB`: printing a Tessaly database for people, as text or JSON.
#include "cli/DumpCommand.h"

#include "cli/Command.h"
#include "cli/CommandSupport.h"
#include "cli/DumpFormat.h"
#include "cli/JsonOutput.h"
#include "common/Text.h"
#include "refdb/DatabaseLock.h"
#include "refdb/ReferenceCodes.h"
#include "refdb/ReferenceDatabase.h"
#include "refdb/ReferencePattern.h"

#include <CLI/CLI.hpp>

#include <utility>

namespace norrvik {

namespace {

// The patterns' texts are gathered and written in pieces of about this
// size: one write per pattern costs more than making its text.
constexpr std::size_t kOutputPiece = 256 * 1024;

// Appends pattern n by `append` to `text` and writes the text once it is a
// whole piece. A pattern that cannot be read adds nothing: what the
// patterns before it made is written, and the error goes on.
template <typename Append>
void AppendPatternOrFlush(std::string& text, std::ostream& out, Append append)
{
    const std::size_t before = text.size();
    try {
        append(text);
    } catch (...) {
        text.resize(before);
        out << text;
        text.clear();
        throw;
    }
    if (text.size() >= kOutputPiece) {
        out << text;
        text.clear();
    }
}

// The database's texts are Windows-1252; the terminal wants UTF-8.
nlohmann::json HeaderJson(TReferenceDatabase& database)
{
    return {{"database", database.DatabaseName()},
            {"version", Windows1252ToUtf8(database.Version())},
            {"title", Windows1252ToUtf8(database.Title())},
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
    std::string one;
    if (code)
        AppendPatternJson(one, database.FindPattern(*code));
    std::string header = JsonText(HeaderJson(database));
    header.pop_back(); // the closing brace; the pattern list follows
    out << header << ",\"patterns\":[";
    try {
        if (code)
            out << one;
        std::string patterns; // kept from piece to piece, its room with it
        for (std::int32_t n = 1; !code && n <= database.PatternCount(); ++n)
            AppendPatternOrFlush(patterns, out, [&](std::string& text) {
                const TReferencePattern& pattern = database.GetPattern(n); // read before the comma is written
                AppendPatternJson(text.append(n > 1 ? "," : ""), pattern);
            });
        out << patterns;
    } catch (const std::exception& error) {
        out << "]," << JsonText({{"error", MessageOf(error)}}).substr(1) << '\n';
        throw;
    }
    out << "]}\n";
}

} // namespace

// The fields of dump --json's pattern, for a caller that builds on them.
nlohmann::json PatternJson(const TReferencePattern& pattern)
{
    std::string text;
    AppendPatternJson(text, pattern);
    return nlohmann::json::parse(text);
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
    out << "Version:   " << Windows1252ToUtf8(database.Version()) << '\n';
    out << "Title:     " << Windows1252ToUtf8(database.Title()) << '\n';
    out << "Patterns:  " << database.PatternCount() << " (" << database.UserPatternCount() << " user patterns)\n";
}

void DumpPattern(const TReferencePattern& pattern, std::ostream& out)
{
    std::string text;
    AppendPatternText(text, pattern);
    out << text;
}

void DumpDatabase(const std::string& folder, const std::optional<std::string>& code, bool json,
                  std::ostream& out)
{
    const TDatabaseLock lock = TDatabaseLock::Shared(TTypedFolder(folder));
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
    std::string patterns; // kept from piece to piece, its room with it
    for (std::int32_t n = 1; n <= count; ++n)
        AppendPatternOrFlush(patterns, out,
                             [&](std::string& text) { AppendPatternText(text, database.GetPattern(n)); });
    out << patterns;
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
            context.Err << ReferenceCodeFormMessage(*code_) << '\n';
            return kExitUsage;
        }
        RefuseFileAsDatabaseFolder(folder_);
        if (ReportFolderMissing(folder_, context.Err))
            return kExitFolderMissing;
        DumpDatabase(folder_, code_, json_, context.Out);
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
