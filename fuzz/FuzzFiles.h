// What every fuzz target shares: one fuzz input split into the named files of
// a folder (and packed back, for the seed corpora), a per-process scratch
// folder on a fast file system, and the guard that separates the program's
// own errors (expected for damaged input) from findings.
//
// Input format: a sequence of files, each introduced by the marker "@@@ ",
// its name and a line feed, followed by its content up to the next marker or
// the end of the input. Names are reduced to letters, digits, "_", "-" and
// "." (no path parts), so a fuzzed name can never leave the scratch folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace norrvik::fuzz {

inline constexpr std::string_view kFileMarker = "@@@ ";
inline constexpr std::size_t kMaxFileNameLength = 40;

struct FuzzFile {
    std::string Name;
    std::vector<std::uint8_t> Bytes;
};

// Splits an input into files. Bytes before the first marker are ignored; a
// name that is empty after cleaning is dropped with its content; a later file
// of the same name replaces an earlier one.
std::vector<FuzzFile> SplitFuzzInput(const std::uint8_t* data, std::size_t size);

// The inverse of SplitFuzzInput, for seed inputs.
std::vector<std::uint8_t> PackFuzzFiles(const std::vector<FuzzFile>& files);

// Every regular file of a folder (not recursive), sorted by name.
std::vector<FuzzFile> ReadFolderFiles(const std::filesystem::path& folder);

// A scratch folder of this process (under /dev/shm when it exists), created
// empty on first use and removed when the process ends normally.
class ScratchFolder {
public:
    // The sub-folder `name`, emptied (created when missing).
    static std::filesystem::path Fresh(const std::string& name);
    // The sub-folder `name` filled with `files` (emptied first).
    static std::filesystem::path WithFiles(const std::string& name, const std::vector<FuzzFile>& files);
    static const std::filesystem::path& Root();
};

// Runs one fuzz iteration. The program's own errors (norrvik::Exception and
// its subclasses) are expected for damaged input and end the iteration; each
// must carry a non-empty message that is not a bare system code, else the
// process aborts (a finding). When NORRVIK_FUZZ_MESSAGES names a file, every
// distinct message (scratch paths replaced by "<dir>") is appended to it once.
// Any other exception escapes, and libFuzzer reports it.
int RunGuarded(const std::function<void()>& body);

// Aborts with `what` printed when `condition` is false: a broken invariant
// found by a target (not an error the program reports).
void Require(bool condition, const char* what);

} // namespace norrvik::fuzz
