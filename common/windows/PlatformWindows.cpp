// The platform layer's paths, folder identity, command line and console on
// Windows.
#include "common/Platform.h"

#include "common/Text.h"
#include "common/windows/WidePaths.h"

#include <shellapi.h>

#include <io.h>

namespace norrvik {

namespace {

bool IsValidUtf8(std::string_view text)
{
    return ValidUtf8(text) == text;
}

} // namespace

std::filesystem::path PathFromText(std::string_view utf8)
{
    // An 8-bit name from an old database (Windows-1252) is read as such.
    const std::string text = IsValidUtf8(utf8) ? std::string(utf8) : Windows1252ToUtf8(utf8);
    return std::filesystem::path(windows::WideFromUtf8(text));
}

bool IsPathDelimiter(char c)
{
    return c == '/' || c == '\\';
}

std::optional<TFolderIdentity> IdentityOfFolder(const std::filesystem::path& path)
{
    const windows::TOwnedHandle folder(::CreateFileW(windows::LongPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!folder.Valid() || !::GetFileInformationByHandle(folder.Get(), &information) ||
        !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    return TFolderIdentity{information.dwVolumeSerialNumber,
                          (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
}

std::vector<std::string> CommandLineArguments(int argc, char** argv)
{
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i)
        arguments.push_back(windows::Utf8FromWide(wide[i]));
    ::LocalFree(wide);
    return arguments;
}

void AdviseLargePages(void*, std::size_t)
{
    // Large pages on Windows need a privilege that ordinary accounts lack,
    // and are given only at allocation: small pages, as before.
}

void UseUtf8Console()
{
    ::SetConsoleOutputCP(CP_UTF8);
}

bool IsTerminal(std::FILE* stream)
{
    return ::_isatty(::_fileno(stream)) != 0;
}

bool WriteToStandardStream(const std::string& text, bool toError)
{
    HANDLE stream = ::GetStdHandle(toError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    HANDLE attached = INVALID_HANDLE_VALUE; // the starter's console, closed again below
    if ((stream == nullptr || stream == INVALID_HANDLE_VALUE) && ::AttachConsole(ATTACH_PARENT_PROCESS)) {
        attached = ::CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        stream = attached;
    }
    if (stream == nullptr || stream == INVALID_HANDLE_VALUE)
        return false;
    DWORD mode = 0;
    DWORD written = 0;
    bool done = false;
    if (::GetConsoleMode(stream, &mode)) {
        const std::wstring wide = windows::WideFromUtf8(text);
        done = ::WriteConsoleW(stream, wide.c_str(), static_cast<DWORD>(wide.size()), &written, nullptr) != 0;
    } else {
        done = ::WriteFile(stream, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0;
    }
    if (attached != INVALID_HANDLE_VALUE)
        ::CloseHandle(attached);
    return done;
}

// Console control events arrive on a thread of their own: no mask to set.
std::uint64_t CurrentProcessId()
{
    return GetCurrentProcessId();
}

struct TNewThreadsTakeNoSignals::Saved {};

TNewThreadsTakeNoSignals::TNewThreadsTakeNoSignals() = default;
TNewThreadsTakeNoSignals::~TNewThreadsTakeNoSignals() = default;

} // namespace norrvik
