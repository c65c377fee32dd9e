// Reads that go forward through a file in small pieces (records one after
// the other, a source's texts in the order of its patterns), served from one
// block of the file read at once instead of one system call each.
#pragma once

#include "common/ByteOrder.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace norrvik {

class TFileHandle;

class TReadAhead {
public:
    explicit TReadAhead(std::size_t capacity) : capacity_(capacity) {}

    // Copies the bytes at `offset` into `bytes` from the block and returns
    // true when the block holds them; first reads a new block of the file,
    // ending before `limit`, when this read starts at or after the end of the
    // last one and less than a block beyond it. Returns false when the caller
    // is to read the bytes itself (a jump back or far ahead, a read as large
    // as a block, or a file cut under the reader). Every call counts as a read.
    bool Read(const TFileHandle& file, std::uint64_t offset, MutableBytes bytes, std::uint64_t limit);
    // Drops the block when it overlaps bytes start..end-1 (they change).
    void DropOver(std::uint64_t start, std::uint64_t end);
    // Drops the block, frees its memory and forgets the last read.
    void Forget();

private:
    bool Holds(std::uint64_t offset, std::uint64_t end) const
    {
        return offset >= blockStart_ && end <= blockStart_ + block_.size();
    }
    bool GoesOn(std::uint64_t offset) const
    {
        return lastReadEnd_ != kNoRead && offset >= lastReadEnd_ && offset - lastReadEnd_ < capacity_;
    }

    std::size_t capacity_;
    std::vector<std::uint8_t> block_;
    std::uint64_t blockStart_ = 0;
    static constexpr std::uint64_t kNoRead = ~std::uint64_t{0};
    std::uint64_t lastReadEnd_ = kNoRead;
};

} // namespace norrvik
