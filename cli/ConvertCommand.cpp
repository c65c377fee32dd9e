// The conversion command of norrvik-cli.
#include "cli/ConvertCommand.h"

#include "cli/JsonOutput.h"
#include "cli/TerminalProgress.h"
#include "common/FolderChecks.h"
#include "common/ProgressText.h"
#include "convert/ConversionReport.h"
#include "convert/DryRun.h"
#include "convert/FormatDetection.h"

#include <algorithm>

#include <optional>
#include <vector>

namespace norrvik {

namespace {

std::string NoFormatFoundMessage(const std::string& oldFolder)
{
    std::string markers;
    for (const FormatInfo& format : kFormats)
        markers += (markers.empty() ? "" : ", ") + std::string(format.markerFile);
    return "Folder " + oldFolder + " holds no Quorvane, Kandor or Veltro database, nor a Tessaly database (none of " + markers +
           " is there). Give the folder that holds the old database, or name its format with --format.";
}

std::string SeveralFormatsMessage(const std::string& oldFolder, const std::vector<const FormatInfo*>& found)
{
    return "Folder " + oldFolder + " holds more than one old database: " + FormatsText(found) +
           ". Name the one to convert with --format.";
}

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
const FormatInfo* ResolveFormat(const TConvertRequest& request, std::ostream& err)
{
    const std::vector<const FormatInfo*> found = DetectFormats(request.oldFolder);
    if (const FormatInfo* named = FormatByCliName(request.format)) {
        if (!found.empty() && std::find(found.begin(), found.end(), named) == found.end())
            err << "Warning: " << FormatMismatchText(request.oldFolder, *named, found) << " Converting as "
                << named->displayName << ", as asked.\n";
        return named;
    }
    if (found.size() == 1) {
        err << "Format: " << FormatsText(found) << ", found in " << request.oldFolder << '\n';
        return found.front();
    }
    err << (found.empty() ? NoFormatFoundMessage(request.oldFolder) : SeveralFormatsMessage(request.oldFolder, found))
        << '\n';
    return nullptr;
}

// The patterns earlier runs imported from the same folder, for a conversion
// that adds every entry again; 0 when the target cannot be read (the run
// itself then reports why).
long EarlierImports(const FormatInfo& format, const TConvertRequest& request)
{
    if (!IsUserDatabaseConversion(format, request.oldFolder))
        return 0;
    try {
        return CountEarlierImports(request.newFolder, request.oldFolder);
    } catch (const Exception&) {
        return 0;
    }
}

void PrintPreview(const FormatInfo& format, const ConversionPreview& preview, const TConvertRequest& request,
                  std::ostream& out)
{
    if (request.json) {
        WriteJson(out, {{"dry_run", true},
                        {"format", format.cliName},
                        {"old_folder", request.oldFolder},
                        {"new_folder", request.newFolder},
                        {"entries", preview.entries},
                        {"would_add", preview.wouldAdd},
                        {"would_skip", preview.wouldSkip},
                        {"earlier_imports", preview.earlierImports},
                        {"target_exists", preview.targetExists},
                        {"target_patterns_before", preview.targetBefore},
                        {"target_patterns_after", preview.targetAfter},
                        {"user_limit_reached", preview.userLimitReached}});
        return;
    }
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

bool CarriesOver(const FormatInfo& format)
{
    return format.format == SourceFormat::Tessaly;
}

nlohmann::json CodeMappingJson(const ConversionSummary& summary)
{
    nlohmann::json mappings = nlohmann::json::array();
    for (const CodeMapping& mapping : summary.codeMappings)
        mappings.push_back(
            {{"old_code", mapping.oldCode}, {"new_code", mapping.newCode}, {"already_present", mapping.alreadyPresent}});
    return mappings;
}

// "99-000-0003 -> 99-000-0042", one line per user pattern.
void PrintCodeMapping(const ConversionSummary& summary, std::ostream& out)
{
    for (const CodeMapping& mapping : summary.codeMappings)
        out << mapping.oldCode << " -> " << mapping.newCode << (mapping.alreadyPresent ? " (already present)" : "")
            << '\n';
}

void PrintSummary(const FormatInfo& format, const ConversionSummary& summary, long earlierImports,
                  const TConvertRequest& request, std::ostream& out, std::ostream& err)
{
    if (request.json) {
        nlohmann::json result = {{"format", format.cliName},
                        {"old_folder", request.oldFolder},
                        {"new_folder", request.newFolder},
                        {"entries", summary.entriesTotal},
                        {"entries_done", summary.entriesDone},
                        {"added", summary.added},
                        {"skipped", summary.skipped},
                        {"entries_without_lines", summary.entriesWithoutLines},
                        {"earlier_imports", earlierImports},
                        {"target_pattern_count", summary.targetPatternCount}};
        if (CarriesOver(format))
            result["code_mapping"] = CodeMappingJson(summary);
        WriteJson(out, result);
    } else {
        if (request.verbose)
            PrintCodeMapping(summary, out);
        out << ConversionResultText(summary.added, summary.skipped, summary.targetPatternCount) << '\n';
    }
    if (FoundNothingToConvert(summary))
        err << "Warning: " << kNothingToConvertText << '\n';
    if (const std::string withoutLines = WithoutLinesText(summary.entriesWithoutLines); !withoutLines.empty())
        err << "Warning: " << withoutLines << '\n';
}

// Runs the conversion with a progress bar and Ctrl-C; the exit status.
int RunDriver(const FormatInfo& format, const TConvertRequest& request, ConversionSummary& summary,
              std::ostream& err, const TCliOptions& options)
{
    TInterruptGuard interrupt;
    TTerminalProgress progress(err, options.drawProgress);
    TConversionDrivers drivers = options.drivers;
    if (request.userOnly)
        drivers[FormatPosition(SourceFormat::Tessaly)] = TessalyDriver({true});
    const ConversionOutcome outcome =
        RunConversion(drivers, {&format, request.oldFolder, request.newFolder, progress.Callback()});
    progress.Finish();
    summary = outcome.summary;
    if (outcome.Cancelled()) {
        err << outcome.FailureText() << '\n';
        return CancelledExitStatus();
    }
    if (outcome.failure)
        std::rethrow_exception(outcome.failure);
    if (!outcome.success) {
        err << "Conversion failed\n";
        return kExitFailure;
    }
    return kExitSuccess;
}

} // namespace

int RunConvert(const TConvertRequest& request, std::ostream& out, std::ostream& err, const TCliOptions& options)
{
    if (const std::optional<std::string> problem = FolderTextProblem(request.oldFolder, request.newFolder)) {
        err << *problem << '\n';
        return kExitFailure;
    }
    const FormatInfo* format = ResolveFormat(request, err);
    if (format == nullptr)
        return kExitFailure;
    if (request.userOnly && !CarriesOver(*format)) {
        err << "--user-only applies to a Tessaly database as the old database (--format tessaly).\n";
        return kExitUsage;
    }
    if (request.dryRun) {
        PrintPreview(*format, PreviewConversion(*format, request.oldFolder, request.newFolder, {request.userOnly}),
                     request, out);
        return kExitSuccess;
    }
    const long earlierImports = EarlierImports(*format, request);
    if (earlierImports > 0) {
        const std::string text = EarlierImportsText(earlierImports, request.oldFolder, request.newFolder);
        if (request.skipReimport) {
            err << text << " Nothing was converted (--skip-reimport).\n";
            return kExitFailure;
        }
        err << "Warning: " << text << " Its entries are added again.\n";
    }
    ConversionSummary summary;
    const int status = RunDriver(*format, request, summary, err, options);
    if (status == kExitSuccess)
        PrintSummary(*format, summary, earlierImports, request, out, err);
    return status;
}

void AddCarryOverOptions(CLI::App& convert, TConvertRequest& request)
{
    convert.add_flag("--user-only", request.userOnly,
                     "With a Tessaly database as OLD: carry over its user patterns only, not its reference patterns");
    convert.add_flag("--verbose", request.verbose,
                     "With a Tessaly database as OLD: print the old and new code of each user pattern, one line each");
}

int RunDetect(const std::string& oldFolder, bool json, std::ostream& out, std::ostream& err)
{
    if (NamesAFile(oldFolder) || !OldFolderExists(oldFolder)) {
        err << (NamesAFile(oldFolder) ? NotAFolderMessage(kOldFolderWhat, oldFolder) : OldFolderMissingMessage(oldFolder))
            << '\n';
        return kExitFailure;
    }
    const std::vector<const FormatInfo*> found = DetectFormats(oldFolder);
    if (json) {
        nlohmann::json formats = nlohmann::json::array();
        for (const FormatInfo* format : found)
            formats.push_back({{"format", format->cliName}, {"label", format->windowLabel}, {"file", format->markerFile}});
        WriteJson(out, {{"folder", oldFolder}, {"formats", formats}});
    } else {
        for (const FormatInfo* format : found)
            out << format->cliName << ": " << format->windowLabel << " (" << format->markerFile << ")\n";
    }
    if (found.size() == 1)
        return kExitSuccess;
    err << (found.empty() ? NoFormatFoundMessage(oldFolder) : SeveralFormatsMessage(oldFolder, found)) << '\n';
    return kExitFailure;
}

} // namespace norrvik
