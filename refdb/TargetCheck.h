// The check a conversion makes before it writes the first byte into its
// target folder: that the folder takes new files (each replaced file is
// written under a new name and renamed into place) and that every database
// file the run will change is a regular file it may write. A refusal names
// the folder or the file and says what is missing; nothing has been written.
#pragma once

#include "common/TypedFolder.h"

namespace norrvik {

// What the run will do with the target folder's database.
enum class TargetUse {
    CreateDatabase, // every database file is deleted and written anew
    AddToDatabase,  // the existing database is opened and added to
};

// Raises EInOutError naming the folder or the first file that stands in the
// way: a database file name held by a symbolic link, folder, pipe or device,
// a file that may not be written, or a folder in which files cannot be made
// and removed. A folder that does not exist yet passes (it is made later).
void CheckTargetCanBeWritten(const TTypedFolder& folder, TargetUse use);

} // namespace norrvik
