// Source files looked up by name in a folder listed once.
#include "SourceFolder.h"

#include "Files.h"
#include "Text.h"

#include <system_error>
#include <utility>

namespace norrvik {

namespace {

bool IsRegularFile(const std::filesystem::path& path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

} // namespace

TSourceFolder::TSourceFolder(std::filesystem::path folder) : folder_(std::move(folder)) {}

std::optional<std::filesystem::path> TSourceFolder::Find(std::string_view name)
{
    std::filesystem::path exact = folder_ / PathFromText(name);
    std::error_code error;
    if (std::filesystem::exists(exact, error))
        return IsRegularFile(exact) ? std::optional(std::move(exact)) : std::nullopt;
    ListOnce();
    const auto it = byUpperName_.find(UpperCaseAscii(name));
    if (it == byUpperName_.end() || !IsRegularFile(it->second))
        return std::nullopt;
    return it->second;
}

void TSourceFolder::ListOnce()
{
    if (listed_)
        return;
    listed_ = true;
    std::error_code error;
    std::filesystem::directory_iterator it(folder_, error);
    if (error)
        return;
    for (const std::filesystem::directory_iterator end; it != end; it.increment(error)) {
        if (error)
            break;
        // emplace keeps the first entry of a name, as FindSourceFile takes it.
        byUpperName_.emplace(UpperCaseAscii(PathText(it->path().filename())), it->path());
    }
}

} // namespace norrvik
