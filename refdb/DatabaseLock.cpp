// The database folder locks and the messages of a refused lock.
#include "refdb/DatabaseLock.h"

#include "common/Exceptions.h"
#include "common/Files.h"
#include "common/Format.h"

namespace norrvik {

TDatabaseLock TDatabaseLock::Exclusive(const std::string& folder)
{
    TDatabaseLock lock;
    if (lock.lock_.TryLock(PathFromText(folder), TFolderLock::Mode::Exclusive) == TFolderLock::Result::InUse)
        throw Exception(Format("Folder %s is being used by another conversion (or by a rebuild, recover, dump or "
                               "verify of it); nothing was changed. Wait until it has finished and try again.",
                               folder.c_str()));
    return lock;
}

TDatabaseLock TDatabaseLock::Shared(const std::string& folder)
{
    TDatabaseLock lock;
    if (lock.lock_.TryLock(PathFromText(folder), TFolderLock::Mode::Shared) == TFolderLock::Result::InUse)
        throw Exception(Format("Folder %s is being used by another conversion, which is changing the database; "
                               "wait until it has finished and try again.",
                               folder.c_str()));
    return lock;
}

} // namespace norrvik
