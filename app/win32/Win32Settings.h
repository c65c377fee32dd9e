// The remembered choices of the Win32 window, kept in the registry under
// HKEY_CURRENT_USER\Software\Norrvik\Norrvik as text values (where Qt keeps
// the settings of an organisation and application both named Norrvik). The
// model decides what is kept; this only stores it.
#pragma once

#include "window/WindowView.h"

namespace norrvik::win32 {

class TRegistrySettings : public TWindowSettings {
public:
    std::string Value(const std::string& key) const override;
    // Each value is written at once; the registry keeps it.
    void SetValue(const std::string& key, const std::string& value) override;
    void Sync() override {}
};

} // namespace norrvik::win32
