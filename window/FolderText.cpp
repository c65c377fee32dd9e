// Folder texts as a shell would read them.
#include "window/FolderText.h"

#include <cstdlib>
#include <filesystem>

namespace norrvik {

std::string ExpandHomeFolder(const std::string& typed)
{
    if (typed.empty() || typed[0] != '~' || (typed.size() > 1 && typed[1] != '/'))
        return typed;
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0')
        return typed;
    return std::string(home) + typed.substr(1);
}

std::string AbsoluteFolderText(const std::string& typed)
{
    const std::filesystem::path path(ExpandHomeFolder(typed));
    if (path.is_absolute())
        return path.string();
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path.string() : absolute.lexically_normal().string();
}

} // namespace norrvik
