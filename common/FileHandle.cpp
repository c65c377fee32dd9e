// fsync of files and folders (POSIX).
#include "common/FileHandle.h"

#include "common/Exceptions.h"
#include "common/Files.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace norrvik {

namespace {

void SyncPath(const std::filesystem::path& path, int flags)
{
    errno = 0;
    const int descriptor = ::open(path.c_str(), flags | O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        ThrowFileError("Cannot open file", PathText(path));
    const int result = ::fsync(descriptor);
    const int error = errno;
    ::close(descriptor);
    if (result != 0) {
        errno = error;
        ThrowFileError("Cannot write file", PathText(path));
    }
}

} // namespace

void SyncFolder(const std::filesystem::path& folder)
{
    SyncPath(folder, O_DIRECTORY);
}

void SyncFileData(const std::filesystem::path& path)
{
    SyncPath(path, O_NOFOLLOW);
}

} // namespace norrvik
