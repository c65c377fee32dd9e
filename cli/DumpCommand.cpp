// `dump DB`: printing a Tessaly database for people, as text or JSON.
#include "cli/DumpCommand.h"

#include "cli/Command.h"
#include "cli/CommandSupport.h"
#include "cli/DumpFormat.h"
#include "cli/JsonOutput.h"
#include "common/Parallel.h"
#include "common/Text.h"
#include "refdb/DatabaseLock.h"
#include "refdb/ReferenceCodes.h"
#include "refdb/ReferenceDatabase.h"
#include "refdb/ReferencePattern.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <exception>
#include <utility>
#include <vector>

namespace norrvik {

namespace {

// Patterns per piece at most (see WritePatternsSideBySide).
constexpr std::int32_t kPiecePatterns = 512;

// The patterns `from` .. `to` - 1 made into text, or those before the first
// that cannot be made, with its error.
struct TPiece {
    std::string Text; // kept from round to round, its room with it
    std::exception_ptr Failure;
};

// Makes `piece` from patterns from .. to - 1 by `append` with `reader`. A
// pattern that cannot be made adds nothing and ends the piece.
void MakePiece(TPiece& piece, std::size_t reader, std::int32_t from, std::int32_t to, const TPatternAppender& append)
{
    piece.Text.clear();
    piece.Failure = nullptr;
    for (std::int32_t n = from; n < to; ++n) {
        const std::size_t before = piece.Text.size();
        try {
            append(piece.Text, reader, n);
        } catch (...) {
            piece.Text.resize(before);
            piece.Failure = std::current_exception();
            return;
        }
    }
}

// Patterns 1 .. PatternCount of the open `database` as `append` (text,
// reader, n) makes each, read through `database` and through a second
// reader of the same folder for the helper thread.
template <typename Append>
void WritePatterns(TReferenceDatabase& database, std::ostream& out, Append append)
{
    const std::int32_t count = database.PatternCount();
    TReferenceDatabase second;
    if (count > 1) {
        second.SetDatabaseName(database.DatabaseName());
        second.SetCodeIndexOnDemand(true);
        second.Open();
    }
    const std::array<TReferenceDatabase*, 2> readers{&database, &second};
    WritePatternsSideBySide(count, out, [&](std::string& text, std::size_t reader, std::int32_t n) {
        append(text, *readers[reader], n);
    });
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
        else
            WritePatterns(database, out, [](std::string& text, TReferenceDatabase& reader, std::int32_t n) {
                const TReferencePattern& pattern = reader.GetPattern(n); // read before the comma is written
                AppendPatternJson(text.append(n > 1 ? "," : ""), pattern);
            });
    } catch (const std::exception& error) {
        out << "]," << JsonText({{"error", MessageOf(error)}}).substr(1) << '\n';
        throw;
    }
    out << "]}\n";
}

} // namespace

void WritePatternsSideBySide(std::int32_t count, std::ostream& out, const TPatternAppender& append)
{
    const std::int32_t size = std::clamp((count + 1) / 2, 1, kPiecePatterns);
    std::array<TPiece, 2> pieces;
    for (std::int32_t first = 1; first <= count; first += 2 * size) {
        const std::vector<std::exception_ptr> failures = RunTasksSideBySide(2, [&](std::size_t k) {
            const std::int32_t from = first + static_cast<std::int32_t>(k) * size;
            MakePiece(pieces[k], k, from, std::min(from + size, count + 1), append);
        });
        for (std::size_t k = 0; k < pieces.size(); ++k) {
            if (failures[k])
                std::rethrow_exception(failures[k]);
            out << pieces[k].Text;
            if (pieces[k].Failure)
                std::rethrow_exception(pieces[k].Failure);
        }
    }
}

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
    database.SetCodeIndexOnDemand(!code); // the whole listing looks up no code
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
    WritePatterns(database, out, [](std::string& text, TReferenceDatabase& reader, std::int32_t n) {
        AppendPatternText(text, reader.GetPattern(n));
    });
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
