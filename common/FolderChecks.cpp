// Checks of the folder texts given for a conversion.
#include "common/FolderChecks.h"

#include "common/Files.h"
#include "common/Text.h"

#include <filesystem>
#include <system_error>

namespace norrvik {

bool OldFolderExists(std::string_view typed)
{
    if (Trim(typed).empty())
        return false;
    std::error_code error;
    return std::filesystem::is_directory(PathFromText(IncludeTrailingPathDelimiter(typed)), error);
}

std::string OldFolderMissingMessage(std::string_view typed)
{
    if (PathTooLong(PathFromText(IncludeTrailingPathDelimiter(typed))))
        return PathTooLongMessage(typed);
    return "Folder with the old reference database (" + std::string(typed) + ") doesn't exist.";
}

bool TargetFolderBlank(std::string_view typed)
{
    return Trim(typed).empty();
}

} // namespace norrvik
