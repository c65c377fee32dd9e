// What a conversion would do, found by reading the old database and the
// target without writing anything (not even a new folder): the entries, the
// patterns that would be added or skipped as already present, the patterns
// of the target that earlier runs imported from the same old folder, and the
// target's pattern count afterwards. The re-import guard of both front ends
// uses the same count.
#pragma once

#include "convert/Conversion.h"
#include "convert/Formats.h"

#include <string>

namespace norrvik {

// The highest user pattern number a user code "99-000-%4.4d" can carry.
inline constexpr long kMaxUserPatterns = 9999;

struct TConversionPreview {
    long Entries = 0;        // entries (present records) of the old database
    long WouldAdd = 0;       // patterns the run would add
    long WouldSkip = 0;      // reference patterns whose code the target already holds (and,
                             // from a Tessaly database, user patterns carried over before)
    long EarlierImports = 0; // target patterns imported from this old folder before (FindEarlierImports)
    bool TargetExists = false; // false: the run would create a new, empty database
    long TargetBefore = 0;   // patterns in the target now
    long TargetAfter = 0;    // patterns in the target after the run
    bool UserDatabase = false;
    // The run would stop with an error once the target holds 9999 user patterns.
    bool UserLimitReached = false;
};

// Reads `oldFolder` as `format` and the database in `newFolder` (when there
// is one) and tells what ConvertXxxDatabase would do with them. Raises the
// errors the run would raise on reading the old database, and the refusal of
// a target folder whose incomplete database holds patterns, and the refusal
// of a new folder that is the old folder. `options` apply to Tessaly.
TConversionPreview PreviewConversion(const TFormatInfo& format, const std::string& oldFolder,
                                    const std::string& newFolder, const TCarryOverOptions& options = {});

// True when converting `oldFolder` as `format` adds every entry as a new user
// pattern: Kandor and Veltro always, Quorvane when its index says it is a
// user database. False when a Quorvane index cannot be read (the run reports
// that itself).
bool IsUserDatabaseConversion(const TFormatInfo& format, const std::string& oldFolder);

// The number of patterns of the database in `newFolder` whose comment lines
// hold the line a conversion of `oldFolder` gives its patterns: those that
// an earlier run imported from the same folder text. 0 when the folder holds
// no database. Raises the store's errors for a database that cannot be read.
long CountEarlierImports(const std::string& newFolder, const std::string& oldFolder);

} // namespace norrvik
