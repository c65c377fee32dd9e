// Range check and string copies of the little-endian byte helpers.
#include "ByteOrder.h"

#include "Exceptions.h"
#include "Format.h"

namespace norrvik {

void ThrowByteRangeError(std::size_t length, std::size_t offset, std::size_t size)
{
    throw EAssertionFailed(Format("Byte range %zu+%zu outside a buffer of %zu bytes", offset, size, length),
                           __FILE__, __LINE__);
}

std::string ReadBytesAsString(ConstBytes bytes, std::size_t offset, std::size_t size)
{
    CheckByteRange(bytes.size(), offset, size);
    return std::string(reinterpret_cast<const char*>(bytes.data() + offset), size);
}

void WriteStringBytes(MutableBytes bytes, std::size_t offset, std::string_view text)
{
    CheckByteRange(bytes.size(), offset, text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(text[i]);
}

} // namespace norrvik
