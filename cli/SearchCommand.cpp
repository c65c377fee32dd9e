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
    SearchField Field;
    const char* Option;
    const char* What;
    std::optional<std::string> TSearchRequest::*Text;
};
constexpr TCriterion kCriteria[] = {
    {SearchField::Name, "--name", "name", &TSearchRequest::Name},
    {SearchField::Formula, "--formula", "formula", &TSearchRequest::Formula},
    {SearchField::Code, "--code", "code", &TSearchRequest::Code},
    {SearchField::Author, "--author", "author", &TSearchRequest::Author},
    {SearchField::Journal, "--journal", "journal", &TSearchRequest::Journal},
};

// What was asked, in words ("name begins with \"QUA\"") and as JSON.
struct TAsked {
    std::string Words;
    nlohmann::json Json;
};

std::vector<TSearchHit> Search(TIndexSearch& search, const TSearchRequest& request, TAsked& asked)
{
    for (const TCriterion& criterion : kCriteria) {
        const std::optional<std::string>& text = request.*criterion.Text;
        if (!text)
            continue;
        asked.Words = Format("%s begins with \"%s\"", criterion.What, text->c_str());
        asked.Json = {{"field", criterion.What}, {"prefix", *text}};
        return search.SearchText(criterion.Field, Utf8ToWindows1252(*text));
    }
    TLinesQuery query{request.Lines, request.Tolerance};
    std::string spacings;
    for (const double d : request.Lines)
        spacings += Format("%s%g", spacings.empty() ? "" : " ", d);
    asked.Words = Format("strongest lines at %s A within %g A", spacings.c_str(), request.Tolerance);
    asked.Json = {{"field", "lines"}, {"d", request.Lines}, {"tolerance", request.Tolerance}};
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
    out << hits.size() << (hits.size() == 1 ? " pattern" : " patterns") << " found (" << asked.Words << ")\n";
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
    command->add_option("DB", request.Folder, "Folder of the Tessaly database")->required();
    CLI::Option_group* criteria = command->add_option_group("criterion", "What to search for (one of them)");
    for (const TCriterion& criterion : kCriteria)
        criteria->add_option(criterion.Option, request.*criterion.Text,
                             Format("Patterns whose %s begins with TEXT (any letter case)", criterion.What));
    CLI::Option* lines = criteria->add_option("--lines", request.Lines,
                                              "Patterns whose strongest lines match these d-spacings (up to 8), "
                                              "best first")
                             ->expected(1, 8);
    criteria->require_option(1);
    command->add_option("--tolerance", request.Tolerance, "How far a line may lie from a given d, in Angstrom "
                                                          "(default 0.02)")
        ->needs(lines);
    command->add_option("--limit", request.Limit, "Print at most this many patterns (default 50; 0: all)");
    command->add_flag("--json", request.Json, "Print as JSON");
}

int RunSearch(const TSearchRequest& request, std::ostream& out, std::ostream& err)
{
    RefuseFileAsDatabaseFolder(request.Folder);
    if (ReportFolderMissing(request.Folder, err))
        return kExitFolderMissing;
    TIndexSearch search(request.Folder);
    TAsked asked;
    const std::vector<TSearchHit> hits = Search(search, request, asked);
    const std::size_t shown = request.Limit == 0 ? hits.size() : std::min(request.Limit, hits.size());
    if (!request.Json) {
        PrintHits(search, hits, shown, asked, out);
        return kExitSuccess;
    }
    nlohmann::json results = nlohmann::json::array();
    for (std::size_t i = 0; i < shown; ++i)
        results.push_back(HitJson(hits[i], search.Summary(hits[i].RecordNumber)));
    WriteJson(out, {{"database", request.Folder}, {"search", asked.Json}, {"found", hits.size()}, {"results", results}});
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
    int Run(const TCommandContext& context) override { return RunSearch(request_, context.Out, context.Err); }

private:
    TSearchRequest request_;
};

} // namespace

std::unique_ptr<TCommand> MakeSearchCommand()
{
    return std::make_unique<TSearchCommand>();
}

} // namespace norrvik
