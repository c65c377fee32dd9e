// `history DB [--json] [--run N]`: the runs of a Tessaly database's import
// log, newest last, or one run's entries.
#include "cli/Command.h"
#include "cli/CommandSupport.h"
#include "cli/JsonOutput.h"
#include "common/Platform.h"
#include "convert/ConversionReport.h"
#include "convert/ImportHistory.h"
#include "convert/ImportLog.h"

#include <CLI/CLI.hpp>

#include <algorithm>

namespace norrvik {

namespace {

nlohmann::json SourceJson(const TImportSource& source)
{
    return {{"as_given", source.AsGiven}, {"path", source.Path}, {"identity", source.Identity}};
}

nlohmann::json RunJson(const TImportRun& run)
{
    nlohmann::json json{{"run", run.Number},
                        {"time", run.Time},
                        {"version", run.Version},
                        {"format", run.Format},
                        {"source", SourceJson(run.Source)},
                        {"new_database", run.NewDatabase},
                        {"patterns_before", run.PatternsBefore},
                        {"outcome", ImportOutcomeName(run.Outcome)},
                        {"patterns_stored", PatternsStoredBy(run)},
                        {"undone", run.Undone}};
    if (run.Finishes != 0)
        json["finishes"] = run.Finishes;
    if (run.Outcome != ImportOutcome::Interrupted)
        json.update({{"end_time", run.EndTime},
                     {"entries_total", run.EntriesTotal},
                     {"entries_done", run.EntriesDone},
                     {"added", run.Added},
                     {"skipped", run.Skipped},
                     {"entries_without_lines", run.WithoutLines},
                     {"patterns_after", run.PatternsAfter}});
    if (!run.Message.empty())
        json["message"] = run.Message;
    return json;
}

nlohmann::json EntriesJson(const TImportRun& run)
{
    nlohmann::json entries = nlohmann::json::array();
    for (const TImportEntry& entry : run.Entries)
        entries.push_back(
            {{"entry", entry.Entry}, {"name", entry.Name}, {"code", entry.Code}, {"result", EntryResultName(entry.Result)}});
    return entries;
}

// "Run 3 on 2026-12-09 at 12:30:05 UTC (5 patterns, completed): kandor from /data/kandor", and what followed.
std::string RunLine(const TImportRun& run)
{
    std::string line = ImportRunText(run) + ": " + run.Format + " from " + run.Source.Path;
    if (run.NewDatabase)
        line += ", creating the database";
    if (run.Finishes != 0)
        line += ", finishing run " + std::to_string(run.Finishes);
    if (run.Outcome != ImportOutcome::Interrupted)
        line += "; " + std::to_string(run.EntriesDone) + " of " + std::to_string(run.EntriesTotal) + " entries, " +
                std::to_string(run.Skipped) + " skipped";
    if (run.Undone)
        line += "; undone";
    return line;
}

void PrintEntries(const TImportRun& run, std::ostream& out)
{
    for (const TImportEntry& entry : run.Entries)
        out << "  " << entry.Entry << '\t' << entry.Name << '\t' << entry.Code << '\t' << EntryResultName(entry.Result)
            << '\n';
}

class THistoryCommand : public TCommand {
public:
    std::string_view Name() const override { return "history"; }
    std::string_view Summary() const override
    {
        return "List the conversion runs into a Tessaly database, newest last, from its import log";
    }
    std::string_view Example() const override { return "norrvik-cli history ./tessaly-db --run 3"; }

    void DeclareOptions(CLI::App& command) override
    {
        command.add_option("DB", folder_, "Folder of the Tessaly database")->required();
        command.add_option("--run", run_, "Show this run's entries: what each source entry became");
        command.add_flag("--json", json_, "Print the runs as JSON");
    }

    int Run(const TCommandContext& context) override
    {
        RefuseFileAsDatabaseFolder(folder_);
        const std::vector<TImportRun> runs = ReadImportLog(PathFromText(folder_), run_ != 0 ? LogDetail::Entries : LogDetail::Runs);
        if (run_ != 0)
            return ShowRun(runs, context);
        if (json_) {
            nlohmann::json list = nlohmann::json::array();
            for (const TImportRun& run : runs)
                list.push_back(RunJson(run));
            WriteJson(context.Out, {{"database", folder_}, {"runs", list}});
        } else if (runs.empty()) {
            context.Out << "No conversion runs are on record in " << folder_
                        << " (it has no import log: runs made before it, or by another program, leave none).\n";
        } else {
            for (const TImportRun& run : runs)
                context.Out << RunLine(run) << '\n';
        }
        return kExitSuccess;
    }

private:
    int ShowRun(const std::vector<TImportRun>& runs, const TCommandContext& context) const
    {
        const auto found =
            std::find_if(runs.begin(), runs.end(), [&](const TImportRun& run) { return run.Number == run_; });
        if (found == runs.end()) {
            context.Err << "The import log of " << folder_ << " holds no run " << run_ << " (runs 1 to "
                        << runs.size() << " are on record; norrvik-cli history lists them).\n";
            return kExitFailure;
        }
        if (json_) {
            nlohmann::json json = RunJson(*found);
            json["entries"] = EntriesJson(*found);
            WriteJson(context.Out, json);
        } else {
            context.Out << RunLine(*found) << '\n';
            PrintEntries(*found, context.Out);
        }
        return kExitSuccess;
    }

    std::string folder_;
    int run_ = 0;
    bool json_ = false;
};

} // namespace

std::unique_ptr<TCommand> MakeHistoryCommand()
{
    return std::make_unique<THistoryCommand>();
}

} // namespace norrvik
