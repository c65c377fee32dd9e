// Checks of the folder texts given for a conversion.
#include "common/FolderChecks.h"

#include "common/Files.h"
#include "common/Text.h"

#include <filesystem>
#include <system_error>

namespace norrvik {

namespace {

// The old folder as typed, made a path with a trailing delimiter.
std::filesystem::path OldFolderPath(std::string_view typed)
{
    return PathFromText(IncludeTrailingPathDelimiter(typed));
}

} // namespace

bool OldFolderExists(std::string_view typed)
{
    if (Trim(typed).empty())
        return false;
    std::error_code error;
    return std::filesystem::is_directory(OldFolderPath(typed), error);
}

std::string OldFolderMissingMessage(std::string_view typed)
{
    if (PathTooLong(OldFolderPath(typed)))
        return PathTooLongMessage(typed);
    return "Folder with the old reference database (" + std::string(typed) + ") doesn't exist.";
}

bool NamesAFile(std::string_view typed)
{
    std::string_view name = typed;
    while (name.size() > 1 && name.back() == '/')
        name.remove_suffix(1);
    if (Trim(name).empty())
        return false;
    std::error_code error;
    const auto status = std::filesystem::status(PathFromText(name), error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

std::string NotAFolderMessage(std::string_view what, std::string_view typed)
{
    return std::string(what) + " (" + std::string(typed) +
           ") is a file, not a folder. Choose the folder that holds the database.";
}

bool TargetFolderBlank(std::string_view typed)
{
    return Trim(typed).empty();
}

} // namespace norrvik
