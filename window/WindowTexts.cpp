// The texts of the conversion window.
#include "window/WindowTexts.h"

#include "common/Format.h"
#include "common/ProgressText.h"
#include "convert/ConversionReport.h"

#include <cctype>

namespace norrvik::windowtext {

namespace {

std::string WithNotes(std::string line, const TConversionSummary& summary)
{
    const std::string withoutLines = WithoutLinesText(summary.EntriesWithoutLines);
    if (!withoutLines.empty())
        line += ". " + withoutLines;
    return GroupThousands(line);
}

bool IsDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

} // namespace

std::string FormatQuestionDetail(std::string_view found, std::string_view chosen)
{
    return "Convert it as " + std::string(found) + " format, as " + std::string(chosen) + " format, or go back?";
}

std::string ConvertAsButton(std::string_view format)
{
    return "Convert as &" + std::string(format);
}

std::string RecoverQuestion(const std::string& failure, const std::string& newFolder, std::size_t problemCount,
                            const std::string& firstProblem)
{
    return failure + "\n\nThe Tessaly database in " + newFolder + " is damaged (" +
           GroupThousands(std::to_string(problemCount)) + (problemCount == 1 ? " problem" : " problems") +
           "; the first: " + firstProblem +
           ")\n\nRecover it now, as \"norrvik-cli recover\" does? Every whole pattern is kept, and each file that is "
           "replaced is first copied into a backup folder inside the database folder.";
}

std::string StoppedRunQuestion(const TImportRun& run, const std::string& oldFolder, const std::string& newFolder)
{
    std::string named = ImportRunText(run);
    named[0] = 'r';
    return "The last run from " + oldFolder + " into the Tessaly database in " + newFolder + " did not complete: " +
           named + ".";
}

std::string UndoQuestion(const std::string& folder, long patterns, bool createdDatabase)
{
    // Only the count is grouped: the folder's name stays as it is.
    const std::string counted = GroupThousands(PatternsText(patterns));
    const std::string what =
        createdDatabase ? "It created the Tessaly database there: its files (" + counted + ") are deleted."
                        : "Its " + counted + (patterns == 1 ? " is" : " are") +
                              " removed and every file of the database is put back as it was before it.";
    return "Undo the last conversion into " + folder + "? " + what;
}

std::string UndoneLine(const TUndoResult& result)
{
    return GroupThousands(UndoneText(result, "the conversion", "it"));
}

std::string GroupThousands(const std::string& text)
{
    std::string grouped;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t end = i;
        while (end < text.size() && IsDigit(text[end]))
            ++end;
        for (std::size_t j = i; j < end; ++j) {
            if (j > i && (end - j) % 3 == 0 && end - i > 3)
                grouped += ',';
            grouped += text[j];
        }
        if (end < text.size())
            grouped += text[end];
        i = end + 1;
    }
    return grouped;
}

std::string ResultLine(const TConversionSummary& summary)
{
    std::string line = ConversionResultText(summary.Added, summary.Skipped, summary.TargetPatternCount);
    if (FoundNothingToConvert(summary))
        line += std::string(". ") + kNothingToConvertText;
    return WithNotes(std::move(line), summary);
}

std::string RunDetails(const TConversionSummary& summary)
{
    std::string details;
    if (const std::vector<std::string>& names = summary.EntriesWithoutPatternFile; !names.empty()) {
        details = GroupThousands(WithoutLinesText(static_cast<long>(names.size())));
        details.back() = ':'; // for the names below
        for (const std::string& name : names)
            details += "\n" + name;
    }
    if (!summary.CodeMappings.empty()) {
        details += details.empty() ? "" : "\n\n";
        details += "The code of each user pattern in the target (old -> new):";
        for (const TCodeMapping& mapping : summary.CodeMappings)
            details += "\n" + CodeMappingText(mapping);
    }
    return details;
}

std::string StoppedResultLine(const std::string& how, const TConversionSummary& summary)
{
    return GroupThousands(norrvik::StoppedResultLine(how, summary));
}

std::string TargetNote(const std::string& typed, const std::string& absolute)
{
    if (typed == absolute)
        return {};
    return "Target database: " + absolute + ".";
}

} // namespace norrvik::windowtext
