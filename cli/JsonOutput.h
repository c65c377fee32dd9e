// Machine-readable output of norrvik-cli: one JSON document per command on
// stdout. Texts that are not valid UTF-8 (a path typed in another code page)
// are written with the replacement character rather than failing.
#pragma once

#include <nlohmann/json.hpp>

#include <ostream>

namespace norrvik {

inline std::string JsonText(const nlohmann::json& value)
{
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

inline void WriteJson(std::ostream& out, const nlohmann::json& value)
{
    out << JsonText(value) << '\n';
}

} // namespace norrvik
