// What the conversion window says, for every view of it: its titles, the
// questions before and during a run with their button captions (a mnemonic
// each, marked with "&"), and the result line after a run, counts grouped
// by thousands, with its details.
#pragma once

#include "convert/Conversion.h"
#include "convert/Formats.h"
#include "convert/ImportLog.h"
#include "convert/UndoConversion.h"

#include <string>
#include <string_view>
#include <vector>

namespace norrvik::windowtext {

inline constexpr const char* kCaption = "Convert Reference Database to Orvel Tessaly  Format";
inline constexpr const char* kConversionFailed = "Conversion failed";
inline constexpr const char* kConversionTitle = "Reference Database Conversion";
inline constexpr const char* kCancelling = "Cancelling...";

// The captions of the main window's controls.
inline constexpr const char* kFormatLabel = "&Format of the old reference database:";
inline constexpr const char* kOldFolderLabel = "Folder with the &old reference database:";
inline constexpr const char* kNewFolderLabel = "Folder with the &Tessaly reference database:";
inline constexpr const char* kBrowseOldButton = "&Browse...";
inline constexpr const char* kBrowseNewButton = "B&rowse...";
inline constexpr const char* kHelpButton = "&Help...";
inline constexpr const char* kStartButton = "&Start Conversion";
inline constexpr const char* kExitButton = "E&xit";
// The busy indicator: its line before the first report, and its button.
inline constexpr const char* kConverting = "Converting...";
inline constexpr const char* kCancelButton = "Cancel";

// The help dialog: its title, its button and its text, one entry per line.
inline constexpr const char* kHelpTitle = "Help";
inline constexpr const char* kCloseButton = "Close";
std::vector<std::string> HelpLines();

// The format question: "Convert it as Kandor format, as Veltro format, or go back?"
std::string FormatQuestionDetail(std::string_view found, std::string_view chosen);
// "Convert as &Kandor"
std::string ConvertAsButton(std::string_view format);
inline constexpr const char* kGoBackButton = "&Go back";

inline constexpr const char* kAddAgainDetail =
    "Add the entries again? Each becomes a new pattern, so the database would hold them twice.";
inline constexpr const char* kAddAgainButton = "&Add again";

// The question when the last run from the old folder into the target stopped
// part-way: "The last run from <old> into the Tessaly database in <new> did
// not complete: run 3 on 2026-12-09 at 12:30:05 UTC (2 patterns, cancelled)."
std::string StoppedRunQuestion(const TImportRun& run, const std::string& oldFolder, const std::string& newFolder);
inline constexpr const char* kFinishTheRestDetail =
    "Finish the rest? Only the entries that run did not store are converted, under the codes they would have had. "
    "Add again adds every entry again, so the database would hold the first ones twice.";
inline constexpr const char* kFinishTheRestButton = "&Finish the rest";

inline constexpr const char* kStopAndCloseTitle = "Stop and close?";
inline constexpr const char* kStopAndCloseText =
    "A conversion is running. Stop it after the current entry and close the window? The patterns added so far "
    "stay in the target database.";
inline constexpr const char* kStopAndCloseButton = "&Stop and close";
inline constexpr const char* kKeepConvertingButton = "&Keep converting";
// Why the window holds a logoff or shutdown back while its run stops.
inline constexpr const char* kSessionEndWaitText =
    "Stopping the conversion after the current entry; the window closes when the indexes are written.";

// The offer after a run that failed on a damaged target.
std::string RecoverQuestion(const std::string& failure, const std::string& newFolder, std::size_t problemCount,
                            const std::string& firstProblem);
inline constexpr const char* kRecoverButton = "&Recover";
inline constexpr const char* kNotNowButton = "&Not now";

// The offer beside the result line after a run that changed the target, its
// question ("Undo the last conversion into <folder>? Its 5 patterns are
// removed and every file of the database is put back as it was before it.",
// or for a run that created the database: its files are deleted), and the
// result line once it is undone.
inline constexpr const char* kUndoButton = "&Undo this conversion";
inline constexpr const char* kYesButton = "&Yes";
inline constexpr const char* kNoButton = "&No";
std::string UndoQuestion(const std::string& folder, long patterns, bool createdDatabase);
std::string UndoneLine(const TUndoResult& result);

// Every run of more than three digits in `text` grouped by thousands:
// "12345 patterns" -> "12,345 patterns".
std::string GroupThousands(const std::string& text);

// "3 patterns added, 1 skipped as already present; the target database now
// holds 17 patterns", followed by the notes that apply.
std::string ResultLine(const TConversionSummary& summary);

// What the result line of a run leaves out, for a details box: the entries
// without a pattern file by name, one a line, and the old and new code of
// each user pattern carried over. Empty when there is nothing to add.
std::string RunDetails(const TConversionSummary& summary);
inline constexpr const char* kDetailsButton = "D&etails...";
inline constexpr const char* kDetailsTitle = "Details of the conversion";

// The front ends' line after a run that stopped (ConversionReport.h), its
// counts grouped by thousands.
std::string StoppedResultLine(const std::string& how, const TConversionSummary& summary);

// "Target database: /home/lab/db." when the folder typed is not the
// absolute path of the target; empty otherwise.
std::string TargetNote(const std::string& typed, const std::string& absolute);

} // namespace norrvik::windowtext
