// Helpers the commands of norrvik-cli share.
#include "cli/CommandSupport.h"

#include "common/Exceptions.h"
#include "common/Files.h"
#include "common/FolderChecks.h"

#include <filesystem>
#include <ostream>

namespace norrvik {

std::string MessageOf(const std::exception& error)
{
    const std::string message = error.what();
    return message.empty() ? "Unknown error" : message;
}

void RefuseFileAsDatabaseFolder(const std::string& folder)
{
    if (NamesAFile(folder))
        throw Exception(NotAFolderMessage(kNewFolderWhat, folder));
}

bool ReportFolderMissing(const std::string& folder, std::ostream& err)
{
    std::error_code error;
    const std::filesystem::path path = PathFromText(folder);
    if (std::filesystem::is_directory(path, error))
        return false;
    if (PathTooLong(path))
        err << PathTooLongMessage(folder) << '\n';
    else
        err << "Folder " << IncludeTrailingPathDelimiter(folder) << " doesn't exist.\n";
    return true;
}

} // namespace norrvik
