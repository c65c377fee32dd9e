// Salvaging a damaged target database (norrvik-cli recover): every whole
// pattern of the main data file that loads is kept, each with the text lines
// that are its own; what cannot be kept is dropped, the files the program
// needs are re-created and every index is rebuilt from the kept patterns, so
// that the checker finds nothing afterwards. Every file that is replaced is
// first copied into a folder "recover-backup-<time>" inside the database
// folder, so nothing is lost for good.
//
// A text list whose lines are not the pattern's own (they lie past the end
// of Comment.PDB or Literature.PDB, or they are the lines of a later pattern,
// see SharedTextLineOwners) is taken off the pattern and the pattern kept:
// the lines were lost before, and dropping the pattern would lose its
// diffraction lines, names and codes as well.
#pragma once

#include "common/Progress.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace norrvik {

// How a message about a damaged database file ends: what mends it.
inline constexpr std::string_view kRepairWithRecover = "; repair the database with \"norrvik-cli recover\"";

struct TRecoveryReport {
    // What was dropped, changed or re-created, one line each, in the order done.
    std::vector<std::string> Lines;
    // The folder holding the copies of the replaced files; empty when nothing was replaced.
    std::string BackupFolder;
    std::int32_t PatternsKept = 0;
};

// Salvages the database in `folder`; the caller holds its exclusive lock.
// Raises an error naming the file when there is nothing to salvage from (no
// main data file, no whole header, the older record format).
TRecoveryReport RecoverReferenceDatabase(const std::string& folder, const ProgressCallback& progress = {});

} // namespace norrvik
