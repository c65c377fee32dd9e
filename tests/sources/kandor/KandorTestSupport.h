// Helpers of the Kandor source tests: the message of a failing call and
// pattern files written into a temporary folder.
#pragma once

#include "support/KandorWriter.h"
#include "support/TempFolder.h"

#include <exception>
#include <functional>
#include <string>

namespace norrvik::test {

inline std::string MessageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "(no exception)";
}

// Writes `bytes` as `name` into the folder and returns the path as text.
inline std::string PutFile(const TempFolder& folder, const std::string& name,
                           const std::vector<std::uint8_t>& bytes)
{
    WriteFile(folder.Path() / name, bytes);
    return folder.Text(name);
}

} // namespace norrvik::test
