// Room in a std::string or std::vector about to be filled with megabytes,
// on large pages where the system has them (AdviseLargePages): the index
// files of a large database are read, built and sorted in such buffers, and
// fresh memory taken a small page at a time costs more there than the work.
#pragma once

#include "common/Platform.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <utility>

namespace norrvik {

// Buffers from this size on take the advice; below it, a few pages.
inline constexpr std::size_t kLargeBufferBytes = std::size_t{4} << 20;

// Room for `count` elements, advised when large. What the buffer already
// holds (and what a larger block was copied from) keeps its pages.
template <typename Buffer>
void ReserveLarge(Buffer& buffer, std::size_t count)
{
    buffer.reserve(count);
    const std::size_t bytes = buffer.capacity() * sizeof(typename Buffer::value_type);
    if (bytes >= kLargeBufferBytes)
        AdviseLargePages(buffer.data(), bytes);
}

// `count` elements (value-initialised beyond those held), in room reserved
// by ReserveLarge.
template <typename Buffer>
void ResizeLarge(Buffer& buffer, std::size_t count)
{
    ReserveLarge(buffer, count);
    buffer.resize(count);
}

// Room for `more` elements beyond the size, grown by doubling as the
// containers grow, into a block advised before what the buffer holds is
// moved there.
template <typename Buffer>
void ReserveLargeFor(Buffer& buffer, std::size_t more)
{
    const std::size_t needed = buffer.size() + more;
    if (needed <= buffer.capacity())
        return;
    const std::size_t count = std::max(needed, 2 * buffer.capacity());
    if (count * sizeof(typename Buffer::value_type) < kLargeBufferBytes) {
        buffer.reserve(count);
        return;
    }
    Buffer grown;
    ReserveLarge(grown, count);
    grown.insert(grown.end(), std::make_move_iterator(buffer.begin()), std::make_move_iterator(buffer.end()));
    buffer.swap(grown);
}

} // namespace norrvik
