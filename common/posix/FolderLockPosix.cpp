// The folder lock on POSIX systems: the directory opened read-only and locked
// with flock, never blocking.
#include "common/FolderLock.h"

#include "common/Exceptions.h"
#include "common/Files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace norrvik {

std::string_view TFolderLock::FileInFolder()
{
    return {}; // the folder itself is locked
}

TFolderLock::Result TFolderLock::TryLock(const std::filesystem::path& folder, Mode mode)
{
    Release();
    int descriptor = -1;
    do
        descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) {
        if (errno == ENOENT)
            return Result::NoFolder;
        ThrowFileError("Cannot open folder", PathText(folder));
    }
    const int operation = (mode == Mode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    int status = -1;
    do
        status = ::flock(descriptor, operation);
    while (status < 0 && errno == EINTR);
    if (status == 0) {
        descriptor_ = descriptor;
        return Result::Locked;
    }
    const int error = errno;
    ::close(descriptor);
    if (error == EWOULDBLOCK)
        return Result::InUse;
    if (error == ENOLCK || error == EOPNOTSUPP || error == EINVAL || error == EBADF)
        return Result::Unsupported;
    errno = error;
    ThrowFileError("Cannot lock folder", PathText(folder));
}

void TFolderLock::Release() noexcept
{
    if (descriptor_ >= 0)
        ::close(descriptor_); // closing the last descriptor releases the lock
    descriptor_ = -1;
}

} // namespace norrvik
