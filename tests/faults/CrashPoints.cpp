// The replaced file functions of the crash tests. Only the single-threaded
// child processes of the tests arm them; the work is done by the system
// calls themselves.
#include "CrashPoints.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <filesystem>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

namespace {

std::string watched; // folder without a trailing '/', empty when disarmed
long stopAt = -1;
long seen = 0;
bool powerCut = false;
bool inside = false; // our own calls pass through

// A change not yet durable, undone by a power cut.
struct Undo {
    enum class Kind { Bytes, Rename, Remove, Folder } kind = Kind::Bytes;
    dev_t Device = 0;
    ino_t Inode = 0;
    off_t Offset = 0;
    std::string OldBytes; // what stood at offset before
    off_t OldSize = 0;
    std::string From, To, Backup; // a rename and the replaced file's hard link
    // Remove: `To` came back from its hard link `Backup`; Folder: `To` made,
    // in the folder device/inode.
};
std::vector<Undo> journal;

// Our own calls inside a replaced function pass through while it lives.
class OwnCalls {
public:
    OwnCalls() : was_(inside) { inside = true; }
    ~OwnCalls() { inside = was_; }
    OwnCalls(const OwnCalls&) = delete;
    OwnCalls& operator=(const OwnCalls&) = delete;

private:
    bool was_;
};

bool Below(const std::string& path)
{
    return !watched.empty() && (path == watched || path.starts_with(watched + "/"));
}

std::string FdPath(int fd)
{
    std::array<char, 4096> target{};
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = ::readlink(link.c_str(), target.data(), target.size() - 1);
    return length > 0 ? std::string(target.data(), static_cast<std::size_t>(length)) : std::string();
}

[[noreturn]] void Stop();

// Numbers a watched operation; true when the process is to stop at it.
bool StopsHere()
{
    return seen++ == stopAt;
}

// Keeps what a change of `size` bytes at `offset` (or a cut to `offset` when
// size < 0) replaces, for a power cut.
void Remember(int fd, off_t offset, long size)
{
    if (!powerCut)
        return;
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return;
    Undo undo;
    undo.Device = status.st_dev;
    undo.Inode = status.st_ino;
    undo.OldSize = status.st_size;
    undo.Offset = offset;
    const off_t end = size < 0 ? status.st_size : std::min<off_t>(status.st_size, offset + size);
    if (end > offset) {
        undo.OldBytes.resize(static_cast<std::size_t>(end - offset));
        const int reader = ::open(FdPath(fd).c_str(), O_RDONLY | O_CLOEXEC);
        const ssize_t got = reader < 0 ? -1 : ::pread(reader, undo.OldBytes.data(), undo.OldBytes.size(), offset);
        undo.OldBytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        if (reader >= 0)
            ::close(reader);
    }
    journal.push_back(std::move(undo));
}

std::string PathOfInode(dev_t device, ino_t inode)
{
    DIR* folder = ::opendir(watched.c_str());
    std::string found;
    while (folder != nullptr) {
        const dirent* entry = ::readdir(folder);
        if (entry == nullptr)
            break;
        const std::string path = watched + "/" + entry->d_name;
        struct stat status {};
        if (::lstat(path.c_str(), &status) == 0 && status.st_dev == device && status.st_ino == inode)
            found = path;
    }
    if (folder != nullptr)
        ::closedir(folder);
    return found;
}

void UndoAll()
{
    for (auto undo = journal.rbegin(); undo != journal.rend(); ++undo) {
        if (undo->kind == Undo::Kind::Rename) {
            ::rename(undo->To.c_str(), undo->From.c_str());
            if (!undo->Backup.empty())
                ::rename(undo->Backup.c_str(), undo->To.c_str());
            continue;
        }
        if (undo->kind == Undo::Kind::Remove) {
            ::rename(undo->Backup.c_str(), undo->To.c_str());
            continue;
        }
        if (undo->kind == Undo::Kind::Folder) {
            std::error_code ignored;
            std::filesystem::remove_all(undo->To, ignored);
            continue;
        }
        const std::string path = PathOfInode(undo->Device, undo->Inode);
        const int fd = path.empty() ? -1 : ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0)
            continue; // removed meanwhile
        if (!undo->OldBytes.empty())
            static_cast<void>(::pwrite(fd, undo->OldBytes.data(), undo->OldBytes.size(), undo->Offset));
        static_cast<void>(::ftruncate(fd, undo->OldSize));
        ::close(fd);
    }
}

void Stop()
{
    inside = true;
    if (powerCut)
        UndoAll();
    ::_exit(norrvik::test::CrashPoints::kStoppedStatus);
}

// A sync of the file (or folder) behind fd makes its changes durable.
void Synced(int fd)
{
    struct stat status {};
    if (!powerCut || ::fstat(fd, &status) != 0)
        return;
    const bool folder = S_ISDIR(status.st_mode);
    const OwnCalls own;
    std::erase_if(journal, [&](const Undo& undo) {
        if (undo.kind == Undo::Kind::Rename || undo.kind == Undo::Kind::Remove) {
            if (folder && !undo.Backup.empty())
                ::unlink(undo.Backup.c_str());
            return folder;
        }
        return undo.Device == status.st_dev && undo.Inode == status.st_ino;
    });
}

bool WatchedFd(int fd)
{
    return !inside && !watched.empty() && Below(FdPath(fd));
}

off_t WriteOffset(int fd)
{
    return (::fcntl(fd, F_GETFL) & O_APPEND) != 0 ? ::lseek(fd, 0, SEEK_END) : ::lseek(fd, 0, SEEK_CUR);
}

// A write of `size` bytes at `offset`: torn in half when the process
// stops at it (and, in a power cut, lost with the rest).
ssize_t Write(int fd, const void* buffer, std::size_t size, off_t offset)
{
    if (WatchedFd(fd)) {
        if (StopsHere()) {
            if (!powerCut)
                ::syscall(SYS_pwrite64, fd, buffer, size / 2, offset);
            Stop();
        }
        Remember(fd, offset, static_cast<long>(size));
    }
    return static_cast<ssize_t>(::syscall(SYS_pwrite64, fd, buffer, size, offset));
}

} // namespace

extern "C" ssize_t pwrite(int fd, const void* buffer, std::size_t size, off_t offset)
{
    return Write(fd, buffer, size, offset);
}

extern "C" ssize_t write(int fd, const void* buffer, std::size_t size)
{
    if (!WatchedFd(fd))
        return static_cast<ssize_t>(::syscall(SYS_write, fd, buffer, size));
    const off_t offset = WriteOffset(fd);
    const ssize_t written = Write(fd, buffer, size, offset);
    if (written > 0)
        ::lseek(fd, offset + written, SEEK_SET);
    return written;
}

extern "C" ssize_t writev(int fd, const struct iovec* vectors, int count)
{
    if (!WatchedFd(fd))
        return static_cast<ssize_t>(::syscall(SYS_writev, fd, vectors, count));
    std::string all;
    for (int i = 0; i < count; ++i)
        all.append(static_cast<const char*>(vectors[i].iov_base), vectors[i].iov_len);
    return write(fd, all.data(), all.size());
}

namespace {

// The journal above models what a sync makes durable, so the tests need not
// wait for the disk: a sync of an open descriptor succeeds at once.
int Sync(int fd)
{
    if (WatchedFd(fd) && StopsHere())
        Stop();
    if (::fcntl(fd, F_GETFD) < 0)
        return -1; // errno EBADF, as the real call gives
    if (!inside)
        Synced(fd);
    return 0;
}

} // namespace

extern "C" int fsync(int fd)
{
    return Sync(fd);
}

extern "C" int fdatasync(int fd)
{
    return Sync(fd);
}

extern "C" int ftruncate(int fd, off_t length)
{
    if (WatchedFd(fd)) {
        if (StopsHere())
            Stop();
        Remember(fd, length, -1);
    }
    return static_cast<int>(::syscall(SYS_ftruncate, fd, length));
}

extern "C" int truncate(const char* path, off_t length)
{
    if (!inside && Below(std::string(path))) {
        const int fd = [&] {
            const OwnCalls own;
            return ::open(path, O_WRONLY | O_CLOEXEC);
        }();
        if (fd >= 0) {
            const int result = ftruncate(fd, length);
            ::close(fd);
            return result;
        }
    }
    return static_cast<int>(::syscall(SYS_truncate, path, length));
}

extern "C" int rename(const char* from, const char* to)
{
    if (!inside && (Below(std::string(from)) || Below(std::string(to)))) {
        if (StopsHere())
            Stop();
        if (powerCut) {
            Undo undo;
            undo.kind = Undo::Kind::Rename;
            undo.From = std::string(from);
            undo.To = std::string(to);
            const std::string backup = undo.To + ".power-cut-backup";
            if (::link(to, backup.c_str()) == 0)
                undo.Backup = backup;
            journal.push_back(std::move(undo));
        }
    }
    return static_cast<int>(::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 0));
}

namespace {

// An open that may change the folder: one for reading only changes nothing,
// so a stop there leaves the folder as a stop at the next operation would.
bool OpenChanges(int flags)
{
    return (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0;
}

int Open(int folder, const char* path, int flags, mode_t mode)
{
    if (!inside && OpenChanges(flags) && Below(std::string(path)) && StopsHere())
        Stop();
    return static_cast<int>(::syscall(SYS_openat, folder, path, flags, mode));
}

mode_t ModeArgument(int flags, va_list arguments)
{
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
}

// A removal of `path`: in the power-cut model kept as a hard link until its
// folder is synced.
template <typename Call>
int Removal(const char* path, Call&& call)
{
    if (inside || !Below(std::string(path)))
        return call();
    if (StopsHere())
        Stop();
    if (powerCut) {
        Undo undo;
        undo.kind = Undo::Kind::Remove;
        undo.To = std::string(path);
        undo.Backup = undo.To + ".power-cut-backup";
        if (::link(path, undo.Backup.c_str()) == 0)
            journal.push_back(std::move(undo));
    }
    return call();
}

} // namespace

extern "C" int open(const char* path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeArgument(flags, arguments);
    va_end(arguments);
    return Open(AT_FDCWD, path, flags, mode);
}

extern "C" int open64(const char* path, int flags, ...) __attribute__((alias("open")));

extern "C" int openat(int folder, const char* path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeArgument(flags, arguments);
    va_end(arguments);
    return Open(folder, path, flags, mode);
}

extern "C" int unlink(const char* path)
{
    return Removal(path, [&] { return static_cast<int>(::syscall(SYS_unlinkat, AT_FDCWD, path, 0)); });
}

extern "C" int rmdir(const char* path)
{
    return Removal(path, [&] { return static_cast<int>(::syscall(SYS_unlinkat, AT_FDCWD, path, AT_REMOVEDIR)); });
}

extern "C" int remove(const char* path)
{
    return Removal(path, [&] {
        const int result = static_cast<int>(::syscall(SYS_unlinkat, AT_FDCWD, path, 0));
        return result == 0 || errno != EISDIR ? result
                                              : static_cast<int>(::syscall(SYS_unlinkat, AT_FDCWD, path, AT_REMOVEDIR));
    });
}

extern "C" int mkdir(const char* path, mode_t mode)
{
    const bool watchedPath = !inside && Below(std::string(path));
    if (watchedPath && StopsHere())
        Stop();
    const int result = static_cast<int>(::syscall(SYS_mkdirat, AT_FDCWD, path, mode));
    if (watchedPath && powerCut && result == 0) {
        struct stat status {};
        const std::string parent = std::filesystem::path(path).parent_path().string();
        if (::stat(parent.empty() ? "." : parent.c_str(), &status) == 0) {
            Undo undo;
            undo.kind = Undo::Kind::Folder;
            undo.Device = status.st_dev;
            undo.Inode = status.st_ino;
            undo.To = std::string(path);
            journal.push_back(std::move(undo));
        }
    }
    return result;
}

namespace norrvik::test {

void CrashPoints::StopAtEnd()
{
    if (!watched.empty() && stopAt >= seen)
        Stop();
}

void CrashPoints::Arm(const std::filesystem::path& folder, long stop, bool cut)
{
    watched = std::filesystem::weakly_canonical(folder).string();
    stopAt = stop;
    seen = 0;
    powerCut = cut;
    journal.clear();
}

void CrashPoints::Disarm()
{
    watched.clear();
    stopAt = -1;
    journal.clear();
}

long CrashPoints::Seen()
{
    return seen;
}

} // namespace norrvik::test
