// The one place for the system's file calls on the target database's files
// (and on source files, read through links): an owned file descriptor that
// never follows a symbolic link in the file's own name (unless asked to, for
// a source file) and never opens anything but a regular file, whole-file reading
// bounded by the file's size, durable whole-file replacement through an
// exclusive temporary file, and the checks a conversion makes before it
// writes. Every failure raises EInOutError naming the file and the reason.
// Part of the platform layer (common/Platform.h): one implementation per
// system, in common/posix/ and common/windows/.
#pragma once

#include "common/ByteOrder.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace norrvik {

// How TFileHandle::Open treats the file.
enum class FileOpening {
    Read,          // an existing file, for reading
    ReadWrite,     // an existing file, for reading and writing
    CreateOrOpen,  // reading and writing; a missing file is created empty
    CreateNew,     // reading and writing; refused when anything has the name
    // An existing file for reading, found through symbolic links (a source
    // file may be one); a pipe or device behind the name is still refused
    // without waiting. Failures say "Cannot read file".
    ReadFollowingLinks,
};

// An open regular file (RAII). Opening never follows a symbolic link that
// is the file's name, refuses folders, pipes and devices before a byte is
// read or written, and never waits (a pipe with no writer does not block).
class TFileHandle {
public:
    TFileHandle() = default;
    ~TFileHandle();
    TFileHandle(TFileHandle&& other) noexcept;
    TFileHandle& operator=(TFileHandle&& other) noexcept;
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;

    static TFileHandle Open(const std::filesystem::path& path, FileOpening how);
    // Like Open, but a missing file (Read, ReadWrite) gives nothing.
    static std::optional<TFileHandle> OpenIfExists(const std::filesystem::path& path, FileOpening how);

    // Takes over an open descriptor (on Windows: a handle's value, which
    // fits an int there); messages name `fileText`.
    static TFileHandle Adopt(int descriptor, std::string fileText);

    bool IsOpen() const { return descriptor_ >= 0; }
    const std::string& FileText() const { return pathText_; }

    // Bytes in the file now.
    std::uint64_t Size() const;
    // Reads exactly bytes.size() bytes at `offset`; raises when the file ends first.
    void ReadAt(std::uint64_t offset, MutableBytes bytes) const;
    // Reads up to bytes.size() bytes at `offset`; returns how many it read.
    std::size_t ReadSomeAt(std::uint64_t offset, MutableBytes bytes) const;
    // Writes all the bytes at `offset`.
    void WriteAt(std::uint64_t offset, ConstBytes bytes);
    // Cuts (or extends with zeros) the file to `size` bytes.
    void Truncate(std::uint64_t size);
    // Puts the file's data on the disk (fsync).
    void Sync();
    // Lets the system start writing the file's changed data to the disk
    // without waiting for it (where it offers that), so that a later Sync
    // has less left to wait for.
    void StartWriteback() noexcept;
    // Gives the file the permission bits (and, when allowed, the owner) of `model`.
    void CopyPermissionsFrom(const std::filesystem::path& model);
    // Closes; raises when the system reports a failed write at closing.
    void Close();
    void CloseQuietly() noexcept;

private:
    TFileHandle(int descriptor, std::string pathText);

    int descriptor_ = -1;
    std::string pathText_;
};

// The type and size of what a name leads to (links followed), in one look,
// as std::filesystem::status would report it: a missing name (or a missing
// folder on its way) is file_type::not_found with the error set.
struct TPathStatus {
    std::filesystem::file_type Type = std::filesystem::file_type::none;
    std::uintmax_t Size = 0;
    std::error_code Error;
};
TPathStatus StatusFollowingLinks(const std::filesystem::path& path);

// What has a name in a folder, looked at without following a link.
enum class FileKind { Missing, Regular, Folder, SymbolicLink, Other };
FileKind KindOfFile(const std::filesystem::path& path);

// Why a target file must not be written or replaced, or nothing when it may:
// a symbolic link, something other than a regular file, or a file whose
// permission bits allow no writing (also when running as administrator,
// who could write it anyway: a file marked read-only stays as it is).
std::optional<std::string> WhyFileMayNotBeWritten(const std::filesystem::path& path);
// What this system's users do to make files marked read-only writable again,
// as the start of a sentence about several of them ("Make them writable (for
// example chmod u+w)" on POSIX systems; on Windows the read-only attribute).
std::string_view MakeFilesWritableAdvice();

// Raises EInOutError naming the folder when no file can be created and
// removed in it (a probe file under an unpredictable name, removed at once).
void CheckFolderTakesNewFiles(const std::filesystem::path& folder);

// Puts the folder's entries (new names, renames) on the disk.
void SyncFolder(const std::filesystem::path& folder);

// The whole content of a regular file, or nothing when it does not exist.
// Links, folders, pipes and devices are refused; no more is read than the
// file held when it was opened.
std::optional<std::string> ReadWholeRegularFile(const std::filesystem::path& path);

// Replaces the file with `content` so that it is either wholly old or wholly
// new, also after a power cut: the content goes to an exclusive temporary
// file under an unpredictable name beside it, is put on the disk, takes the
// old file's permissions and is renamed into place; then the folder is put
// on the disk. A file that may not be written (WhyFileMayNotBeWritten) is
// refused and left as it is.
void ReplaceFileAtomically(const std::filesystem::path& path, std::string_view content);
// The same for content too large to hold at once: `write` writes it into the
// temporary file (from offset 0).
void ReplaceFileAtomically(const std::filesystem::path& path, const std::function<void(TFileHandle&)>& write);

// Copies the file into the new file `to` (created exclusively, never through
// a link, with the file's permissions) and puts the copy on the disk. The
// file itself must be a regular file, not a link.
void CopyFileDurably(const std::filesystem::path& from, const std::filesystem::path& to);

} // namespace norrvik
