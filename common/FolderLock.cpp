// The folder lock's ownership, the same on every system (TryLock and
// Release: common/posix/FolderLockPosix.cpp, common/windows/FolderLockWindows.cpp).
#include "common/FolderLock.h"

#include <utility>

namespace norrvik {

TFolderLock::~TFolderLock()
{
    Release();
}

TFolderLock::TFolderLock(TFolderLock&& other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}

TFolderLock& TFolderLock::operator=(TFolderLock&& other) noexcept
{
    if (this != &other) {
        Release();
        descriptor_ = std::exchange(other.descriptor_, -1);
    }
    return *this;
}

} // namespace norrvik
