// Wide texts, long paths and error texts for the Win32 implementation.
#include "common/windows/WidePaths.h"

namespace norrvik::windows {

const char* const kHeldOpenReason =
    "another program holds the file open (the search software, perhaps); close the program that holds it and "
    "try again";

std::wstring WideFromUtf8(std::string_view utf8)
{
    if (utf8.empty())
        return {};
    const int size = static_cast<int>(utf8.size());
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
    return wide;
}

std::string Utf8FromWide(std::wstring_view wide)
{
    if (wide.empty())
        return {};
    const int size = static_cast<int>(wide.size());
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), length, nullptr, nullptr);
    return utf8;
}

std::wstring LongPath(const std::filesystem::path& path)
{
    std::wstring text = path.native();
    if (text.rfind(L"\\\\?\\", 0) == 0)
        return text;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error)
        return text;
    text = absolute.lexically_normal().make_preferred().native();
    if (text.rfind(L"\\\\", 0) == 0) // \\server\share\...
        return L"\\\\?\\UNC\\" + text.substr(2);
    return L"\\\\?\\" + text;
}

std::string ErrorText(DWORD error)
{
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
        0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length != 0 ? std::wstring(buffer, length) : std::wstring();
    if (buffer != nullptr)
        ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.' || text.back() == L' '))
        text.pop_back();
    return text.empty() ? "system error " + std::to_string(error) : Utf8FromWide(text);
}

bool HeldByAnotherProgram(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

} // namespace norrvik::windows
