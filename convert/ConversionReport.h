// How both front ends word the outcome of a conversion and the questions
// asked before one: a count of patterns, a run that found nothing to
// convert, entries converted without lines, and earlier imports from the
// same folder. (The window's result line is in window/WindowTexts.h.)
#pragma once

#include "convert/Conversion.h"
#include "convert/ImportLog.h"

#include <optional>

#include <string>

namespace norrvik {

// "1 pattern", "17 patterns".
std::string PatternsText(long count);

// True when a finished run added nothing and skipped nothing.
bool FoundNothingToConvert(const TConversionSummary& summary);
inline constexpr const char* kNothingToConvertText = "The old folder held nothing to convert.";

// "2 entries had no pattern file and were converted without lines."; empty for 0.
std::string WithoutLinesText(long entriesWithoutLines);

// The line after a run that stopped: `how` ("Conversion failed",
// "Conversion cancelled after 2 of 5 entries"), then what was added before
// the stop and what the target now holds, and the entries without lines.
std::string StoppedResultLine(const std::string& how, const TConversionSummary& summary);

// "The Tessaly database in <new> already holds 5 patterns imported from
// <old>.", and when the import log names the latest of those runs, " The last
// import from there was run 3 on 2026-12-09 at 12:30:05 UTC (5 patterns,
// completed)."
std::string EarlierImportsText(long count, const std::string& oldFolder, const std::string& newFolder,
                               const std::optional<TImportRun>& latest = std::nullopt);

// Why --resume (or "Finish the rest") has nothing to do.
std::string NothingToResumeText(const std::string& oldFolder, const std::string& newFolder);

// "Run 3 on 2026-12-09 at 12:30:05 UTC (5 patterns, completed)": a run of the
// import log as the questions and messages name it.
std::string ImportRunText(const TImportRun& run);

// The entries without a pattern file, named: "2 entries had no pattern file
// and were converted without lines: A1, B7."; empty for none.
std::string WithoutPatternFileText(const TConversionSummary& summary);

// "99-000-0003 -> 99-000-0042", with " (already present)" for a pattern the
// target held before: a carried-over user pattern and its code in the target.
std::string CodeMappingText(const TCodeMapping& mapping);

} // namespace norrvik
