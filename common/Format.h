// printf-style formatting into std::string ("%4.4d", "%5.3f", "%s"), built on
// std::snprintf so that no output can overrun a buffer.
#pragma once

#include "common/Platform.h"

#include <string>

namespace norrvik {

#if defined(__GNUC__)
__attribute__((format(NORRVIK_PRINTF_FORMAT, 1, 2)))
#endif
std::string Format(const char* format, ...);

} // namespace norrvik
