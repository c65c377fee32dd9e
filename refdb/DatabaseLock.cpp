// The database folder locks and the messages of a refused lock.
#include "refdb/DatabaseLock.h"

#include "common/Exceptions.h"
#include "common/Format.h"

namespace norrvik {

namespace {

// Takes the lock, or refuses with `refusal`, in which %s names the folder.
TFolderLock LockOrRefuse(const TTypedFolder& folder, TFolderLock::Mode mode, const char* refusal)
{
    TFolderLock lock;
    if (lock.TryLock(folder.Path, mode) == TFolderLock::Result::InUse)
        throw Exception(Format(refusal, folder.Text.c_str()));
    return lock;
}

} // namespace

TDatabaseLock TDatabaseLock::Exclusive(const TTypedFolder& folder)
{
    return TDatabaseLock(LockOrRefuse(folder, TFolderLock::Mode::Exclusive,
                                      "Folder %s is being used by another conversion (or by a rebuild, recover, "
                                      "dump or verify of it); nothing was changed. Wait until it has finished and "
                                      "try again."));
}

TDatabaseLock TDatabaseLock::Shared(const TTypedFolder& folder)
{
    return TDatabaseLock(LockOrRefuse(folder, TFolderLock::Mode::Shared,
                                      "Folder %s is being used by another conversion, which is changing the "
                                      "database; wait until it has finished and try again."));
}

} // namespace norrvik
