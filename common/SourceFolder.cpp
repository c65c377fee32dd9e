// Source files looked up by name in a folder listed once.
#include "SourceFolder.h"

#include "Exceptions.h"
#include "Files.h"
#include "Text.h"

#include <system_error>
#include <utility>

namespace norrvik {

namespace {

// What has the name (a symbolic link followed): not_found when nothing does.
std::filesystem::file_type TypeOf(const std::filesystem::path& path)
{
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error && status.type() != std::filesystem::file_type::not_found)
        ThrowCannotReadFile(PathText(path), error.message());
    return status.type();
}

} // namespace

TSourceFolder::TSourceFolder(std::filesystem::path folder) : folder_(std::move(folder)) {}

std::filesystem::path TSourceFolder::Locate(std::string_view name)
{
    std::filesystem::path exact = folder_ / PathFromText(name);
    if (TypeOf(exact) != std::filesystem::file_type::not_found)
        return exact;
    ListOnce();
    const auto it = byUpperName_.find(UpperCaseAscii(name));
    return it == byUpperName_.end() ? exact : it->second;
}

std::optional<std::filesystem::path> TSourceFolder::Find(std::string_view name)
{
    if (name.find_first_of("/\\") != std::string_view::npos)
        return std::nullopt;
    // Locate's rule, looking at each candidate once.
    std::filesystem::path path = folder_ / PathFromText(name);
    std::filesystem::file_type type = TypeOf(path);
    if (type == std::filesystem::file_type::not_found) {
        ListOnce();
        const auto it = byUpperName_.find(UpperCaseAscii(name));
        if (it == byUpperName_.end())
            return std::nullopt;
        path = it->second;
        type = TypeOf(path);
    }
    if (type != std::filesystem::file_type::regular)
        return std::nullopt;
    return path;
}

void TSourceFolder::ListOnce()
{
    if (listed_)
        return;
    listed_ = true;
    std::error_code error;
    std::filesystem::directory_iterator it(folder_, error);
    if (error)
        return; // a folder that cannot be listed offers no other letter case
    for (const std::filesystem::directory_iterator end; it != end; it.increment(error)) {
        if (error)
            break;
        // emplace keeps the first entry of a name.
        byUpperName_.emplace(UpperCaseAscii(PathText(it->path().filename())), it->path());
    }
}

std::filesystem::path FindSourceFile(const std::filesystem::path& folder, std::string_view name)
{
    return TSourceFolder(folder).Locate(name);
}

} // namespace norrvik
