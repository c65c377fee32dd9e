// Undoing the last conversion into a Tessaly database, as both front ends do
// it: the database put back byte for byte as it was before the run
// (refdb/UndoPoint.h), and the import log told that the run was undone while
// the folder is still locked; and the words that say what was undone.
#pragma once

#include "refdb/UndoPoint.h"

#include <string>
#include <string_view>

namespace norrvik {

struct TConversionUndone {
    TUndoResult Result;
    // Why the import log does not record the undo, as a warning to show;
    // empty when it does. The database is back either way.
    std::string LogWarning;
};

// Undoes the last run into the database in `folder`. Refuses (Exception,
// nothing changed) as UndoLastRun does: nothing to undo, a run that never
// finished, a file another program changed since.
TConversionUndone UndoLastConversion(const std::string& folder);

// "Undid <what>: removed 5 patterns; the database is as it was before
// <before>.", or for a run that had created the database "Undid <what>,
// which created the database: its files are deleted (5 patterns)."
std::string UndoneText(const TUndoResult& result, std::string_view what, std::string_view before);

} // namespace norrvik
