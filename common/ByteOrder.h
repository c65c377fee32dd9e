// Little-endian values read from and written to byte arrays, byte by byte
// with shifts, so that the host's byte order and alignment never matter.
// Every accessor checks that the value lies inside the array and throws
// EAssertionFailed otherwise: a count or offset read from a file can never
// lead to a read or write outside the buffer. Readers check sizes first and
// report damaged files with their own messages; this check is the last guard.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace norrvik {

using ConstBytes = std::span<const std::uint8_t>;
using MutableBytes = std::span<std::uint8_t>;

// The bytes of a text, for writing it to a file.
inline ConstBytes BytesOf(std::string_view text)
{
    return ConstBytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// Throws EAssertionFailed for a byte range outside a buffer of `length` bytes.
[[noreturn]] void ThrowByteRangeError(std::size_t length, std::size_t offset, std::size_t size);

// Throws EAssertionFailed unless [offset, offset + size) lies in a buffer of `length` bytes.
// Always inline, also when optimising for size, so the compiler sees that no
// access follows a failed check (and warns of none).
[[gnu::always_inline]] inline void CheckByteRange(std::size_t length, std::size_t offset, std::size_t size)
{
    if (offset > length || size > length - offset)
        ThrowByteRangeError(length, offset, size);
}

inline std::uint8_t ReadU8(ConstBytes bytes, std::size_t offset)
{
    CheckByteRange(bytes.size(), offset, 1);
    return bytes[offset];
}

inline std::uint16_t ReadU16LE(ConstBytes bytes, std::size_t offset)
{
    CheckByteRange(bytes.size(), offset, 2);
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

inline std::uint32_t ReadU32LE(ConstBytes bytes, std::size_t offset)
{
    CheckByteRange(bytes.size(), offset, 4);
    return static_cast<std::uint32_t>(bytes[offset]) |
           (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

inline std::uint64_t ReadU64LE(ConstBytes bytes, std::size_t offset)
{
    CheckByteRange(bytes.size(), offset, 8);
    return static_cast<std::uint64_t>(ReadU32LE(bytes, offset)) |
           (static_cast<std::uint64_t>(ReadU32LE(bytes, offset + 4)) << 32);
}

inline std::int8_t ReadI8(ConstBytes bytes, std::size_t offset)
{
    return static_cast<std::int8_t>(ReadU8(bytes, offset));
}

inline std::int16_t ReadI16LE(ConstBytes bytes, std::size_t offset)
{
    return static_cast<std::int16_t>(ReadU16LE(bytes, offset));
}

inline std::int32_t ReadI32LE(ConstBytes bytes, std::size_t offset)
{
    return static_cast<std::int32_t>(ReadU32LE(bytes, offset));
}

inline float ReadF32LE(ConstBytes bytes, std::size_t offset)
{
    return std::bit_cast<float>(ReadU32LE(bytes, offset));
}

inline double ReadF64LE(ConstBytes bytes, std::size_t offset)
{
    return std::bit_cast<double>(ReadU64LE(bytes, offset));
}

// A table of `count` little-endian values of T (an integer or float type)
// at `offset`, its whole range checked once: a loop over millions of table
// rows reads each value with one load. Rows past the end are refused.
template <typename T>
class TLittleEndianTable {
public:
    TLittleEndianTable(ConstBytes bytes, std::size_t offset, std::size_t count)
        : values_((CheckByteRange(bytes.size(), offset, sizeof(T) * count), bytes.subspan(offset, sizeof(T) * count)))
    {
    }

    std::size_t size() const { return values_.size() / sizeof(T); }

    T operator[](std::size_t row) const
    {
        static_assert(sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8);
        using Bits = std::conditional_t<sizeof(T) == 2, std::uint16_t,
                                        std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>;
        if (row >= size())
            ThrowByteRangeError(values_.size(), sizeof(T) * row, sizeof(T));
        Bits bits;
        std::memcpy(&bits, values_.data() + sizeof(T) * row, sizeof bits);
        if constexpr (std::endian::native == std::endian::big)
            bits = ByteSwapped(bits);
        return std::bit_cast<T>(bits);
    }

private:
    template <typename Bits>
    static Bits ByteSwapped(Bits bits)
    {
        Bits swapped = 0;
        for (std::size_t i = 0; i < sizeof bits; ++i, bits >>= 8)
            swapped = static_cast<Bits>(swapped << 8 | (bits & 0xff));
        return swapped;
    }

    ConstBytes values_;
};

inline void WriteU8(MutableBytes bytes, std::size_t offset, std::uint8_t value)
{
    CheckByteRange(bytes.size(), offset, 1);
    bytes[offset] = value;
}

inline void WriteU16LE(MutableBytes bytes, std::size_t offset, std::uint16_t value)
{
    CheckByteRange(bytes.size(), offset, 2);
    bytes[offset] = static_cast<std::uint8_t>(value);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void WriteU32LE(MutableBytes bytes, std::size_t offset, std::uint32_t value)
{
    CheckByteRange(bytes.size(), offset, 4);
    for (std::size_t i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void WriteU64LE(MutableBytes bytes, std::size_t offset, std::uint64_t value)
{
    CheckByteRange(bytes.size(), offset, 8);
    for (std::size_t i = 0; i < 8; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void WriteI8(MutableBytes bytes, std::size_t offset, std::int8_t value)
{
    WriteU8(bytes, offset, static_cast<std::uint8_t>(value));
}

inline void WriteI16LE(MutableBytes bytes, std::size_t offset, std::int16_t value)
{
    WriteU16LE(bytes, offset, static_cast<std::uint16_t>(value));
}

inline void WriteI32LE(MutableBytes bytes, std::size_t offset, std::int32_t value)
{
    WriteU32LE(bytes, offset, static_cast<std::uint32_t>(value));
}

inline void WriteF32LE(MutableBytes bytes, std::size_t offset, float value)
{
    WriteU32LE(bytes, offset, std::bit_cast<std::uint32_t>(value));
}

inline void WriteF64LE(MutableBytes bytes, std::size_t offset, double value)
{
    WriteU64LE(bytes, offset, std::bit_cast<std::uint64_t>(value));
}

// The `size` bytes at `offset` as a string, every byte kept (NULs included).
std::string ReadBytesAsString(ConstBytes bytes, std::size_t offset, std::size_t size);
// Copies the bytes of `text` to `offset`; the range must lie in the buffer.
void WriteStringBytes(MutableBytes bytes, std::size_t offset, std::string_view text);

} // namespace norrvik
