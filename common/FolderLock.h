// A lock on a database folder, exclusive for a writer and shared by readers,
// that goes with the process that holds it, so a crash never leaves a folder
// locked. On POSIX systems an advisory lock on the folder itself (flock on
// the open directory; no file is made for it); on Windows a byte-range lock
// on the folder's hidden lock file Norrvik.lock (see
// common/windows/FolderLockWindows.cpp for why). The one place of the
// program's locking calls (part of the platform layer, common/Platform.h).
#pragma once

#include <filesystem>
#include <string_view>

namespace norrvik {

class TFolderLock {
public:
    enum class Mode { Shared, Exclusive };
    enum class Result {
        Locked,      // the lock is held
        InUse,       // another holder's lock conflicts; nothing is held
        NoFolder,    // the folder does not exist; nothing is held
        Unsupported, // the file system has no such locks; nothing is held
    };

    TFolderLock() = default;
    ~TFolderLock();
    TFolderLock(TFolderLock&& other) noexcept;
    TFolderLock& operator=(TFolderLock&& other) noexcept;
    TFolderLock(const TFolderLock&) = delete;
    TFolderLock& operator=(const TFolderLock&) = delete;

    // Takes the lock at once or not at all (never waits). Raises EInOutError
    // naming the folder when it exists but cannot be opened.
    Result TryLock(const std::filesystem::path& folder, Mode mode);
    bool Held() const { return descriptor_ >= 0; }
    void Release() noexcept;

    // The name of the file the lock keeps in a folder it locks ("Norrvik.lock"
    // on Windows), empty where it keeps none: what a folder holds besides the
    // database's own files.
    static std::string_view FileInFolder();

private:
    int descriptor_ = -1; // a descriptor (POSIX) or a handle's value (Windows)
};

} // namespace norrvik
