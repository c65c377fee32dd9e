// File-system helpers shared by the readers and the store: paths from the
// folder texts users type, the trailing path delimiter, finding source files
// whose letter case differs (databases copied from Windows), and reading a
// whole file with an error that names it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace norrvik {

// The path for a text typed by the user or read from a setting (UTF-8).
std::filesystem::path PathFromText(std::string_view utf8);
// The path as UTF-8 text, for messages and for building file names.
std::string PathText(const std::filesystem::path& path);

// The folder text with the platform's path delimiter appended when it does
// not end with one (an empty text stays empty).
std::string IncludeTrailingPathDelimiter(std::string_view folder);

// The file `name` in `folder`: the exact name when it exists, otherwise the
// first entry of the folder whose name equals `name` without regard to ASCII
// letter case, otherwise the exact name (which does not exist), so that the
// caller's "not found" message names the file it looked for.
std::filesystem::path FindSourceFile(const std::filesystem::path& folder, std::string_view name);

// True when FindSourceFile finds an existing regular file.
bool SourceFileExists(const std::filesystem::path& folder, std::string_view name);

// The whole content of a file. Raises EInOutError naming the file when it
// cannot be opened or read.
std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path);

} // namespace norrvik
