// The replaced write(), writev() and pwrite() of the fault-injection tests: the real
// work is done by the system calls themselves, so nothing here depends on
// which library layer (libstdc++, the sanitizers) called.
#include "WriteFaults.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

std::mutex guard;
std::string watched;           // folder path with a trailing '/', empty when off
long failFrom = -1;            // write number at which the disk fills
long seen = 0;                 // writes to the watched folder
std::atomic<bool> filled{false};

bool IsWatched(int fd)
{
    std::array<char, 4096> target{};
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = ::readlink(link.c_str(), target.data(), target.size() - 1);
    if (length <= 0)
        return false;
    return std::string_view(target.data(), static_cast<std::size_t>(length)).starts_with(watched);
}

// How many of `size` bytes this write may put on the disk: all of them,
// half of them (the write that fills the disk), or none (-1: disk full).
ssize_t Allowance(int fd, std::size_t size)
{
    std::lock_guard lock(guard);
    if (watched.empty() || !IsWatched(fd))
        return static_cast<ssize_t>(size);
    const long number = seen++;
    if (failFrom < 0 || number < failFrom)
        return static_cast<ssize_t>(size);
    if (number == failFrom && size > 1) {
        filled = true;
        return static_cast<ssize_t>(size / 2);
    }
    filled = true;
    return -1;
}

} // namespace

extern "C" ssize_t write(int fd, const void* buffer, std::size_t size)
{
    const ssize_t allowed = Allowance(fd, size);
    if (allowed < 0) {
        errno = ENOSPC;
        return -1;
    }
    return static_cast<ssize_t>(::syscall(SYS_write, fd, buffer, static_cast<std::size_t>(allowed)));
}

extern "C" ssize_t writev(int fd, const struct iovec* vectors, int count)
{
    std::size_t total = 0;
    for (int i = 0; i < count; ++i)
        total += vectors[i].iov_len;
    const ssize_t allowed = Allowance(fd, total);
    if (allowed < 0) {
        errno = ENOSPC;
        return -1;
    }
    if (static_cast<std::size_t>(allowed) == total)
        return static_cast<ssize_t>(::syscall(SYS_writev, fd, vectors, count));
    // The write that fills the disk: only the first `allowed` bytes go.
    ssize_t written = 0;
    for (int i = 0; i < count && written < allowed; ++i) {
        const std::size_t part = std::min(vectors[i].iov_len, static_cast<std::size_t>(allowed - written));
        const auto n = static_cast<ssize_t>(::syscall(SYS_write, fd, vectors[i].iov_base, part));
        if (n < 0)
            return written > 0 ? written : n;
        written += n;
    }
    return written;
}

extern "C" ssize_t pwrite(int fd, const void* buffer, std::size_t size, off_t offset)
{
    const ssize_t allowed = Allowance(fd, size);
    if (allowed < 0) {
        errno = ENOSPC;
        return -1;
    }
    return static_cast<ssize_t>(::syscall(SYS_pwrite64, fd, buffer, static_cast<std::size_t>(allowed), offset));
}

namespace norrvik::test {

void WriteFaults::Watch(const std::filesystem::path& folder)
{
    std::lock_guard lock(guard);
    watched = std::filesystem::weakly_canonical(folder).string() + "/";
    failFrom = -1;
    seen = 0;
    filled = false;
}

void WriteFaults::FailFrom(long n)
{
    std::lock_guard lock(guard);
    failFrom = n;
    seen = 0;
    filled = false;
}

void WriteFaults::Off()
{
    std::lock_guard lock(guard);
    watched.clear();
    failFrom = -1;
}

long WriteFaults::WritesSeen()
{
    std::lock_guard lock(guard);
    return seen;
}

bool WriteFaults::Filled()
{
    return filled;
}

} // namespace norrvik::test
