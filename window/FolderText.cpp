// Folder texts as a shell would read them.
#include "window/FolderText.h"

#include "common/FileHandle.h"
#include "common/Platform.h"
#include "common/Text.h"

#include <cstdlib>
#include <filesystem>

namespace norrvik {

std::string ExpandHomeFolder(const std::string& typed)
{
    if (typed.empty() || typed[0] != '~' || (typed.size() > 1 && !IsPathDelimiter(typed[1])))
        return typed;
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0')
        return typed;
    return std::string(home) + typed.substr(1);
}

std::string AbsoluteFolderText(const std::string& typed)
{
    // Through the platform's paths: on Windows a narrow path string is in the
    // ANSI code page, which would garble every character outside it.
    const std::string expanded = ExpandHomeFolder(typed);
    const std::filesystem::path path = PathFromText(expanded);
    if (path.is_absolute())
        return expanded;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? expanded : PathText(absolute.lexically_normal());
}

std::string PickerStartFolder(const std::string& typed)
{
    std::filesystem::path folder = PathFromText(Trim(typed));
    while (!folder.empty() && StatusFollowingLinks(folder).Type != std::filesystem::file_type::directory) {
        const std::filesystem::path parent = folder.parent_path();
        if (parent == folder)
            return {};
        folder = parent;
    }
    return PathText(folder);
}

} // namespace norrvik
