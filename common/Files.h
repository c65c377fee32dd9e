// File-system helpers shared by the readers and the store: paths from the
// folder texts users type, the trailing path delimiter, reading a whole
// source file (only a regular file, never more than it holds) with an error
// that names it, and the message for a path longer than the system takes.
// Source files whose letter case differs are found by SourceFolder.h. Paths
// from texts and back (PathFromText, PathText) belong to the platform layer.
#pragma once

#include "common/Platform.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norrvik {

// The folder text with the platform's path delimiter appended when it does
// not end with one already (IsPathDelimiter: on Windows "C:/data/db/" stays
// as it is); an empty text stays empty.
std::string IncludeTrailingPathDelimiter(std::string_view folder);

// A folder text made absolute against the working folder and lexically
// normalised ("./a/../b" becomes "<working folder>/b"), so that a name
// recorded from it can be found again from anywhere. An absolute text, a
// blank one, and a text when the working folder cannot be told, come back
// as they are.
std::string AbsoluteFolderText(std::string_view typed);

// Raises EInOutError "Cannot read file <path>: <reason>", the one shape of
// the message for a source file that cannot be read or is damaged.
[[noreturn]] void ThrowCannotReadFile(const std::string& pathText, const std::string& reason);

// True when nothing has the name (a symbolic link to nothing counts as
// nothing). False when the system cannot look (a path too long): the read
// that follows then reports why.
bool FileMissing(const std::filesystem::path& path);

// The size of the regular file at `path` (a symbolic link is followed).
// Raises EInOutError naming it when nothing has the name, when a folder, a
// pipe or a device stands in its place (reading one could block or never
// end), or when the system cannot look (a path too long, no permission).
std::uintmax_t RegularFileSize(const std::filesystem::path& path);

// The whole content of a regular file (see RegularFileSize for what is
// refused). No more is read than the file held when it was looked at, so a
// file cannot make the program allocate more than that; `sizeWhenOpened`,
// when given, receives that size (the content is shorter only when the file
// shrank meanwhile).
std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path,
                                        std::uintmax_t* sizeWhenOpened = nullptr);
// Like ReadFileBytes, but a missing file (FileMissing) gives nothing.
std::optional<std::vector<std::uint8_t>> ReadFileBytesIfExists(const std::filesystem::path& path,
                                                               std::uintmax_t* sizeWhenOpened = nullptr);

// True when the system refuses the path for its length (the whole path, or
// one name in it, is longer than it takes).
bool PathTooLong(const std::filesystem::path& path);

// "The path <pathText> is too long for the system; ...": a folder that cannot
// be reached for that reason is reported as such, not as one that does not
// exist. ThrowIfPathTooLong raises it as EInOutError when PathTooLong(path).
std::string PathTooLongMessage(std::string_view pathText);
void ThrowIfPathTooLong(const std::filesystem::path& path, std::string_view pathText);

} // namespace norrvik
