// A folder of source files whose names are looked up many times (one pattern
// file per entry): the same rule as FindSourceFile (exact name first, then
// without regard to ASCII letter case), but the folder is listed only once,
// so a database of n entries costs n look-ups, not n listings of n files.
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

    // The regular file `name` of the folder, or nothing when there is none.
    // The listing for the case-insensitive match is taken at the first
    // look-up that needs it; files added to the folder later in another
    // letter case are not seen.
    std::optional<std::filesystem::path> Find(std::string_view name);

    const std::filesystem::path& Folder() const { return folder_; }

private:
    void ListOnce();

    std::filesystem::path folder_;
    bool listed_ = false;
    // Upper-cased name -> the first entry of the folder with that name.
    std::unordered_map<std::string, std::filesystem::path> byUpperName_;
};

} // namespace norrvik
