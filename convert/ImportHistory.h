// What the import log of a target says about an old folder: the patterns
// earlier runs imported from it (the re-import guard), and the stopped run
// a new run can finish.
#pragma once

#include "convert/Conversion.h"
#include "convert/Formats.h"
#include "convert/ImportLog.h"
#include "common/TypedFolder.h"

#include <optional>
#include <string>

namespace norrvik {

// The patterns of the target that earlier runs imported from the old folder,
// and the latest of those runs when the log names it.
struct TEarlierImports {
    long Patterns = 0;
    std::optional<TImportRun> Latest; // nothing: counted from comment lines
};

// The patterns a run of the log stored: its count at the end, or for a run
// that never ended, what its entry lines or a later restore show.
long PatternsStoredBy(const TImportRun& run);

// The earlier imports from `oldFolder` into the database in `newFolder`:
// the runs of the log that read the same folder however it was typed
// (SameImportSource); for a database whose log names none, the patterns
// whose comment lines name the folder (imports made before the log, or by
// another program). 0 when the folder holds no database. Raises the store's
// errors for a database that cannot be read.
TEarlierImports FindEarlierImports(const TTypedFolder& newFolder, const std::string& oldFolder);

// The stopped run a conversion of `oldFolder` as `format` into `newFolder`
// can finish: the last run into the database, when it read the same folder
// as the same format, added every entry as a user pattern and did not
// complete. Nothing otherwise (also when the folder holds no database).
struct TStoppedRun {
    TImportRun Run;
    TResumePoint Resume;
};
std::optional<TStoppedRun> FindStoppedRun(const TFormatInfo& format, const TTypedFolder& newFolder,
                                          const std::string& oldFolder);

} // namespace norrvik
