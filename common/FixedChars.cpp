// Fixed-width character fields.
#include "FixedChars.h"

#include "Exceptions.h"
#include "Format.h"
#include "Text.h"

#include <algorithm>

namespace norrvik {

std::string ReadFixedChars(ConstBytes chars, int maxLength)
{
    const std::size_t limit =
        std::min(chars.size(), static_cast<std::size_t>(std::max(maxLength, 0)));
    std::size_t length = 0;
    while (length < limit && chars[length] != 0)
        ++length;
    return Trim(std::string_view(reinterpret_cast<const char*>(chars.data()), length));
}

void WriteFixedChars(MutableBytes dest, int maxLength, std::string_view value)
{
    if (static_cast<std::size_t>(std::max(maxLength, 0)) < value.size())
        throw Exception(Format("The actual length of the string (%d) is larger than the allowed length (%d).",
                               static_cast<int>(value.size()), maxLength));
    NORRVIK_ASSERT(dest.size() >= static_cast<std::size_t>(maxLength),
                   "Fixed-width field smaller than its declared length");
    WriteStringBytes(dest, 0, value);
    if (value.size() < static_cast<std::size_t>(maxLength))
        dest[value.size()] = 0;
}

} // namespace norrvik
