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
        markers += (markers.empty() ? "" : ", ") + std::string(format.MarkerFile);
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
    std::string Format = "auto"; // a format's command-line name, or "auto"
    std::string OldFolder;
    std::string NewFolder;
    bool DryRun = false;
    bool Json = false;
    bool Quiet = false; // no "Format: ... found" line
    // Refuse, changing nothing, when the target already holds patterns
    // imported from the same old folder.
    bool SkipReimport = false;
    // A Tessaly source: copy its user patterns alone; print each user
    // pattern's old and new code.
    bool UserOnly = false;
    bool Verbose = false;
    // Finish the stopped run from OLD into NEW (FindStoppedRun).
    bool Resume = false;
};

bool CarriesOver(const TFormatInfo& format)
{
    return format.Format == SourceFormat::Tessaly;
}

nlohmann::json CodeMappingJson(const TConversionSummary& summary)
{
    nlohmann::json mappings = nlohmann::json::array();
    for (const TCodeMapping& mapping : summary.CodeMappings)
        mappings.push_back(
            {{"old_code", mapping.OldCode}, {"new_code", mapping.NewCode}, {"already_present", mapping.AlreadyPresent}});
    return mappings;
}

// "99-000-0003 -> 99-000-0042", one line per user pattern.
void PrintCodeMapping(const TConversionSummary& summary, std::ostream& out)
{
    for (const TCodeMapping& mapping : summary.CodeMappings)
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
    RunOutcome Outcome = RunOutcome::Failed;
    std::string Message; // why it stopped; empty when it finished
    TConversionSummary Summary;
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
    const std::vector<const TFormatInfo*> found = DetectFormats(request.OldFolder);
    const TFormatInfo* named = FormatByCliName(request.Format);
    if (named != nullptr && CarriesOver(*named))
        return named;
    if (named != nullptr) {
        if (!found.empty() && std::find(found.begin(), found.end(), named) == found.end())
            err << "Warning: " << FormatMismatchText(request.OldFolder, *named, found) << " Converting as "
                << named->DisplayName << ", as asked.\n";
        return named;
    }
    if (found.size() == 1) {
        if (!request.Quiet)
            err << "Format: " << FormatsText(found) << ", found in " << request.OldFolder << '\n';
        return found.front();
    }
    err << (found.empty() ? NoFormatFoundMessage(request.OldFolder, true)
                          : SeveralFormatsMessage(request.OldFolder, found, true))
        << '\n';
    return nullptr;
}

// The patterns earlier runs imported from the same folder, for a conversion
// that adds every entry again; none when the target cannot be read (the run
// itself then reports why).
TEarlierImports EarlierImports(const TFormatInfo& format, const TConvertRequest& request)
{
    if (!IsUserDatabaseConversion(format, request.OldFolder))
        return {};
    try {
        return FindEarlierImports(TTypedFolder(request.NewFolder), request.OldFolder);
    } catch (const Exception&) {
        return {};
    }
}

// The fields a dry run and a real run share, under the same names.
nlohmann::json SummaryJson(const TFormatInfo& format, const TConvertRequest& request, RunOutcome outcome)
{
    return {{"dry_run", request.DryRun},
            {"outcome", OutcomeName(outcome)},
            {"format", format.CliName},
            {"old_folder", request.OldFolder},
            {"new_folder", request.NewFolder}};
}

void PrintPreviewText(const TFormatInfo& format, const TConversionPreview& preview, const TConvertRequest& request,
                      std::ostream& out)
{
    out << "Dry run, nothing written: converting " << request.OldFolder << " as " << format.DisplayName << " into "
        << request.NewFolder << '\n';
    out << "  Entries found:                  " << preview.Entries << '\n';
    out << "  Patterns that would be added:   " << preview.WouldAdd << '\n';
    out << "  Skipped as already present:     " << preview.WouldSkip << '\n';
    out << "  Imported earlier from this folder: " << preview.EarlierImports << '\n';
    out << "  Target patterns now:            " << preview.TargetBefore
        << (preview.TargetExists ? "" : " (a new database would be created)") << '\n';
    out << "  Target patterns afterwards:     " << preview.TargetAfter << '\n';
    if (preview.UserLimitReached)
        out << "  The run would stop with an error at the 9999th user pattern of the target.\n";
}

// The dry run: what the run would do, and the status it would end with.
int RunDryRun(const TFormatInfo& format, const TConvertRequest& request, std::ostream& out, std::ostream& err)
{
    const TConversionPreview preview = PreviewConversion(format, request.OldFolder, request.NewFolder, {request.UserOnly});
    const RunOutcome outcome = preview.UserLimitReached ? RunOutcome::Failed : RunOutcome::Finished;
    if (request.Json) {
        nlohmann::json json = SummaryJson(format, request, outcome);
        json.update({{"entries", preview.Entries},
                     {"added", preview.WouldAdd},
                     {"skipped", preview.WouldSkip},
                     {"earlier_imports", preview.EarlierImports},
                     {"target_pattern_count", preview.TargetAfter},
                     {"target_exists", preview.TargetExists},
                     {"target_patterns_before", preview.TargetBefore},
                     // The names the dry run has always had, for scripts that read them.
                     {"would_add", preview.WouldAdd},
                     {"would_skip", preview.WouldSkip},
                     {"target_patterns_after", preview.TargetAfter},
                     {"user_limit_reached", preview.UserLimitReached}});
        WriteJson(out, json);
    } else {
        PrintPreviewText(format, preview, request, out);
    }
    if (outcome == RunOutcome::Finished)
        return kExitSuccess;
    err << NoUserCodeLeftMessage(IncludeTrailingPathDelimiter(request.NewFolder), kMaxUserCodeNumber) << '\n';
    return kExitFailure;
}

// Runs the conversion with a progress bar and Ctrl-C; `resume`: the stopped
// run it finishes.
TDriverRun RunDriver(const TFormatInfo& format, const TConvertRequest& request, std::ostream& err,
                     const TCliOptions& options, const TResumePoint& resume = {})
{
    TInterruptGuard interrupt;
    TTerminalProgress progress(err, options.DrawProgress, options.ColumnsOf);
    TConversionDrivers drivers = options.Drivers;
    if (request.UserOnly)
        drivers[FormatPosition(SourceFormat::Tessaly)] = TessalyDriver({true});
    const TConversionOutcome outcome = RunConversion(
        drivers, {&format, resume.Run != 0 ? resume.OldFolder : request.OldFolder, request.NewFolder,
                  progress.Callback(), resume});
    progress.Finish();
    TDriverRun run;
    run.Summary = outcome.Summary;
    if (outcome.Cancelled())
        run.Outcome = RunOutcome::Cancelled;
    else
        run.Outcome = outcome.Success && !outcome.Failure ? RunOutcome::Finished : RunOutcome::Failed;
    if (outcome.Failure) {
        run.Message = outcome.FailureText();
        if (run.Message.empty())
            run.Message = "Unknown error";
    } else if (!outcome.Success) {
        run.Message = "Conversion failed";
    }
    return run;
}

nlohmann::json RunSummaryJson(const TFormatInfo& format, const TConvertRequest& request, const TDriverRun& run,
                              long earlierImports)
{
    const TConversionSummary& summary = run.Summary;
    nlohmann::json json = SummaryJson(format, request, run.Outcome);
    json.update({{"entries", summary.EntriesTotal},
                 {"entries_done", summary.EntriesDone},
                 {"added", summary.Added},
                 {"skipped", summary.Skipped},
                 {"entries_without_lines", summary.EntriesWithoutLines},
                 {"entries_without_pattern_file", summary.EntriesWithoutPatternFile},
                 {"earlier_imports", earlierImports},
                 {"target_pattern_count", summary.TargetPatternCount}});
    if (CarriesOver(format))
        json["code_mapping"] = CodeMappingJson(summary);
    if (run.Outcome != RunOutcome::Finished)
        json["message"] = run.Message;
    return json;
}

// What the run did, on every outcome; the exit status.
int ReportRun(const TFormatInfo& format, const TConvertRequest& request, const TDriverRun& run, long earlierImports,
              std::ostream& out, std::ostream& err)
{
    const TConversionSummary& summary = run.Summary;
    if (run.Outcome != RunOutcome::Finished)
        err << run.Message << '\n';
    if (!request.Json && request.Verbose)
        PrintCodeMapping(summary, out);
    if (request.Json)
        WriteJson(out, RunSummaryJson(format, request, run, earlierImports));
    else if (run.Outcome == RunOutcome::Finished)
        out << ConversionResultText(summary.Added, summary.Skipped, summary.TargetPatternCount) << '\n';
    else if (run.Outcome == RunOutcome::Cancelled)
        out << StoppedResultLine(run.Message, summary) << '\n';
    if (run.Outcome == RunOutcome::Cancelled)
        return CancelledExitStatus();
    if (run.Outcome == RunOutcome::Failed)
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
    const std::string text = EarlierImportsText(earlier.Patterns, request.OldFolder, request.NewFolder, earlier.Latest);
    if (request.SkipReimport) {
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
            formatNames.emplace_back(info.CliName);
        command.add_option("-f,--format", request_.Format,
                           "Format of the old database; auto (the default) takes the one its files show")
            ->check(CLI::IsMember(formatNames, CLI::ignore_case));
        command.add_option("OLD", request_.OldFolder, "Folder of the old database")->required();
        command.add_option("NEW", request_.NewFolder, "Folder of the Tessaly database (created when missing)")
            ->required();
        command.add_flag("-n,--dry-run", request_.DryRun,
                         "Read both databases and print what the conversion would do; write nothing");
        command.add_flag("--skip-reimport", request_.SkipReimport,
                         "Refuse, changing nothing, when NEW already holds patterns imported from OLD");
        command.add_flag("-q,--quiet", request_.Quiet, "Do not print the format found in OLD");
        command.add_flag("--json", request_.Json, "Print the summary as JSON");
        command.add_flag("--user-only", request_.UserOnly,
                         "With a Tessaly database as OLD: carry over its user patterns only, not its reference patterns");
        command.add_flag("--resume", request_.Resume,
                         "Finish the stopped last run from OLD into NEW: convert only the entries it did not store, "
                         "under the codes they would have had");
        command.add_flag("--verbose", request_.Verbose,
                         "With a Tessaly database as OLD: print the old and new code of each user pattern, one line each");
    }

    int Run(const TCommandContext& context) override
    {
        // The comment line of every pattern names the old folder: as an
        // absolute path a lab can find it again.
        request_.OldFolder = AbsoluteFolderText(request_.OldFolder);
        if (const std::optional<std::string> problem = FolderTextProblem(request_.OldFolder, request_.NewFolder)) {
            context.Err << *problem << '\n';
            return kExitFailure;
        }
        const TFormatInfo* format = ResolveFormat(request_, context.Err);
        if (format == nullptr)
            return kExitFailure;
        if (request_.UserOnly && !CarriesOver(*format)) {
            context.Err << "--user-only applies to a Tessaly database as the old database (--format tessaly).\n";
            return kExitUsage;
        }
        if (request_.DryRun)
            return RunDryRun(*format, request_, context.Out, context.Err);
        if (request_.Resume)
            return RunResumed(*format, context);
        const TEarlierImports earlier = EarlierImports(*format, request_);
        if (!PassesReimportGuard(earlier, request_, context.Err))
            return kExitFailure;
        const TDriverRun run = RunDriver(*format, request_, context.Err, context.Options);
        return ReportRun(*format, request_, run, earlier.Patterns, context.Out, context.Err);
    }

private:
    // --resume: the stopped run found in NEW's import log is finished, or
    // nothing is done when there is none.
    int RunResumed(const TFormatInfo& format, const TCommandContext& context)
    {
        const std::optional<TStoppedRun> stopped = FindStoppedRun(format, TTypedFolder(request_.NewFolder), request_.OldFolder);
        if (!stopped) {
            context.Err << NothingToResumeText(request_.OldFolder, request_.NewFolder) << '\n';
            return kExitFailure;
        }
        context.Err << "Finishing " << ImportRunText(stopped->Run) << ": " << stopped->Resume.StoredPatterns
                    << " of its entries are stored and passed over.\n";
        const TDriverRun run = RunDriver(format, request_, context.Err, context.Options, stopped->Resume);
        return ReportRun(format, request_, run, 0, context.Out, context.Err);
    }

    TConvertRequest request_;
};

} // namespace

std::unique_ptr<TCommand> MakeConvertCommand()
{
    return std::make_unique<TConvertCommand>();
}

} // namespace norrvik
