// Texts about the outcome of a conversion.
#include "convert/ConversionReport.h"

#include "common/Format.h"

namespace norrvik {

std::string PatternsText(long count)
{
    return std::to_string(count) + (count == 1 ? " pattern" : " patterns");
}

bool FoundNothingToConvert(const ConversionSummary& summary)
{
    return summary.added == 0 && summary.skipped == 0;
}

std::string WithoutLinesText(long entriesWithoutLines)
{
    if (entriesWithoutLines <= 0)
        return {};
    return Format("%ld %s no pattern file and %s converted without lines.", entriesWithoutLines,
                  entriesWithoutLines == 1 ? "entry had" : "entries had", entriesWithoutLines == 1 ? "was" : "were");
}

std::string StoppedResultLine(const std::string& how, const ConversionSummary& summary)
{
    std::string line = how + "; ";
    if (summary.added == 0) {
        line += "no patterns were added";
        // A count of 0 may also mean the target was never reached.
        if (summary.targetPatternCount > 0)
            line += "; the target database holds " + PatternsText(summary.targetPatternCount);
    } else {
        line += PatternsText(summary.added) + " added; the target database now holds " +
                PatternsText(summary.targetPatternCount);
    }
    if (const std::string withoutLines = WithoutLinesText(summary.entriesWithoutLines); !withoutLines.empty())
        line += ". " + withoutLines;
    return line;
}

std::string EarlierImportsText(long count, const std::string& oldFolder, const std::string& newFolder)
{
    return "The Tessaly database in " + newFolder + " already holds " + PatternsText(count) + " imported from " +
           oldFolder + ".";
}

} // namespace norrvik
