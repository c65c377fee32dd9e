// Temporary folders and whole-file helpers for the tests.
#include "support/TempFolder.h"

#include <atomic>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace norrvik::test {

namespace {
std::atomic<int> counter{0};
}

TempFolder::TempFolder()
{
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        path_ = base / ("norrvik-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        if (std::filesystem::create_directory(path_))
            break;
    }
}

TempFolder::~TempFolder()
{
    std::error_code error;
    // Undo read-only marks a test may have set, so everything can go.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, error);
    std::filesystem::remove_all(path_, error);
}

std::string TempFolder::Text(const std::string& sub) const
{
    return sub.empty() ? path_.string() : (path_ / sub).string();
}

void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file)
        throw std::runtime_error("cannot write " + path.string());
}

void WriteFile(const std::filesystem::path& path, const std::string& text)
{
    WriteFile(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error("cannot read " + path.string());
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), {});
}

std::string ReadFileText(const std::filesystem::path& path)
{
    const auto bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

std::map<std::string, std::vector<std::uint8_t>> DatabaseBytes(const std::filesystem::path& folder)
{
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().filename() != "Norrvik.imports")
            files[entry.path().filename().string()] = ReadFile(entry.path());
    return files;
}

} // namespace norrvik::test
