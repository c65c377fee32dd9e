// Texts about the outcome of a conversion.
#include "convert/ConversionReport.h"

#include "common/Format.h"
#include "common/ProgressText.h"

namespace norrvik {

namespace {

std::string Patterns(long count)
{
    return std::to_string(count) + (count == 1 ? " pattern" : " patterns");
}

std::string WithNotes(std::string line, const ConversionSummary& summary)
{
    const std::string withoutLines = WithoutLinesText(summary.entriesWithoutLines);
    if (!withoutLines.empty())
        line += ". " + withoutLines;
    return line;
}

} // namespace

bool FoundNothingToConvert(const ConversionSummary& summary)
{
    return summary.added == 0 && summary.skipped == 0;
}

std::string ResultLine(const ConversionSummary& summary)
{
    std::string line = ConversionResultText(summary.added, summary.skipped, summary.targetPatternCount);
    if (FoundNothingToConvert(summary))
        line += std::string(". ") + kNothingToConvertText;
    return WithNotes(std::move(line), summary);
}

std::string StoppedResultLine(const std::string& how, const ConversionSummary& summary)
{
    std::string line = how + "; ";
    if (summary.added == 0) {
        line += "no patterns were added";
        // A count of 0 may also mean the target was never reached.
        if (summary.targetPatternCount > 0)
            line += "; the target database holds " + Patterns(summary.targetPatternCount);
    } else {
        line += Patterns(summary.added) + " added; the target database now holds " +
                Patterns(summary.targetPatternCount);
    }
    return WithNotes(std::move(line), summary);
}

std::string WithoutLinesText(long entriesWithoutLines)
{
    if (entriesWithoutLines <= 0)
        return {};
    return Format("%ld %s no pattern file and %s converted without lines.", entriesWithoutLines,
                  entriesWithoutLines == 1 ? "entry had" : "entries had", entriesWithoutLines == 1 ? "was" : "were");
}

std::string EarlierImportsText(long count, const std::string& oldFolder, const std::string& newFolder)
{
    return "The Tessaly database in " + newFolder + " already holds " + Patterns(count) + " imported from " +
           oldFolder + ".";
}

} // namespace norrvik
