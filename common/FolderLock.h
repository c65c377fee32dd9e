// An advisory lock on a folder itself (flock on the open directory): no file
// is created for it, and it goes with the process that holds it, so a crash
// never leaves a folder locked. The one place of the program's locking calls.
#pragma once

#include <filesystem>

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

private:
    int descriptor_ = -1;
};

} // namespace norrvik
