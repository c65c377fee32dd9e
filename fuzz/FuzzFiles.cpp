// Splitting fuzz inputs into files, the scratch folder and the guard of one
// fuzz iteration.
#include "FuzzFiles.h"

#include "common/Exceptions.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <system_error>
#include <unistd.h>

namespace norrvik::fuzz {

namespace {

bool IsNameChar(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
}

std::string CleanFileName(std::string_view raw)
{
    std::string name;
    for (const char c : raw)
        if (IsNameChar(static_cast<unsigned char>(c)) && name.size() < kMaxFileNameLength)
            name += c;
    // "." and ".." would name folders, not files.
    if (std::all_of(name.begin(), name.end(), [](char c) { return c == '.'; }))
        name.clear();
    return name;
}

class ScratchRoot {
public:
    ScratchRoot()
    {
        const std::filesystem::path shm = "/dev/shm";
        std::error_code error;
        const auto base = std::filesystem::is_directory(shm, error) ? shm : std::filesystem::temp_directory_path();
        path_ = base / ("norrvik-fuzz-" + std::to_string(::getpid()));
        std::filesystem::remove_all(path_, error);
        std::filesystem::create_directories(path_);
    }
    ~ScratchRoot()
    {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A message that is only a number, or only the system's text for an error
// code, tells the user nothing about which file failed or why.
bool IsBareSystemMessage(const std::string& message)
{
    const std::string trimmed = message.substr(0, message.find_last_not_of(" \t\r\n.") + 1);
    if (trimmed.empty())
        return true;
    if (std::all_of(trimmed.begin(), trimmed.end(), [](char c) { return (c >= '0' && c <= '9') || c == ' ' || c == '-'; }))
        return true;
    for (int code = 0; code < 134; ++code)
        if (trimmed == std::strerror(code))
            return true;
    return false;
}

std::string WithoutScratchPaths(std::string message)
{
    const std::string root = ScratchFolder::Root().string();
    for (std::size_t at; (at = message.find(root)) != std::string::npos;)
        message.replace(at, root.size(), "<dir>");
    return message;
}

void RecordMessage(const std::string& message)
{
    static const char* const path = std::getenv("NORRVIK_FUZZ_MESSAGES");
    static std::set<std::string> seen;
    if (path == nullptr)
        return;
    const std::string text = WithoutScratchPaths(message);
    if (!seen.insert(text).second)
        return;
    std::ofstream out(path, std::ios::app);
    out << text << '\n';
}

} // namespace

std::vector<FuzzFile> SplitFuzzInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<FuzzFile> files;
    std::size_t at = input.find(kFileMarker);
    while (at != std::string_view::npos) {
        const std::size_t nameStart = at + kFileMarker.size();
        const std::size_t nameEnd = std::min(input.find('\n', nameStart), input.size());
        const std::size_t contentStart = std::min(nameEnd + 1, input.size());
        const std::size_t next = input.find(kFileMarker, contentStart);
        const std::size_t contentEnd = next == std::string_view::npos ? input.size() : next;
        FuzzFile file{CleanFileName(input.substr(nameStart, nameEnd - nameStart)),
                      std::vector<std::uint8_t>(data + contentStart, data + contentEnd)};
        if (!file.Name.empty()) {
            auto same = std::find_if(files.begin(), files.end(), [&](const FuzzFile& f) { return f.Name == file.Name; });
            if (same != files.end())
                *same = std::move(file);
            else
                files.push_back(std::move(file));
        }
        at = next;
    }
    return files;
}

std::vector<std::uint8_t> PackFuzzFiles(const std::vector<FuzzFile>& files)
{
    std::vector<std::uint8_t> packed;
    for (const FuzzFile& file : files) {
        packed.insert(packed.end(), kFileMarker.begin(), kFileMarker.end());
        packed.insert(packed.end(), file.Name.begin(), file.Name.end());
        packed.push_back('\n');
        packed.insert(packed.end(), file.Bytes.begin(), file.Bytes.end());
    }
    return packed;
}

std::vector<FuzzFile> ReadFolderFiles(const std::filesystem::path& folder)
{
    std::vector<FuzzFile> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file())
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        files.push_back({entry.path().filename().string(),
                         std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {})});
    }
    std::sort(files.begin(), files.end(), [](const FuzzFile& a, const FuzzFile& b) { return a.Name < b.Name; });
    return files;
}

const std::filesystem::path& ScratchFolder::Root()
{
    static const ScratchRoot root;
    return root.Path();
}

std::filesystem::path ScratchFolder::Fresh(const std::string& name)
{
    const auto folder = Root() / name;
    std::error_code error;
    std::filesystem::remove_all(folder, error);
    std::filesystem::create_directories(folder);
    return folder;
}

std::filesystem::path ScratchFolder::WithFiles(const std::string& name, const std::vector<FuzzFile>& files)
{
    const auto folder = Fresh(name);
    for (const FuzzFile& file : files) {
        std::ofstream out(folder / file.Name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(file.Bytes.data()), static_cast<std::streamsize>(file.Bytes.size()));
    }
    return folder;
}

int RunGuarded(const std::function<void()>& body)
{
    try {
        body();
    } catch (const norrvik::Exception& error) {
        const std::string message = error.what();
        if (IsBareSystemMessage(message)) {
            std::fprintf(stderr, "norrvik fuzz: error message without content: \"%s\"\n", message.c_str());
            std::abort();
        }
        RecordMessage(message);
    }
    return 0;
}

void Require(bool condition, const char* what)
{
    if (condition)
        return;
    std::fprintf(stderr, "norrvik fuzz: broken invariant: %s\n", what);
    std::abort();
}

} // namespace norrvik::fuzz
