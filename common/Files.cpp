// File-system helpers.
#include "Files.h"

#include "Exceptions.h"
#include "Text.h"

#include <cerrno>
#include <fstream>
#include <system_error>

namespace norrvik {

std::filesystem::path PathFromText(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string PathText(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string IncludeTrailingPathDelimiter(std::string_view folder)
{
    std::string result(folder);
    const char delimiter = static_cast<char>(std::filesystem::path::preferred_separator);
    if (!result.empty() && result.back() != delimiter)
        result += delimiter;
    return result;
}

std::filesystem::path FindSourceFile(const std::filesystem::path& folder, std::string_view name)
{
    const std::filesystem::path exact = folder / PathFromText(name);
    std::error_code error;
    if (std::filesystem::exists(exact, error))
        return exact;
    std::filesystem::directory_iterator it(folder, error);
    if (error)
        return exact;
    for (const std::filesystem::directory_iterator end; it != end; it.increment(error)) {
        if (error)
            break;
        if (SameTextAscii(PathText(it->path().filename()), name))
            return it->path();
    }
    return exact;
}

bool SourceFileExists(const std::filesystem::path& folder, std::string_view name)
{
    std::error_code error;
    return std::filesystem::is_regular_file(FindSourceFile(folder, name), error);
}

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path)
{
    errno = 0;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        ThrowFileError("Cannot open file", PathText(path));
    std::vector<std::uint8_t> bytes;
    char buffer[65536];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
        bytes.insert(bytes.end(), reinterpret_cast<std::uint8_t*>(buffer),
                     reinterpret_cast<std::uint8_t*>(buffer) + file.gcount());
        if (file.eof())
            break;
    }
    if (file.bad())
        ThrowFileError("Cannot read file", PathText(path));
    return bytes;
}

} // namespace norrvik
