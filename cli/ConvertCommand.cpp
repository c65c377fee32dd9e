// `convert`: the format of the old database named or found from its files,
// the re-import guard for user databases, the dry run, the run with its
// progress bar and Ctrl-C, and the summary as text or JSON on every outcome.
#include "cli/ConvertCommand.h"

#include "cli/Command.h"
#include "cli/CommandSupport.h"
#include "cli/JsonOutput.h"
#include "cli/TerminalProgress.h"
#include "common/Files.h"
#include "common/FolderChecks.h"
#include "common/ProgressText.h"
#include "common/StopSignals.h"
#include "convert/ConversionReport.h"
#include "convert/DryRun.h"
#include "convert/FormatDetection.h"
#include "convert/ImportHistory.h"
#include "convert/TessalyConversion.h"
#include "refdb/ReferenceCodes.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <optional>
#include <vector>

namespace norrvik {

std::string NoFormatFoundMessage(const std::string& oldFolder, bool nameFormat)
{
    std::string markers;
    for (const TFormatInfo& format : kFormats)
        markers += (markers.empty() ? "" : ", ") + std::string(format.markerFile);
    return "Folder " + oldFolder + " holds no Quorvane, Kandor or Veltro database (none of " + markers +
           " is there). Give the folder that holds the old database" +
           (nameFormat ? ", or name its format with --format." : ".");
}

std::string SeveralFormatsMessage(const std::string& oldFolder, const std::vector<const TFormatInfo*>& found,
                                  bool nameFormat)
{
    return "Folder " + oldFolder + " holds more than one old database: " + FormatsText(found) +
           (nameFormat ? ". Name the one to convert with --format." : ".");
}

namespace {

struct TConvertRequest {
    std::string format = "auto"; // a format's command-line name, or "auto"
    std::string oldFolder;
    std::string newFolder;
    bool dryRun = false;
    bool json = false;
    bool quiet = false; // no "Format: ... found" line
    // Refuse, changing nothing, when the target already holds patterns
    // imported from the same old folder.
    bool skipReimport = false;
    // A Tessaly source: copy its user patterns alone; print each user
    // pattern's old and new code.
    bool userOnly = false;
    bool verbose = false;
    // Finish the stopped run from OLD into NEW (FindStoppedRun).
    bool resume = false;
};

bool CarriesOver(const TFormatInfo& format)
{
    return format.format == SourceFormat::Tessaly;
}

nlohmann::json CodeMappingJson(const TConversionSummary& summary)
{
    nlohmann::json mappings = nlohmann::json::array();
    for (const TCodeMapping& mapping : summary.codeMappings)
        mappings.push_back(
            {{"old_code", mapping.oldCode}, {"new_code", mapping.newCode}, {"already_present", mapping.alreadyPresent}});
    return mappings;
}

// "99-000-0003 -> 99-000-0042", one line per user pattern.
void PrintCodeMapping(const TConversionSummary& summary, std::ostream& out)
{
    for (const TCodeMapping& mapping : summary.codeMappings)
        out << CodeMappingText(mapping) << '\n';
}

// How a run ended, as the JSON summary names it.
enum class RunOutcome { Finished, Cancelled, Failed };

const char* OutcomeName(RunOutcome outcome)
{
    switch (outcome) {
    case RunOutcome::Finished: return "finished";
    case RunOutcome::Cancelled: return "cancelled";
    case RunOutcome::Failed: break;
    }
    return "failed";
}

struct TDriverRun {
    RunOutcome outcome = RunOutcome::Failed;
    std::string message; // why it stopped; empty when it finished
    TConversionSummary summary;
};

// The checks the window makes on the two folder texts, plus a file given
// where a folder belongs; the message to print, or nothing.
std::optional<std::string> FolderTextProblem(const std::string& oldFolder, const std::string& newFolder)
{
    if (NamesAFile(oldFolder))
        return NotAFolderMessage(kOldFolderWhat, oldFolder);
    if (!OldFolderExists(oldFolder))
        return OldFolderMissingMessage(oldFolder);
    if (TargetFolderBlank(newFolder))
        return std::string(kEmptyTargetMessage);
    if (NamesAFile(newFolder))
        return NotAFolderMessage(kNewFolderWhat, newFolder);
    return std::nullopt;
}

// The format named, or the one format the folder holds for "auto"; nullptr
// after printing why there is none.
const TFormatInfo* ResolveFormat(const TConvertRequest& request, std::ostream& err)
{
    const std::vector<const TFormatInfo*> found = DetectFormats(request.oldFolder);
    const TFormatInfo* named = FormatByCliName(request.format);
    if (named != nullptr && CarriesOver(*named))
        return named;
    if (named != nullptr) {
        if (!found.empty() && std::find(found.begin(), found.end(), named) == found.end())
            err << "Warning: " << FormatMismatchText(request.oldFolder, *named, found) << " Converting as "
                << named->displayName << ", as asked.\n";
        return named;
    }
    if (found.size() == 1) {
        if (!request.quiet)
            err << "Format: " << FormatsText(found) << ", found in " << request.oldFolder << '\n';
        return found.front();
    }
    err << (found.empty() ? NoFormatFoundMessage(request.oldFolder, true)
                          : SeveralFormatsMessage(request.oldFolder, found, true))
        << '\n';
    return nullptr;
}

// The patterns earlier runs imported from the same folder, for a conversion
// that adds every entry again; none when the target cannot be read (the run
// itself then reports why).
TEarlierImports EarlierImports(const TFormatInfo& format, const TConvertRequest& request)
{
    if (!IsUserDatabaseConversion(format, request.oldFolder))
        return {};
    try {
        return FindEarlierImports(TTargetFolder(request.newFolder), request.oldFolder);
    } catch (const Exception&) {
        return {};
    }
}

// The fields a dry run and a real run share, under the same names.
nlohmann::json SummaryJson(const TFormatInfo& format, const TConvertRequest& request, RunOutcome outcome)
{
    return {{"dry_run", request.dryRun},
            {"outcome", OutcomeName(outcome)},
            {"format", format.cliName},
            {"old_folder", request.oldFolder},
            {"new_folder", request.newFolder}};
}

void PrintPreviewText(const TFormatInfo& format, const TConversionPreview& preview, const TConvertRequest& request,
                      std::ostream& out)
{
    out << "Dry run, nothing written: converting " << request.oldFolder << " as " << format.displayName << " into "
        << request.newFolder << '\n';
    out << "  Entries found:                  " << preview.entries << '\n';
    out << "  Patterns that would be added:   " << preview.wouldAdd << '\n';
    out << "  Skipped as already present:     " << preview.wouldSkip << '\n';
    out << "  Imported earlier from this folder: " << preview.earlierImports << '\n';
    out << "  Target patterns now:            " << preview.targetBefore
        << (preview.targetExists ? "" : " (a new database would be created)") << '\n';
    out << "  Target patterns afterwards:     " << preview.targetAfter << '\n';
    if (preview.userLimitReached)
        out << "  The run would stop with an error at the 9999th user pattern of the target.\n";
}

// The dry run: what the run would do, and the status it would end with.
int RunDryRun(const TFormatInfo& format, const TConvertRequest& request, std::ostream& out, std::ostream& err)
{
    const TConversionPreview preview = PreviewConversion(format, request.oldFolder, request.newFolder, {request.userOnly});
    const RunOutcome outcome = preview.userLimitReached ? RunOutcome::Failed : RunOutcome::Finished;
    if (request.json) {
        nlohmann::json json = SummaryJson(format, request, outcome);
        json.update({{"entries", preview.entries},
                     {"added", preview.wouldAdd},
                     {"skipped", preview.wouldSkip},
                     {"earlier_imports", preview.earlierImports},
                     {"target_pattern_count", preview.targetAfter},
                     {"target_exists", preview.targetExists},
                     {"target_patterns_before", preview.targetBefore},
                     // The names the dry run has always had, for scripts that read them.
                     {"would_add", preview.wouldAdd},
                     {"would_skip", preview.wouldSkip},
                     {"target_patterns_after", preview.targetAfter},
                     {"user_limit_reached", preview.userLimitReached}});
        WriteJson(out, json);
    } else {
        PrintPreviewText(format, preview, request, out);
    }
    if (outcome == RunOutcome::Finished)
        return kExitSuccess;
    err << NoUserCodeLeftMessage(IncludeTrailingPathDelimiter(request.newFolder), kMaxUserCodeNumber) << '\n';
    return kExitFailure;
}

// Runs the conversion with a progress bar and Ctrl-C; `resume`: the stopped
// run it finishes.
TDriverRun RunDriver(const TFormatInfo& format, const TConvertRequest& request, std::ostream& err,
                     const TCliOptions& options, const TResumePoint& resume = {})
{
    TInterruptGuard interrupt;
    TTerminalProgress progress(err, options.drawProgress, options.terminalColumns);
    TConversionDrivers drivers = options.drivers;
    if (request.userOnly)
        drivers[FormatPosition(SourceFormat::Tessaly)] = TessalyDriver({true});
    const TConversionOutcome outcome = RunConversion(
        drivers, {&format, resume.Run != 0 ? resume.OldFolder : request.oldFolder, request.newFolder,
                  progress.Callback(), resume});
    progress.Finish();
    TDriverRun run;
    run.summary = outcome.summary;
    if (outcome.Cancelled())
        run.outcome = RunOutcome::Cancelled;
    else
        run.outcome = outcome.success && !outcome.failure ? RunOutcome::Finished : RunOutcome::Failed;
    if (outcome.failure) {
        run.message = outcome.FailureText();
        if (run.message.empty())
            run.message = "Unknown error";
    } else if (!outcome.success) {
        run.message = "Conversion failed";
    }
    return run;
}

nlohmann::json RunSummaryJson(const TFormatInfo& format, const TConvertRequest& request, const TDriverRun& run,
                              long earlierImports)
{
    const TConversionSummary& summary = run.summary;
    nlohmann::json json = SummaryJson(format, request, run.outcome);
    json.update({{"entries", summary.entriesTotal},
                 {"entries_done", summary.entriesDone},
                 {"added", summary.added},
                 {"skipped", summary.skipped},
                 {"entries_without_lines", summary.entriesWithoutLines},
                 {"entries_without_pattern_file", summary.entriesWithoutPatternFile},
                 {"earlier_imports", earlierImports},
                 {"target_pattern_count", summary.targetPatternCount}});
    if (CarriesOver(format))
        json["code_mapping"] = CodeMappingJson(summary);
    if (run.outcome != RunOutcome::Finished)
        json["message"] = run.message;
    return json;
}

// What the run did, on every outcome; the exit status.
int ReportRun(const TFormatInfo& format, const TConvertRequest& request, const TDriverRun& run, long earlierImports,
              std::ostream& out, std::ostream& err)
{
    const TConversionSummary& summary = run.summary;
    if (run.outcome != RunOutcome::Finished)
        err << run.message << '\n';
    if (!request.json && request.verbose)
        PrintCodeMapping(summary, out);
    if (request.json)
        WriteJson(out, RunSummaryJson(format, request, run, earlierImports));
    else if (run.outcome == RunOutcome::Finished)
        out << ConversionResultText(summary.added, summary.skipped, summary.targetPatternCount) << '\n';
    else if (run.outcome == RunOutcome::Cancelled)
        out << StoppedResultLine(run.message, summary) << '\n';
    if (run.outcome == RunOutcome::Cancelled)
        return CancelledExitStatus();
    if (run.outcome == RunOutcome::Failed)
        return kExitFailure;
    if (FoundNothingToConvert(summary))
        err << "Warning: " << kNothingToConvertText << '\n';
    if (const std::string withoutLines = WithoutPatternFileText(summary); !withoutLines.empty())
        err << "Warning: " << withoutLines << '\n';
    return kExitSuccess;
}

// The re-import guard: false after refusing (--skip-reimport).
bool PassesReimportGuard(const TEarlierImports& earlier, const TConvertRequest& request, std::ostream& err)
{
    if (earlier.Patterns == 0)
        return true;
    const std::string text = EarlierImportsText(earlier.Patterns, request.oldFolder, request.newFolder, earlier.Latest);
    if (request.skipReimport) {
        err << text << " Nothing was converted (--skip-reimport).\n";
        return false;
    }
    err << "Warning: " << text << " Its entries are added again"
        << (earlier.Latest && earlier.Latest->Outcome != ImportOutcome::Completed
                ? " (--resume would finish the stopped run instead).\n"
                : ".\n");
    return true;
}

class TConvertCommand : public TCommand {
public:
    std::string_view Name() const override { return "convert"; }
    std::string_view Summary() const override
    {
        return "Convert an old database into a Tessaly database: a new one when NEW holds none, otherwise the "
               "patterns are added to the one in NEW";
    }
    std::string_view Example() const override { return "norrvik-cli convert --dry-run ./kandor-db ./tessaly-db"; }
    std::string_view ExitStatuses() const override
    {
        static const std::string text =
            std::string("0: converted\n1: failed or refused (the message says why; with --dry-run: the run would "
                        "fail)\n2: wrong arguments\n") +
            StopExitStatusesText() + " after the entry at hand (what was added stays)";
        return text;
    }

    void DeclareOptions(CLI::App& command) override
    {
        std::vector<std::string> formatNames{"auto"};
        for (const TFormatInfo& info : kFormats)
            formatNames.emplace_back(info.cliName);
        command.add_option("-f,--format", request_.format,
                           "Format of the old database; auto (the default) takes the one its files show")
            ->check(CLI::IsMember(formatNames, CLI::ignore_case));
        command.add_option("OLD", request_.oldFolder, "Folder of the old database")->required();
        command.add_option("NEW", request_.newFolder, "Folder of the Tessaly database (created when missing)")
            ->required();
        command.add_flag("-n,--dry-run", request_.dryRun,
                         "Read both databases and print what the conversion would do; write nothing");
        command.add_flag("--skip-reimport", request_.skipReimport,
                         "Refuse, changing nothing, when NEW already holds patterns imported from OLD");
        command.add_flag("-q,--quiet", request_.quiet, "Do not print the format found in OLD");
        command.add_flag("--json", request_.json, "Print the summary as JSON");
        command.add_flag("--user-only", request_.userOnly,
                         "With a Tessaly database as OLD: carry over its user patterns only, not its reference patterns");
        command.add_flag("--resume", request_.resume,
                         "Finish the stopped last run from OLD into NEW: convert only the entries it did not store, "
                         "under the codes they would have had");
        command.add_flag("--verbose", request_.verbose,
                         "With a Tessaly database as OLD: print the old and new code of each user pattern, one line each");
    }

    int Run(const TCommandContext& context) override
    {
        // The comment line of every pattern names the old folder: as an
        // absolute path a lab can find it again.
        request_.oldFolder = AbsoluteFolderText(request_.oldFolder);
        if (const std::optional<std::string> problem = FolderTextProblem(request_.oldFolder, request_.newFolder)) {
            context.err << *problem << '\n';
            return kExitFailure;
        }
        const TFormatInfo* format = ResolveFormat(request_, context.err);
        if (format == nullptr)
            return kExitFailure;
        if (request_.userOnly && !CarriesOver(*format)) {
            context.err << "--user-only applies to a Tessaly database as the old database (--format tessaly).\n";
            return kExitUsage;
        }
        if (request_.dryRun)
            return RunDryRun(*format, request_, context.out, context.err);
        if (request_.resume)
            return RunResumed(*format, context);
        const TEarlierImports earlier = EarlierImports(*format, request_);
        if (!PassesReimportGuard(earlier, request_, context.err))
            return kExitFailure;
        const TDriverRun run = RunDriver(*format, request_, context.err, context.options);
        return ReportRun(*format, request_, run, earlier.Patterns, context.out, context.err);
    }

private:
    // --resume: the stopped run found in NEW's import log is finished, or
    // nothing is done when there is none.
    int RunResumed(const TFormatInfo& format, const TCommandContext& context)
    {
        const std::optional<TStoppedRun> stopped = FindStoppedRun(format, TTargetFolder(request_.newFolder), request_.oldFolder);
        if (!stopped) {
            context.err << NothingToResumeText(request_.oldFolder, request_.newFolder) << '\n';
            return kExitFailure;
        }
        context.err << "Finishing " << ImportRunText(stopped->Run) << ": " << stopped->Resume.StoredPatterns
                    << " of its entries are stored and passed over.\n";
        const TDriverRun run = RunDriver(format, request_, context.err, context.options, stopped->Resume);
        return ReportRun(format, request_, run, 0, context.out, context.err);
    }

    TConvertRequest request_;
};

} // namespace

std::unique_ptr<TCommand> MakeConvertCommand()
{
    return std::make_unique<TConvertCommand>();
}

} // namespace norrvik
