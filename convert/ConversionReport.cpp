// Texts about the outcome of a conversion.
#include "convert/ConversionReport.h"

#include "common/Format.h"
#include "convert/ImportHistory.h"

namespace norrvik {

std::string PatternsText(long count)
{
    return std::to_string(count) + (count == 1 ? " pattern" : " patterns");
}

bool FoundNothingToConvert(const TConversionSummary& summary)
{
    return summary.Added == 0 && summary.Skipped == 0;
}

std::string WithoutLinesText(long entriesWithoutLines)
{
    if (entriesWithoutLines <= 0)
        return {};
    return Format("%ld %s no pattern file and %s converted without lines.", entriesWithoutLines,
                  entriesWithoutLines == 1 ? "entry had" : "entries had", entriesWithoutLines == 1 ? "was" : "were");
}

std::string StoppedResultLine(const std::string& how, const TConversionSummary& summary)
{
    std::string line = how + "; ";
    if (summary.Added == 0) {
        line += "no patterns were added";
        // A count of 0 may also mean the target was never reached.
        if (summary.TargetPatternCount > 0)
            line += "; the target database holds " + PatternsText(summary.TargetPatternCount);
    } else {
        line += PatternsText(summary.Added) + " added; the target database now holds " +
                PatternsText(summary.TargetPatternCount);
    }
    if (const std::string withoutLines = WithoutLinesText(summary.EntriesWithoutLines); !withoutLines.empty())
        line += ". " + withoutLines;
    return line;
}

std::string ImportRunText(const TImportRun& run)
{
    std::string when = run.Time;
    // "2026-12-09T12:30:05Z" -> "2026-12-09 at 12:30:05 UTC"
    if (when.size() == 20 && when[10] == 'T' && when.back() == 'Z')
        when = when.substr(0, 10) + " at " + when.substr(11, 8) + " UTC";
    return "Run " + std::to_string(run.Number) + " on " + when + " (" + PatternsText(PatternsStoredBy(run)) + ", " +
           std::string(ImportOutcomeName(run.Outcome)) + ")";
}

std::string EarlierImportsText(long count, const std::string& oldFolder, const std::string& newFolder,
                               const std::optional<TImportRun>& latest)
{
    std::string text = "The Tessaly database in " + newFolder + " already holds " + PatternsText(count) +
                       " imported from " + oldFolder + ".";
    if (latest) {
        std::string run = ImportRunText(*latest);
        run[0] = 'r';
        text += " The last import from there was " + run + ".";
    }
    return text;
}

std::string NothingToResumeText(const std::string& oldFolder, const std::string& newFolder)
{
    return "The import log of " + newFolder + " shows no stopped run from " + oldFolder +
           " to finish: its last run did not read that folder as a user database, or it completed. Nothing was "
           "converted; convert without --resume to add the entries.";
}

std::string WithoutPatternFileText(const TConversionSummary& summary)
{
    std::string text = WithoutLinesText(summary.EntriesWithoutLines);
    if (text.empty() || summary.EntriesWithoutPatternFile.empty())
        return text;
    text.pop_back();
    text += ":";
    for (std::size_t i = 0; i < summary.EntriesWithoutPatternFile.size(); ++i)
        text += (i == 0 ? " " : ", ") + summary.EntriesWithoutPatternFile[i];
    return text + ".";
}

std::string CodeMappingText(const TCodeMapping& mapping)
{
    return mapping.OldCode + " -> " + mapping.NewCode + (mapping.AlreadyPresent ? " (already present)" : "");
}

} // namespace norrvik
