// The folder lock on Windows: a byte-range lock (LockFileEx) on the folder's
// lock file Norrvik.lock, a hidden empty file made the first time the folder
// is locked and left there. Windows cannot lock a folder itself, and a lock
// kept elsewhere (a named object) would not be seen from another computer
// on the same share. The byte-range lock goes with the handle, so a crash
// never leaves the folder locked, and the file never needs removing;
// removing it when done would let a second writer lock a new file of the
// same name while the first still holds the old one.
#include "common/FolderLock.h"

#include "common/Exceptions.h"
#include "common/Platform.h"
#include "common/windows/WidePaths.h"

#include <utility>

namespace norrvik {

namespace {

constexpr const char* kLockFileName = "Norrvik.lock";

HANDLE OpenLockFile(const std::filesystem::path& folder, TFolderLock::Mode mode)
{
    const std::wstring name = windows::LongPath(folder / kLockFileName);
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE handle = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_HIDDEN, nullptr);
    // A reader of a folder it may not write in: the lock file, if any, read-only.
    if (handle == INVALID_HANDLE_VALUE && mode == TFolderLock::Mode::Shared &&
        ::GetLastError() == ERROR_ACCESS_DENIED)
        handle = ::CreateFileW(name.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_HIDDEN,
                               nullptr);
    return handle;
}

} // namespace

std::string_view TFolderLock::FileInFolder()
{
    return kLockFileName;
}

TFolderLock::Result TFolderLock::TryLock(const std::filesystem::path& folder, Mode mode)
{
    Release();
    const DWORD attributes = ::GetFileAttributesW(windows::LongPath(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        const DWORD error = ::GetLastError();
        if (attributes == INVALID_FILE_ATTRIBUTES && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND))
            return Result::NoFolder;
        throw EInOutError(FileErrorMessage("Cannot open folder", PathText(folder),
                                           attributes == INVALID_FILE_ATTRIBUTES ? windows::ErrorText(error)
                                                                                 : "it is not a folder"));
    }
    const HANDLE handle = OpenLockFile(folder, mode);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        // Nothing can be written there (read-only media): no writer to keep out.
        if (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT || error == ERROR_FILE_NOT_FOUND)
            return Result::Unsupported;
        throw EInOutError(FileErrorMessage("Cannot lock folder", PathText(folder), windows::ErrorText(error)));
    }
    OVERLAPPED start{};
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (mode == Mode::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    if (::LockFileEx(handle, flags, 0, 1, 0, &start)) {
        descriptor_ = static_cast<int>(reinterpret_cast<std::intptr_t>(handle));
        return Result::Locked;
    }
    const DWORD error = ::GetLastError();
    ::CloseHandle(handle);
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING)
        return Result::InUse;
    if (error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION)
        return Result::Unsupported;
    throw EInOutError(FileErrorMessage("Cannot lock folder", PathText(folder), windows::ErrorText(error)));
}

void TFolderLock::Release() noexcept
{
    if (descriptor_ >= 0)
        ::CloseHandle(reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(descriptor_))); // the lock goes with it
    descriptor_ = -1;
}

} // namespace norrvik
