// The file calls on POSIX systems: descriptors opened with O_NOFOLLOW and
// O_NONBLOCK, positional reads and writes, fsync, rename.
#include "common/FileHandle.h"

#include "common/Exceptions.h"
#include "common/Platform.h"
#include "common/PlatformFiles.h"
#include "common/TemporaryNames.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace norrvik {

using platform::kFolderReason;
using platform::kSpecialReason;
using platform::ReasonForKind;

namespace {

constexpr const char* kReadOnlyReason =
    "the file is marked read-only (no write permission); make it writable or choose another folder";

// The system call again while a signal interrupts it.
template <typename Call>
auto Retrying(Call call)
{
    auto result = call();
    while (result < 0 && errno == EINTR)
        result = call();
    return result;
}

std::string ErrnoText(int error)
{
    return error != 0 ? std::strerror(error) : "unknown error";
}

[[noreturn]] void ThrowReason(const char* what, const std::string& pathText, const std::string& reason)
{
    throw EInOutError(FileErrorMessage(what, pathText, reason));
}

int OpenFlags(FileOpening how)
{
    const int common = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    switch (how) {
    case FileOpening::Read:
        return common | O_RDONLY;
    case FileOpening::ReadWrite:
        return common | O_RDWR;
    case FileOpening::CreateOrOpen:
        return common | O_RDWR | O_CREAT;
    case FileOpening::CreateNew:
        return common | O_RDWR | O_CREAT | O_EXCL;
    case FileOpening::ReadFollowingLinks:
        return O_NONBLOCK | O_CLOEXEC | O_RDONLY;
    }
    return common | O_RDONLY;
}

} // namespace

namespace platform {

TTemporaryFile CreateTemporaryBeside(const std::filesystem::path& path)
{
    TTemporaryFile result;
    int error = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        result.Path = UnpredictableTemporaryPath(path);
        const int descriptor = ::open(result.Path.c_str(),
                                      O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        error = descriptor < 0 ? errno : 0;
        if (descriptor >= 0) {
            result.File = TFileHandle::Adopt(descriptor, PathText(path));
            return result;
        }
        if (error != EEXIST && error != EINTR)
            break;
    }
    result.Failure = ErrnoText(error);
    result.Denied = error == EACCES || error == EPERM;
    return result;
}

void MoveReplacing(const std::filesystem::path& from, const std::filesystem::path& to, const std::string& toText)
{
    if (::rename(from.c_str(), to.c_str()) != 0)
        ThrowReason("Cannot write file", toText, ErrnoText(errno));
}

void RemoveQuietly(const std::filesystem::path& path) noexcept
{
    ::unlink(path.c_str());
}

} // namespace platform

std::optional<TFileHandle> TFileHandle::OpenIfExists(const std::filesystem::path& path, FileOpening how)
{
    const std::string text = PathText(path);
    const int descriptor = Retrying([&] { return ::open(path.c_str(), OpenFlags(how), 0666); });
    if (descriptor < 0) {
        const int error = errno;
        if (error == ENOENT && how != FileOpening::CreateOrOpen && how != FileOpening::CreateNew)
            return std::nullopt;
        // ELOOP: the name is a link; ENXIO: a pipe without a reader; EEXIST: something has the name.
        if ((error == ELOOP || error == ENXIO || error == EISDIR || error == EEXIST) &&
            how != FileOpening::ReadFollowingLinks)
            if (const auto reason = ReasonForKind(KindOfFile(path)))
                ThrowReason(platform::OpenVerb(how), text, *reason);
        ThrowReason(platform::OpenVerb(how), text, ErrnoText(error));
    }
    TFileHandle handle(descriptor, text);
    struct stat status {};
    if (::fstat(descriptor, &status) != 0)
        ThrowReason(platform::OpenVerb(how), text, ErrnoText(errno));
    if (!S_ISREG(status.st_mode))
        ThrowReason(platform::OpenVerb(how), text, S_ISDIR(status.st_mode) ? kFolderReason : kSpecialReason);
    // Opened without waiting; from now on reads and writes wait as usual.
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags < 0 || ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0)
        ThrowReason(platform::OpenVerb(how), text, ErrnoText(errno));
    return handle;
}

std::uint64_t TFileHandle::Size() const
{
    struct stat status {};
    if (::fstat(descriptor_, &status) != 0)
        ThrowReason("Cannot read file", pathText_, ErrnoText(errno));
    return static_cast<std::uint64_t>(status.st_size);
}

std::size_t TFileHandle::ReadSomeAt(std::uint64_t offset, MutableBytes bytes) const
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = Retrying([&] {
            return ::pread(descriptor_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
        });
        if (n < 0)
            ThrowReason("Cannot read file", pathText_, ErrnoText(errno));
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void TFileHandle::WriteAt(std::uint64_t offset, ConstBytes bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = Retrying([&] {
            return ::pwrite(descriptor_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
        });
        if (n <= 0)
            ThrowReason("Cannot write file", pathText_, ErrnoText(n == 0 ? ENOSPC : errno));
        done += static_cast<std::size_t>(n);
    }
}

void TFileHandle::Truncate(std::uint64_t size)
{
    if (Retrying([&] { return ::ftruncate(descriptor_, static_cast<off_t>(size)); }) != 0)
        ThrowReason("Cannot write file", pathText_, ErrnoText(errno));
}

void TFileHandle::Sync()
{
    if (Retrying([&] { return ::fsync(descriptor_); }) != 0)
        ThrowReason("Cannot write file", pathText_, ErrnoText(errno));
}

void TFileHandle::StartWriteback() noexcept
{
#ifdef SYNC_FILE_RANGE_WRITE
    // Only a head start for a later Sync, which reports any failure.
    static_cast<void>(::sync_file_range(descriptor_, 0, 0, SYNC_FILE_RANGE_WRITE));
#endif
}

void TFileHandle::CopyPermissionsFrom(const std::filesystem::path& model)
{
    struct stat status {};
    if (::lstat(model.c_str(), &status) != 0)
        return;
    // The owner can be kept only by an administrator; for anyone else the
    // call fails and the file stays theirs.
    if (::geteuid() == 0)
        [[maybe_unused]] const int ignored = ::fchown(descriptor_, status.st_uid, status.st_gid);
    if (::fchmod(descriptor_, status.st_mode & 07777) != 0)
        ThrowReason("Cannot write file", pathText_, ErrnoText(errno));
}

void TFileHandle::Close()
{
    if (descriptor_ < 0)
        return;
    const int descriptor = std::exchange(descriptor_, -1);
    // close() is never retried: the descriptor is gone whatever it returns.
    if (::close(descriptor) != 0 && errno != EINTR)
        ThrowReason("Cannot write file", pathText_, ErrnoText(errno));
}

void TFileHandle::CloseQuietly() noexcept
{
    if (descriptor_ >= 0)
        ::close(std::exchange(descriptor_, -1));
}

TPathStatus StatusFollowingLinks(const std::filesystem::path& path)
{
    using std::filesystem::file_type;
    TPathStatus result;
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        const int error = errno;
        result.Error.assign(error, std::generic_category());
        result.Type = error == ENOENT || error == ENOTDIR ? file_type::not_found : file_type::unknown;
        return result;
    }
    const mode_t mode = status.st_mode;
    result.Type = S_ISREG(mode)    ? file_type::regular
                  : S_ISDIR(mode)  ? file_type::directory
                  : S_ISCHR(mode)  ? file_type::character
                  : S_ISBLK(mode)  ? file_type::block
                  : S_ISFIFO(mode) ? file_type::fifo
                  : S_ISSOCK(mode) ? file_type::socket
                                   : file_type::unknown;
    result.Size = static_cast<std::uintmax_t>(status.st_size);
    return result;
}

FileKind KindOfFile(const std::filesystem::path& path)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0)
        return FileKind::Missing;
    if (S_ISREG(status.st_mode))
        return FileKind::Regular;
    if (S_ISDIR(status.st_mode))
        return FileKind::Folder;
    if (S_ISLNK(status.st_mode))
        return FileKind::SymbolicLink;
    return FileKind::Other;
}

std::string_view MakeFilesWritableAdvice()
{
    return "Make them writable (for example chmod u+w)";
}

std::optional<std::string> WhyFileMayNotBeWritten(const std::filesystem::path& path)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0)
        return errno == ENOENT ? std::nullopt : std::optional<std::string>(ErrnoText(errno));
    if (const auto reason = ReasonForKind(KindOfFile(path)))
        return reason;
    // The bits first: an administrator passes every access check, but a
    // file nobody may write was made read-only on purpose.
    if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return std::string(kReadOnlyReason);
    if (::geteuid() != 0 && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
        return "this user has no write permission for it (" + ErrnoText(errno) +
               "); give this user write permission or choose another folder";
    return std::nullopt;
}

void CheckFolderTakesNewFiles(const std::filesystem::path& folder)
{
    const std::string text = PathText(folder);
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0)
        ThrowReason("Cannot write in folder", text, ErrnoText(errno));
    if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        ThrowReason("Cannot write in folder", text,
                    "the folder is marked read-only (no write permission); new and replaced files"
                    " cannot be made in it. Make it writable or choose another folder");
    platform::TTemporaryFile probe = platform::CreateTemporaryBeside(folder / PathFromText(kFolderProbeName));
    if (!probe.Failure.empty())
        ThrowReason("Cannot write in folder", text,
                    probe.Denied ? "permission denied; the folder needs write and search (execute) permission"
                                   " for this user"
                                 : probe.Failure);
    probe.File.CloseQuietly();
    if (::unlink(probe.Path.c_str()) != 0)
        ThrowReason("Cannot write in folder", text,
                    "a file made there cannot be removed (" + ErrnoText(errno) + ")");
}

void SyncFolder(const std::filesystem::path& folder)
{
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        ThrowReason("Cannot write in folder", PathText(folder), ErrnoText(errno));
    const int result = Retrying([&] { return ::fsync(descriptor); });
    const int error = errno;
    ::close(descriptor);
    // Some file systems cannot sync a folder; their entries are as safe as they get.
    if (result != 0 && error != EINVAL && error != EROFS)
        ThrowReason("Cannot write in folder", PathText(folder), ErrnoText(error));
}

} // namespace norrvik
