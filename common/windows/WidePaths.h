// Helpers of the Win32 implementation of the platform layer (only
// common/windows/*.cpp include it, and the Win32 window for its wide texts):
// wide texts, long paths, the system's error texts, and the message for a
// file another program holds open.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace norrvik::windows {

std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);

// The path for the wide file calls: absolute, with '\' only, and with the
// "\\?\" prefix, so that a path longer than MAX_PATH still works.
std::wstring LongPath(const std::filesystem::path& path);

// The system's text for an error code (UTF-8, without its line end).
std::string ErrorText(DWORD error);

// True for the errors a file gives while another program holds it open.
bool HeldByAnotherProgram(DWORD error);
// The reason given for such a file.
extern const char* const kHeldOpenReason;

// An owned handle (RAII), for the calls that need one only for a while.
class TOwnedHandle {
public:
    explicit TOwnedHandle(HANDLE handle) : handle_(handle) {}
    ~TOwnedHandle()
    {
        if (Valid())
            ::CloseHandle(handle_);
    }
    TOwnedHandle(const TOwnedHandle&) = delete;
    TOwnedHandle& operator=(const TOwnedHandle&) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

} // namespace norrvik::windows
