// How both front ends word the outcome of a conversion and the questions
// asked before one: a count of patterns, a run that found nothing to
// convert, entries converted without lines, and earlier imports from the
// same folder. (The window's result line is in window/WindowTexts.h.)
#pragma once

#include "convert/Conversion.h"

#include <string>

namespace norrvik {

// "1 pattern", "17 patterns".
std::string PatternsText(long count);

// True when a finished run added nothing and skipped nothing.
bool FoundNothingToConvert(const ConversionSummary& summary);
inline constexpr const char* kNothingToConvertText = "The old folder held nothing to convert.";

// "2 entries had no pattern file and were converted without lines."; empty for 0.
std::string WithoutLinesText(long entriesWithoutLines);

// The line after a run that stopped: `how` ("Conversion failed",
// "Conversion cancelled after 2 of 5 entries"), then what was added before
// the stop and what the target now holds, and the entries without lines.
std::string StoppedResultLine(const std::string& how, const ConversionSummary& summary);

// "The Tessaly database in <new> already holds 5 patterns imported from <old>."
std::string EarlierImportsText(long count, const std::string& oldFolder, const std::string& newFolder);

} // namespace norrvik
