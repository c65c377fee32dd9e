// printf-style formatting into std::string.
#include "Format.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace norrvik {

std::string Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string result;
    if (needed > 0) {
        std::vector<char> buffer(static_cast<std::size_t>(needed) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        result.assign(buffer.data(), static_cast<std::size_t>(needed));
    }
    va_end(args);
    return result;
}

} // namespace norrvik
