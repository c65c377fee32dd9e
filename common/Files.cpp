// File-system helpers.
#include "Files.h"

#include "Exceptions.h"
#include "FileHandle.h"

#include <system_error>

namespace norrvik {

namespace {

// What stands in the place of a file that is not a regular one.
std::string NotRegularFileReason(std::filesystem::file_type type)
{
    switch (type) {
    case std::filesystem::file_type::directory: return "it is a folder, not a file";
    case std::filesystem::file_type::fifo: return "it is a pipe (FIFO), not a regular file";
    case std::filesystem::file_type::block:
    case std::filesystem::file_type::character: return "it is a device, not a regular file";
    case std::filesystem::file_type::socket: return "it is a socket, not a regular file";
    default: return "it is not a regular file";
    }
}

} // namespace

std::string AbsoluteFolderText(std::string_view typed)
{
    const std::filesystem::path path = PathFromText(typed);
    if (path.is_absolute() || typed.find_first_not_of(" \t") == std::string_view::npos)
        return std::string(typed);
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? std::string(typed) : PathText(absolute.lexically_normal());
}

std::string IncludeTrailingPathDelimiter(std::string_view folder)
{
    std::string result(folder);
    const char delimiter = static_cast<char>(std::filesystem::path::preferred_separator);
    if (!result.empty() && !IsPathDelimiter(result.back()))
        result += delimiter;
    return result;
}

void ThrowCannotReadFile(const std::string& pathText, const std::string& reason)
{
    throw EInOutError(FileErrorMessage("Cannot read file", pathText, reason));
}

bool FileMissing(const std::filesystem::path& path)
{
    std::error_code error;
    return !std::filesystem::exists(path, error) && !error;
}

namespace {

// The size of a regular file from one look at it; raises naming the file.
std::uintmax_t RegularFileSize(const std::filesystem::path& path, const TPathStatus& status)
{
    if (status.Type == std::filesystem::file_type::not_found)
        ThrowCannotReadFile(PathText(path), std::make_error_code(std::errc::no_such_file_or_directory).message());
    if (status.Error)
        ThrowCannotReadFile(PathText(path), status.Error.message());
    if (status.Type != std::filesystem::file_type::regular)
        ThrowCannotReadFile(PathText(path), NotRegularFileReason(status.Type));
    return status.Size;
}

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path, std::uintmax_t size,
                                        std::uintmax_t* sizeWhenOpened)
{
    if (sizeWhenOpened != nullptr)
        *sizeWhenOpened = size;
    // Opened without waiting and looked at again once open: something put in
    // the file's place since the look above (a pipe) is refused, never read.
    const TFileHandle file = TFileHandle::Open(path, FileOpening::ReadFollowingLinks);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    bytes.resize(file.ReadSomeAt(0, bytes));
    return bytes;
}

} // namespace

std::uintmax_t RegularFileSize(const std::filesystem::path& path)
{
    return RegularFileSize(path, StatusFollowingLinks(path));
}

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path, std::uintmax_t* sizeWhenOpened)
{
    return ReadFileBytes(path, RegularFileSize(path), sizeWhenOpened);
}

std::optional<std::vector<std::uint8_t>> ReadFileBytesIfExists(const std::filesystem::path& path,
                                                               std::uintmax_t* sizeWhenOpened)
{
    // The same look tells a missing file (as FileMissing would) and the size.
    const TPathStatus status = StatusFollowingLinks(path);
    if (status.Type == std::filesystem::file_type::not_found)
        return std::nullopt;
    return ReadFileBytes(path, RegularFileSize(path, status), sizeWhenOpened);
}

bool PathTooLong(const std::filesystem::path& path)
{
    std::error_code error;
    static_cast<void>(std::filesystem::status(path, error));
    return error == std::errc::filename_too_long;
}

std::string PathTooLongMessage(std::string_view pathText)
{
    return "The path " + std::string(pathText) +
           " is too long for the system; move the folder to a place with a shorter path.";
}

void ThrowIfPathTooLong(const std::filesystem::path& path, std::string_view pathText)
{
    if (PathTooLong(path))
        throw EInOutError(PathTooLongMessage(pathText));
}

} // namespace norrvik
