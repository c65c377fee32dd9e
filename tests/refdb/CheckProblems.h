// Reading the database checker's problem list in the tests: whether one
// problem names a file and says something, and the whole list as text.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace norrvik::test {

inline bool HasProblem(const std::vector<std::string>& problems, const std::string& file, const std::string& part)
{
    return std::any_of(problems.begin(), problems.end(), [&](const std::string& p) {
        return p.rfind(file + ": ", 0) == 0 && p.find(part) != std::string::npos;
    });
}

inline std::string Joined(const std::vector<std::string>& problems)
{
    std::string out;
    for (const auto& p : problems)
        out += p + "\n";
    return out;
}

} // namespace norrvik::test
