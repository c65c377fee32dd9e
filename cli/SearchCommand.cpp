// Searching a Tessaly database from the command line.
#include "cli/SearchCommand.h"

#include "cli/Cli.h"
#include "cli/Command.h"
#include "cli/CommandSupport.h"
#include "cli/JsonOutput.h"
#include "common/Exceptions.h"
#include "common/Format.h"
#include "common/Text.h"

#include <algorithm>

namespace norrvik {

namespace {

struct TCriterion {
    SearchField field;
    const char* option;
    const char* what;
    std::optional<std::string> TSearchRequest::*text;
};
constexpr TCriterion kCriteria[] = {
    {SearchField::Name, "--name", "name", &TSearchRequest::name},
    {SearchField::Formula, "--formula", "formula", &TSearchRequest::formula},
    {SearchField::Code, "--code", "code", &TSearchRequest::code},
    {SearchField::Author, "--author", "author", &TSearchRequest::author},
    {SearchField::Journal, "--journal", "journal", &TSearchRequest::journal},
};

// What was asked, in words ("name begins with \"QUA\"") and as JSON.
struct TAsked {
    std::string words;
    nlohmann::json json;
};

std::vector<TSearchHit> Search(TIndexSearch& search, const TSearchRequest& request, TAsked& asked)
{
    for (const TCriterion& criterion : kCriteria) {
        const std::optional<std::string>& text = request.*criterion.text;
        if (!text)
            continue;
        asked.words = Format("%s begins with \"%s\"", criterion.what, text->c_str());
        asked.json = {{"field", criterion.what}, {"prefix", *text}};
        return search.SearchText(criterion.field, Utf8ToWindows1252(*text));
    }
    TLinesQuery query{request.lines, request.tolerance};
    std::string spacings;
    for (const double d : request.lines)
        spacings += Format("%s%g", spacings.empty() ? "" : " ", d);
    asked.words = Format("strongest lines at %s A within %g A", spacings.c_str(), request.tolerance);
    asked.json = {{"field", "lines"}, {"d", request.lines}, {"tolerance", request.tolerance}};
    return search.SearchLines(query);
}

std::string JoinedNames(const TPatternSummary& summary)
{
    std::string names;
    for (const std::string& name : summary.Names)
        names += (names.empty() ? "" : "; ") + Windows1252ToUtf8(name);
    return names;
}

nlohmann::json HitJson(const TSearchHit& hit, const TPatternSummary& summary)
{
    nlohmann::json names = nlohmann::json::array();
    for (const std::string& name : summary.Names)
        names.push_back(Windows1252ToUtf8(name));
    nlohmann::json result = {{"record", hit.RecordNumber},
                             {"code", summary.Code},
                             {"names", names},
                             {"formula", Windows1252ToUtf8(summary.Formula)},
                             {"figure", hit.Figure}};
    if (!hit.Matched.empty())
        result["matched"] = Windows1252ToUtf8(hit.Matched);
    return result;
}

void PrintHits(TIndexSearch& search, const std::vector<TSearchHit>& hits, std::size_t shown, const TAsked& asked,
               std::ostream& out)
{
    out << hits.size() << (hits.size() == 1 ? " pattern" : " patterns") << " found (" << asked.words << ")\n";
    if (shown > 0)
        out << " Record  Code         Figure  Formula                    Names\n";
    for (std::size_t i = 0; i < shown; ++i) {
        const TPatternSummary summary = search.Summary(hits[i].RecordNumber);
        out << Format("%7d  %-11s  %6.1f  ", hits[i].RecordNumber, summary.Code.c_str(), hits[i].Figure)
            << Windows1252ToUtf8(summary.Formula)
            << std::string(summary.Formula.size() < 25 ? 25 - summary.Formula.size() : 0, ' ') << "  "
            << JoinedNames(summary) << '\n';
    }
    if (shown < hits.size())
        out << "... " << hits.size() - shown << " more (--limit 0 prints all)\n";
}

} // namespace

void DeclareSearchOptions(CLI::App& app, TSearchRequest& request)
{
    CLI::App* command = &app;
    command->add_option("DB", request.folder, "Folder of the Tessaly database")->required();
    CLI::Option_group* criteria = command->add_option_group("criterion", "What to search for (one of them)");
    for (const TCriterion& criterion : kCriteria)
        criteria->add_option(criterion.option, request.*criterion.text,
                             Format("Patterns whose %s begins with TEXT (any letter case)", criterion.what));
    CLI::Option* lines = criteria->add_option("--lines", request.lines,
                                              "Patterns whose strongest lines match these d-spacings (up to 8), "
                                              "best first")
                             ->expected(1, 8);
    criteria->require_option(1);
    command->add_option("--tolerance", request.tolerance, "How far a line may lie from a given d, in Angstrom "
                                                          "(default 0.02)")
        ->needs(lines);
    command->add_option("--limit", request.limit, "Print at most this many patterns (default 50; 0: all)");
    command->add_flag("--json", request.json, "Print as JSON");
}

int RunSearch(const TSearchRequest& request, std::ostream& out, std::ostream& err)
{
    RefuseFileAsDatabaseFolder(request.folder);
    if (ReportFolderMissing(request.folder, err))
        return kExitFolderMissing;
    TIndexSearch search(request.folder);
    TAsked asked;
    const std::vector<TSearchHit> hits = Search(search, request, asked);
    const std::size_t shown = request.limit == 0 ? hits.size() : std::min(request.limit, hits.size());
    if (!request.json) {
        PrintHits(search, hits, shown, asked, out);
        return kExitSuccess;
    }
    nlohmann::json results = nlohmann::json::array();
    for (std::size_t i = 0; i < shown; ++i)
        results.push_back(HitJson(hits[i], search.Summary(hits[i].RecordNumber)));
    WriteJson(out, {{"database", request.folder}, {"search", asked.json}, {"found", hits.size()}, {"results", results}});
    return kExitSuccess;
}

namespace {

class TSearchCommand : public TCommand {
public:
    std::string_view Name() const override { return "search"; }
    std::string_view Summary() const override
    {
        return "Find patterns through the database's own indexes: a name, formula, code, author or journal that "
               "begins with TEXT, or the strongest lines (d in Angstrom). Changes nothing";
    }
    std::string_view Example() const override { return "norrvik-cli search ./tessaly-db --name quartz --limit 10"; }
    void DeclareOptions(CLI::App& command) override { DeclareSearchOptions(command, request_); }
    int Run(const TCommandContext& context) override { return RunSearch(request_, context.out, context.err); }

private:
    TSearchRequest request_;
};

} // namespace

std::unique_ptr<TCommand> MakeSearchCommand()
{
    return std::make_unique<TSearchCommand>();
}

} // namespace norrvik
