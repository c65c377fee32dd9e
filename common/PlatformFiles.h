// The file calls the portable part of common/FileHandle.cpp needs from each
// platform's implementation (common/posix/FileHandlePosix.cpp,
// common/windows/FileHandleWindows.cpp). Only those files include it.
#pragma once

#include "common/FileHandle.h"

#include <filesystem>
#include <optional>
#include <string>

namespace norrvik::platform {

// A new file beside another, made exclusively under an unpredictable name.
struct TTemporaryFile {
    TFileHandle File;
    std::filesystem::path Path;
    std::string Failure; // the system's reason when none could be made
    bool Denied = false; // the failure was a permission refused
};
// Creates `<path>.<random>.new`, exclusively, never through a link.
TTemporaryFile CreateTemporaryBeside(const std::filesystem::path& path);
// `<path>.<16 hexadecimal digits no one can guess in advance>.new`, the name
// TemporaryNames.h recognises.
std::filesystem::path UnpredictableTemporaryPath(const std::filesystem::path& path);

// Renames `from` over `to` so that `to` is either wholly old or wholly new,
// also after a power cut (the folder itself is put on the disk by the
// caller). Raises EInOutError naming `toText`.
void MoveReplacing(const std::filesystem::path& from, const std::filesystem::path& to, const std::string& toText);
void RemoveQuietly(const std::filesystem::path& path) noexcept;

// Why a name that is no regular file cannot be opened as one.
inline constexpr const char* kLinkReason =
    "it is a symbolic link, which is never followed; put the file itself in the folder";
inline constexpr const char* kFolderReason = "it is a folder, not a file";
inline constexpr const char* kSpecialReason = "it is not a regular file (a pipe, device or socket)";
// The reason for a kind of name, nothing for a regular file or none.
std::optional<std::string> ReasonForKind(FileKind kind);

// The verb of the message for a file that cannot be opened `how`.
const char* OpenVerb(FileOpening how);

} // namespace norrvik::platform
