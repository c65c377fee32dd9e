// The file calls on Windows: wide CreateFileW with long paths, positional
// ReadFile/WriteFile, FlushFileBuffers, MoveFileExW written through. The
// program's own handles share reading, writing and deleting, so that they
// never stand in the way of its own replacements; a file another program
// holds open is reported as such (kHeldOpenReason) before anything is
// written. A handle is kept in the descriptor's int: Win32 handles are
// 32-bit values on 64-bit Windows too, sign-extended when used.
#include "common/FileHandle.h"

#include "common/Exceptions.h"
#include "common/Platform.h"
#include "common/PlatformFiles.h"
#include "common/TemporaryNames.h"
#include "common/windows/WidePaths.h"

#include <algorithm>
#include <utility>

namespace norrvik {

using platform::kFolderReason;
using platform::kLinkReason;
using platform::kSpecialReason;
using platform::ReasonForKind;

using windows::ErrorText;
using windows::LongPath;

namespace {

constexpr const char* kReadOnlyReason =
    "the file is marked read-only; clear its read-only attribute or choose another folder";
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kLargestTransfer = 1u << 30;

HANDLE AsHandle(int descriptor)
{
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(descriptor));
}

int AsDescriptor(HANDLE handle)
{
    return static_cast<int>(reinterpret_cast<std::intptr_t>(handle));
}

[[noreturn]] void ThrowReason(const char* what, const std::string& pathText, const std::string& reason)
{
    throw EInOutError(FileErrorMessage(what, pathText, reason));
}

std::string ReasonFor(DWORD error)
{
    return windows::HeldByAnotherProgram(error) ? windows::kHeldOpenReason : ErrorText(error);
}

DWORD AccessFor(FileOpening how)
{
    return how == FileOpening::Read || how == FileOpening::ReadFollowingLinks ? GENERIC_READ
                                                                                : GENERIC_READ | GENERIC_WRITE;
}

DWORD DispositionFor(FileOpening how)
{
    switch (how) {
    case FileOpening::CreateOrOpen:
        return OPEN_ALWAYS;
    case FileOpening::CreateNew:
        return CREATE_NEW;
    case FileOpening::Read:
    case FileOpening::ReadWrite:
    case FileOpening::ReadFollowingLinks:
        break;
    }
    return OPEN_EXISTING;
}

HANDLE CreateFileFor(const std::filesystem::path& path, DWORD access, DWORD disposition, bool followLinks)
{
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    return ::CreateFileW(LongPath(path).c_str(), access, kShareAll, nullptr, disposition, flags, nullptr);
}

// Why an open handle is no regular file, or nothing when it is one.
std::optional<std::string> WhyNotRegular(HANDLE handle, bool followLinks)
{
    if (::GetFileType(handle) != FILE_TYPE_DISK)
        return kSpecialReason;
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(handle, &information))
        return ErrorText(::GetLastError());
    if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return kFolderReason;
    if (!followLinks && (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return kLinkReason;
    return std::nullopt;
}

OVERLAPPED At(std::uint64_t offset)
{
    OVERLAPPED overlapped{};
    overlapped.Offset = static_cast<DWORD>(offset);
    overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return overlapped;
}

} // namespace

namespace platform {

TTemporaryFile CreateTemporaryBeside(const std::filesystem::path& path)
{
    TTemporaryFile result;
    DWORD error = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        result.Path = UnpredictableTemporaryPath(path);
        const HANDLE handle = CreateFileFor(result.Path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW, false);
        if (handle != INVALID_HANDLE_VALUE) {
            result.File = TFileHandle::Adopt(AsDescriptor(handle), PathText(path));
            return result;
        }
        error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            break;
    }
    result.Failure = ErrorText(error);
    result.Denied = error == ERROR_ACCESS_DENIED;
    return result;
}

void MoveReplacing(const std::filesystem::path& from, const std::filesystem::path& to, const std::string& toText)
{
    if (::MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return;
    const DWORD error = ::GetLastError();
    // Replacing a file that is open without leave to delete it is refused
    // as "access denied": another program holds it.
    const bool held = windows::HeldByAnotherProgram(error) ||
                      (error == ERROR_ACCESS_DENIED && KindOfFile(to) == FileKind::Regular &&
                       !WhyFileMayNotBeWritten(to));
    ThrowReason("Cannot write file", toText, held ? windows::kHeldOpenReason : ErrorText(error));
}

void RemoveQuietly(const std::filesystem::path& path) noexcept
{
    ::DeleteFileW(LongPath(path).c_str());
}

} // namespace platform

std::optional<TFileHandle> TFileHandle::OpenIfExists(const std::filesystem::path& path, FileOpening how)
{
    const std::string text = PathText(path);
    const bool followLinks = how == FileOpening::ReadFollowingLinks;
    const HANDLE handle = CreateFileFor(path, AccessFor(how), DispositionFor(how), followLinks);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        const bool creating = how == FileOpening::CreateOrOpen || how == FileOpening::CreateNew;
        if ((error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) && !creating && !followLinks)
            return std::nullopt;
        if ((error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) && !creating)
            ThrowReason(platform::OpenVerb(how), text, "No such file or directory");
        if (error == ERROR_ACCESS_DENIED || error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
            if (const auto reason = ReasonForKind(KindOfFile(path)))
                ThrowReason(platform::OpenVerb(how), text, *reason);
        ThrowReason(platform::OpenVerb(how), text, ReasonFor(error));
    }
    TFileHandle file(AsDescriptor(handle), text);
    if (const auto reason = WhyNotRegular(handle, followLinks))
        ThrowReason(platform::OpenVerb(how), text, *reason);
    return file;
}

std::uint64_t TFileHandle::Size() const
{
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(AsHandle(descriptor_), &size))
        ThrowReason("Cannot read file", pathText_, ErrorText(::GetLastError()));
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::size_t TFileHandle::ReadSomeAt(std::uint64_t offset, MutableBytes bytes) const
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        OVERLAPPED at = At(offset + done);
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, kLargestTransfer));
        DWORD read = 0;
        if (!::ReadFile(AsHandle(descriptor_), bytes.data() + done, wanted, &read, &at)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_HANDLE_EOF)
                break;
            ThrowReason("Cannot read file", pathText_, ReasonFor(error));
        }
        if (read == 0)
            break;
        done += read;
    }
    return done;
}

void TFileHandle::WriteAt(std::uint64_t offset, ConstBytes bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        OVERLAPPED at = At(offset + done);
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, kLargestTransfer));
        DWORD written = 0;
        if (!::WriteFile(AsHandle(descriptor_), bytes.data() + done, wanted, &written, &at))
            ThrowReason("Cannot write file", pathText_, ReasonFor(::GetLastError()));
        if (written == 0)
            ThrowReason("Cannot write file", pathText_, ErrorText(ERROR_DISK_FULL));
        done += written;
    }
}

void TFileHandle::Truncate(std::uint64_t size)
{
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFileInformationByHandle(AsHandle(descriptor_), FileEndOfFileInfo, &end, sizeof end))
        ThrowReason("Cannot write file", pathText_, ReasonFor(::GetLastError()));
}

void TFileHandle::Sync()
{
    if (!::FlushFileBuffers(AsHandle(descriptor_)))
        ThrowReason("Cannot write file", pathText_, ErrorText(::GetLastError()));
}

void TFileHandle::StartWriteback() noexcept
{
    // Windows writes changed data back by itself; Sync waits for the rest.
}

void TFileHandle::CopyPermissionsFrom(const std::filesystem::path&)
{
    // A Windows file takes its permissions from the folder's inherited
    // access list, as the file it replaces did; a read-only file is never
    // replaced (WhyFileMayNotBeWritten).
}

void TFileHandle::Close()
{
    if (descriptor_ < 0)
        return;
    const HANDLE handle = AsHandle(std::exchange(descriptor_, -1));
    if (!::CloseHandle(handle))
        ThrowReason("Cannot write file", pathText_, ErrorText(::GetLastError()));
}

void TFileHandle::CloseQuietly() noexcept
{
    if (descriptor_ >= 0)
        ::CloseHandle(AsHandle(std::exchange(descriptor_, -1)));
}

TPathStatus StatusFollowingLinks(const std::filesystem::path& path)
{
    TPathStatus result;
    const std::filesystem::path longPath(LongPath(path));
    const std::filesystem::file_status status = std::filesystem::status(longPath, result.Error);
    result.Type = status.type();
    if (result.Type == std::filesystem::file_type::regular)
        result.Size = std::filesystem::file_size(longPath, result.Error);
    if (result.Type == std::filesystem::file_type::not_found && !result.Error)
        result.Error = std::make_error_code(std::errc::no_such_file_or_directory);
    return result;
}

FileKind KindOfFile(const std::filesystem::path& path)
{
    const DWORD attributes = ::GetFileAttributesW(LongPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return FileKind::Missing;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return FileKind::SymbolicLink;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return FileKind::Folder;
    if (attributes & FILE_ATTRIBUTE_DEVICE)
        return FileKind::Other;
    return FileKind::Regular;
}

std::string_view MakeFilesWritableAdvice()
{
    return "Clear their read-only attribute (Properties, or attrib -r)";
}

std::optional<std::string> WhyFileMayNotBeWritten(const std::filesystem::path& path)
{
    const DWORD attributes = ::GetFileAttributesW(LongPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? std::nullopt
                                                                              : std::optional(ErrorText(error));
    }
    if (const auto reason = ReasonForKind(KindOfFile(path)))
        return reason;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return std::string(kReadOnlyReason);
    // Writing and replacing the file needs leave to write and to delete it
    // from every handle open on it; the program's own handles give both.
    const windows::TOwnedHandle probe(::CreateFileW(LongPath(path).c_str(), GENERIC_WRITE | DELETE, kShareAll,
                                                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (probe.Valid())
        return std::nullopt;
    const DWORD error = ::GetLastError();
    if (windows::HeldByAnotherProgram(error))
        return std::string(windows::kHeldOpenReason);
    if (error == ERROR_ACCESS_DENIED)
        return "this user has no write permission for it; give this user write permission or choose another folder";
    return ErrorText(error);
}

void CheckFolderTakesNewFiles(const std::filesystem::path& folder)
{
    const std::string text = PathText(folder);
    if (KindOfFile(folder) != FileKind::Folder)
        ThrowReason("Cannot write in folder", text, ErrorText(ERROR_PATH_NOT_FOUND));
    platform::TTemporaryFile probe = platform::CreateTemporaryBeside(folder / PathFromText(kFolderProbeName));
    if (!probe.Failure.empty())
        ThrowReason("Cannot write in folder", text,
                    probe.Denied ? "access denied; this user needs leave to create files in the folder"
                                 : probe.Failure);
    probe.File.CloseQuietly();
    if (!::DeleteFileW(LongPath(probe.Path).c_str()))
        ThrowReason("Cannot write in folder", text,
                    "a file made there cannot be removed (" + ErrorText(::GetLastError()) + ")");
}

void SyncFolder(const std::filesystem::path& folder)
{
    // NTFS journals a folder's entries itself, and every rename into place
    // is written through (MOVEFILE_WRITE_THROUGH); a folder cannot be
    // flushed by handle. What is left is to see that the folder is there.
    if (KindOfFile(folder) != FileKind::Folder)
        ThrowReason("Cannot write in folder", PathText(folder), ErrorText(ERROR_PATH_NOT_FOUND));
}

} // namespace norrvik
