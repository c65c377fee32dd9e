// A temporary folder for one test, removed with everything in it when the
// object goes; and small helpers to write and read whole files and the
// files of a database folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace norrvik::test {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The folder (or a sub-path of it) as text, as a user would type it.
    std::string Text(const std::string& sub = {}) const;

private:
    std::filesystem::path path_;
};

// The delimiter the program appends to a folder's text: '/' on POSIX
// systems, '\' on Windows.
inline const std::string kDelimiter(1, static_cast<char>(std::filesystem::path::preferred_separator));

void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
void WriteFile(const std::filesystem::path& path, const std::string& text);
std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path);
std::string ReadFileText(const std::filesystem::path& path);

// Every file of a database folder with its bytes, the import log (which
// records every run) left out: what two conversions that should end alike
// compare.
std::map<std::string, std::vector<std::uint8_t>> DatabaseBytes(const std::filesystem::path& folder);

} // namespace norrvik::test
