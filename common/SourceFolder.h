// The one rule for finding a source file by name: the exact name when
// something has it, otherwise the first entry of the folder whose name is
// the same without regard to ASCII letter case (databases copied from
// Windows carry PDDATABS.DAT, pddatabs.dat, QUARTZ.DI or quartz.di alike).
// A TSourceFolder lists its folder at most once, so a database of n entries
// costs n look-ups, not n listings of the folder, whatever else it holds.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace norrvik {

class TSourceFolder {
public:
    explicit TSourceFolder(std::filesystem::path folder);

    // The path of `name` by the rule above; when nothing matches, the exact
    // path (which does not exist), so that a "not found" message names the
    // file looked for. Raises EInOutError naming the path when the system
    // cannot look (a path too long, a folder that may not be searched).
    // The listing is taken at the first look-up that needs it; files added
    // later in another letter case are not seen.
    std::filesystem::path Locate(std::string_view name);

    // The file `name` by the rule above when it is a regular file (a link to
    // one counts); nothing when there is none, when a folder, pipe or device
    // stands in its place, or when `name` holds a path delimiter ("/" or
    // "\\"): a name read from a source file never reaches outside the
    // folder. Raises as Locate does.
    std::optional<std::filesystem::path> Find(std::string_view name);

    const std::filesystem::path& Folder() const { return folder_; }

private:
    void ListOnce();

    std::filesystem::path folder_;
    bool listed_ = false;
    // Upper-cased name -> the first entry of the folder with that name.
    std::unordered_map<std::string, std::filesystem::path> byUpperName_;
};

// TSourceFolder(folder).Locate(name), for a file looked up once.
std::filesystem::path FindSourceFile(const std::filesystem::path& folder, std::string_view name);

} // namespace norrvik
