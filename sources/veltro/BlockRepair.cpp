// Removal of the block terminators a copy from VAX/VMS may have added.
#include "sources/veltro/BlockRepair.h"

#include <algorithm>

namespace norrvik {

namespace {

constexpr std::uint8_t kLineFeed = 10;
constexpr std::uint8_t kCarriageReturn = 13;

// True when the terminator of `width` bytes starts at every position
// 512 + (512 + width) * j, j >= 0, that lies before the last byte.
bool TerminatorsEverywhere(const std::vector<std::uint8_t>& content, std::size_t width)
{
    if (content.size() < 2)
        return true;
    const std::size_t last = content.size() - 1;
    const std::size_t stride = kVaxBlockSize + width;
    for (std::size_t position = kVaxBlockSize; position < last; position += stride) {
        if (width == 1 && content[position] != kLineFeed)
            return false;
        if (width == 2 && (content[position] != kCarriageReturn || content[position + 1] != kLineFeed))
            return false;
    }
    return true;
}

// Number of blocks k >= 1 whose 512 bytes, starting at 512 * k + width * k,
// lie wholly inside the content (counting stops at the first that does not).
std::size_t MovableBlockCount(std::size_t length, std::size_t width)
{
    const std::size_t stride = kVaxBlockSize + width;
    if (length < stride + kVaxBlockSize)
        return 0;
    return (length - kVaxBlockSize) / stride;
}

} // namespace

std::size_t BlockTerminatorWidth(const std::vector<std::uint8_t>& content)
{
    if (TerminatorsEverywhere(content, 1))
        return 1;
    if (TerminatorsEverywhere(content, 2))
        return 2;
    return 0;
}

std::size_t RepairBlocks(std::vector<std::uint8_t>& content)
{
    const std::size_t width = BlockTerminatorWidth(content);
    if (width == 0)
        return content.size();
    const std::size_t moved = MovableBlockCount(content.size(), width);
    const bool wholeBlocks = content.size() > kVaxBlockSize && content.size() % kVaxBlockSize == 0;
    if (moved == 0 && wholeBlocks)
        return content.size();
    for (std::size_t k = 1; k <= moved; ++k) {
        const auto source = content.begin() + static_cast<std::ptrdiff_t>(k * (kVaxBlockSize + width));
        std::copy(source, source + static_cast<std::ptrdiff_t>(kVaxBlockSize),
                  content.begin() + static_cast<std::ptrdiff_t>(k * kVaxBlockSize));
    }
    content.resize(kVaxBlockSize * (1 + moved));
    return content.size();
}

} // namespace norrvik
