// Blocks read ahead for reads that go forward through a file.
#include "common/ReadAhead.h"

#include "common/FileHandle.h"

#include <algorithm>
#include <cstring>

namespace norrvik {

bool TReadAhead::Read(const TFileHandle& file, std::uint64_t offset, MutableBytes bytes, std::uint64_t limit)
{
    const std::uint64_t end = offset + bytes.size();
    const bool goesOn = GoesOn(offset);
    lastReadEnd_ = end;
    if (bytes.empty())
        return false;
    if (!Holds(offset, end)) {
        if (!goesOn || bytes.size() >= capacity_ || end > limit)
            return false;
        block_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(limit, offset + capacity_) - offset));
        blockStart_ = offset;
        // A file cut under the reader keeps what could be read: the read
        // itself then fails as it would without a block.
        block_.resize(file.ReadSomeAt(offset, block_));
        if (!Holds(offset, end))
            return false;
    }
    std::memcpy(bytes.data(), block_.data() + (offset - blockStart_), bytes.size());
    return true;
}

void TReadAhead::DropOver(std::uint64_t start, std::uint64_t end)
{
    if (start < blockStart_ + block_.size() && end > blockStart_)
        block_.clear();
}

void TReadAhead::Forget()
{
    block_ = std::vector<std::uint8_t>();
    lastReadEnd_ = kNoRead;
}

} // namespace norrvik
