// The platform layer: the one seam between the program and the operating
// system. Every call of the core on files, folders, locks, signals, threads,
// the command line and the console goes through the classes and functions
// declared here and in the headers this layer consists of:
//
//   common/Platform.h     paths from texts, path delimiters, folder identity,
//                         the command line's arguments, the console
//   common/FileHandle.h   files (TFileHandle) and durable replacement
//   common/FolderLock.h   the lock on a database folder (TFolderLock)
//   common/StopSignals.h  the requests to stop a run (TStopSignals)
//   common/Parallel.h     work on a helper thread (RunTasksSideBySide)
//   common/LargeBuffers.h buffers of many megabytes on large pages
//                         (AdviseLargePages, declared here)
//
// Each has one implementation per platform, chosen at build time by
// common/CMakeLists.txt: common/posix/*Posix.cpp (Linux and the other POSIX
// systems) or common/windows/*Windows.cpp (Win32, wide-character calls,
// long paths). What is the same everywhere stays in the portable
// common/*.cpp files. No other file of the program asks which system it runs
// on.
//
// Exit statuses are the same numbers on both systems (0 success, 1 failure,
// 2 a command line not understood, 130 stopped by Ctrl-C or a stop request);
// see the README.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The printf archetype for format attributes: MinGW checks "printf" against
// the Microsoft printf, whose %zu and %lld it does not know; the program is
// built there with MinGW's own C99 printf (__USE_MINGW_ANSI_STDIO), which the
// archetype __MINGW_PRINTF_FORMAT names.
#if defined(__MINGW_PRINTF_FORMAT)
#define NORRVIK_PRINTF_FORMAT __MINGW_PRINTF_FORMAT
#else
#define NORRVIK_PRINTF_FORMAT printf
#endif

namespace norrvik {

// The path for a text typed by the user or read from a setting (UTF-8). On
// Windows a text that is not valid UTF-8 (an 8-bit file name read from an
// old database) is read as Windows-1252; on POSIX systems a path is bytes
// and the text is taken as it stands.
std::filesystem::path PathFromText(std::string_view utf8);
// The path as UTF-8 text, for messages and for building file names.
std::string PathText(const std::filesystem::path& path);

// True for the characters that end a folder name in a path text: '/'
// everywhere, and '\' on Windows.
bool IsPathDelimiter(char c);

// Which folder a path leads to, whatever the spelling (letter case on
// Windows, '/' or '\', a trailing delimiter, a link on the way): the device
// and inode on POSIX systems, the volume serial number and file index on
// Windows.
struct TFolderIdentity {
    std::uint64_t Volume = 0;
    std::uint64_t File = 0;
    bool operator==(const TFolderIdentity&) const = default;
};
// The identity of the folder at `path`, or nothing when there is none (a
// missing path, or one the system cannot look at).
std::optional<TFolderIdentity> IdentityOfFolder(const std::filesystem::path& path);
// True when both paths lead to one existing folder.
bool SameFolder(const std::filesystem::path& a, const std::filesystem::path& b);

// The command line's arguments as UTF-8 texts, the program's name first. On
// Windows they are taken from the wide command line (argv holds them in the
// ANSI code page, which loses every character outside it).
std::vector<std::string> CommandLineArguments(int argc, char** argv);
// Makes the console show the program's UTF-8 output as such (Windows: the
// console's output code page becomes UTF-8; elsewhere nothing to do).
void UseUtf8Console();
// True when `stream` is a terminal (a console window on Windows).
bool IsTerminal(std::FILE* stream);
// Writes `text` (UTF-8) where a console program would: to standard output,
// or standard error when `toError`, as UTF-8 when redirected; a window
// program on Windows, which has neither, writes to the console of the
// program that started it. False when there is nowhere to write.
bool WriteToStandardStream(const std::string& text, bool toError);

// While one lives, threads started by this thread take no stop signals, so
// that a stop request reaches the program's own thread (on Windows a stop
// request always arrives on a thread of its own; nothing to do).
// The number of this process: a forked child has another one, and none of
// its parent's threads.
std::uint64_t CurrentProcessId();

// Asks the system to back the memory from `data` on, `bytes` long and not
// yet written, with large pages where it has them. Fresh memory is given a
// page at its first write, and each such fault costs microseconds: a buffer
// of hundreds of megabytes would take a hundred thousand of them (Linux:
// transparent huge pages for the 2 MiB stretches within it; elsewhere
// nothing). Advice only: the memory and what it holds stay as they are.
void AdviseLargePages(void* data, std::size_t bytes);

class TNewThreadsTakeNoSignals {
public:
    TNewThreadsTakeNoSignals();
    ~TNewThreadsTakeNoSignals();
    TNewThreadsTakeNoSignals(const TNewThreadsTakeNoSignals&) = delete;
    TNewThreadsTakeNoSignals& operator=(const TNewThreadsTakeNoSignals&) = delete;

private:
    struct Saved;
    std::unique_ptr<Saved> saved_;
};

} // namespace norrvik
