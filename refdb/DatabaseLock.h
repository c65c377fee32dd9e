// One writer at a time on a database folder: every operation that writes a
// database (a conversion into it, rebuild, recover) holds an exclusive lock
// on the folder for its whole run, and those that only read it (dump,
// verify) a shared one. A lock that cannot be had is refused at once, before
// anything is read or written. Taken by the operations, never by the store.
// On a file system without such locks (some network shares) the operations
// run unlocked, as they did before there was a lock.
#pragma once

#include "common/FolderLock.h"
#include "common/TypedFolder.h"

#include <utility>

namespace norrvik {

class TDatabaseLock {
public:
    // Refuses with "Folder <folder> is being used by another conversion; ..."
    // when anyone else holds a lock on the folder. A folder that does not
    // exist is not locked (the operation reports it missing itself).
    static TDatabaseLock Exclusive(const TTypedFolder& folder);
    // Refuses with "Folder <folder> is being changed by another conversion; ..."
    // while a writer holds the folder.
    static TDatabaseLock Shared(const TTypedFolder& folder);

    TDatabaseLock() = default;
    bool Held() const { return lock_.Held(); }

private:
    explicit TDatabaseLock(TFolderLock lock) : lock_(std::move(lock)) {}
    TFolderLock lock_;
};

} // namespace norrvik
