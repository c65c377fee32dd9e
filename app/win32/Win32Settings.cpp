// The registry values of the remembered choices.
#include "app/win32/Win32Settings.h"

#include "app/win32/Win32Dialogs.h"

#include <windows.h>

namespace norrvik::win32 {

namespace {

constexpr const wchar_t* kKey = L"Software\\Norrvik\\Norrvik";

} // namespace

std::string TRegistrySettings::Value(const std::string& key) const
{
    const std::wstring name = Wide(key);
    DWORD bytes = 0;
    if (::RegGetValueW(HKEY_CURRENT_USER, kKey, name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
            ERROR_SUCCESS ||
        bytes < sizeof(wchar_t))
        return {};
    std::wstring value(bytes / sizeof(wchar_t), L'\0');
    if (::RegGetValueW(HKEY_CURRENT_USER, kKey, name.c_str(), RRF_RT_REG_SZ, nullptr, value.data(), &bytes) !=
        ERROR_SUCCESS)
        return {};
    value.resize(bytes / sizeof(wchar_t) - 1); // without the terminating zero
    return Utf8(value);
}

void TRegistrySettings::SetValue(const std::string& key, const std::string& value)
{
    const std::wstring text = Wide(value);
    // A value that cannot be kept is only not remembered.
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kKey, Wide(key).c_str(), REG_SZ, text.c_str(),
                      static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

} // namespace norrvik::win32
