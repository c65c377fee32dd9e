// Removal of block terminators from files copied from VAX/VMS.
#include "sources/veltro/BlockRepair.h"

#include "support/VeltroWriter.h"

#include <gtest/gtest.h>

namespace norrvik {
namespace {

using test::VeltroBlockEnds;
using test::WithBlockEnds;

// `blocks` blocks, every byte telling its block and position (never 10 or 13
// at the block starts, so no unterminated content looks terminated).
std::vector<std::uint8_t> NumberedBlocks(std::size_t blocks)
{
    std::vector<std::uint8_t> bytes(blocks * 512);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(20 + (i / 512) * 7 + (i % 200));
    return bytes;
}

TEST(BlockRepair, TerminatedCopiesGiveTheOriginalBlocks)
{
    for (std::size_t blocks : {2u, 3u, 5u}) {
        const auto original = NumberedBlocks(blocks);
        for (VeltroBlockEnds ends : {VeltroBlockEnds::LineFeed, VeltroBlockEnds::CarriageReturnLineFeed}) {
            auto copy = WithBlockEnds(original, ends);
            EXPECT_EQ(BlockTerminatorWidth(copy), ends == VeltroBlockEnds::LineFeed ? 1u : 2u);
            EXPECT_EQ(RepairBlocks(copy), original.size());
            EXPECT_EQ(copy, original) << blocks << " blocks";
            // Without the last block's terminator the result is the same.
            copy = WithBlockEnds(original, ends);
            copy.resize(copy.size() - (ends == VeltroBlockEnds::LineFeed ? 1 : 2));
            RepairBlocks(copy);
            EXPECT_EQ(copy, original);
        }
        auto unterminated = original;
        EXPECT_EQ(RepairBlocks(unterminated), original.size());
        EXPECT_EQ(unterminated, original);
    }
}

TEST(BlockRepair, ShortAndTrailingPiecesGiveWholeBlocks)
{
    // Two blocks with a line feed after the first: 1 025 bytes -> 1 024.
    auto log = WithBlockEnds(NumberedBlocks(2), VeltroBlockEnds::LineFeed);
    log.resize(1025);
    EXPECT_EQ(RepairBlocks(log), 1024u);
    EXPECT_EQ(log, NumberedBlocks(2));

    // A trailing piece shorter than a block after terminated blocks is dropped.
    auto withTail = WithBlockEnds(NumberedBlocks(2), VeltroBlockEnds::CarriageReturnLineFeed);
    withTail.insert(withTail.end(), 300, 0x55);
    EXPECT_EQ(RepairBlocks(withTail), 1024u);
    EXPECT_EQ(withTail, NumberedBlocks(2));

    // At most one block: one block, the missing bytes zero.
    for (std::size_t size : {0u, 1u, 200u, 512u, 513u}) {
        std::vector<std::uint8_t> content(size, 0x41);
        EXPECT_EQ(RepairBlocks(content), 512u) << size;
        ASSERT_EQ(content.size(), 512u);
        for (std::size_t i = 0; i < 512; ++i)
            ASSERT_EQ(content[i], i < size ? 0x41 : 0) << size << " at " << i;
    }
}

TEST(BlockRepair, UnterminatedWholeBlocksWithATerminatorValueStayAsTheyAre)
{
    // Byte 512 is 10 (a first line count of 10): the copy looks line-feed
    // terminated, but no block would move, so the content is kept.
    auto twoBlocks = NumberedBlocks(2);
    twoBlocks[512] = 10;
    twoBlocks[513] = 0;
    const auto expected = twoBlocks;
    EXPECT_EQ(RepairBlocks(twoBlocks), 1024u);
    EXPECT_EQ(twoBlocks, expected);

    auto crlf = NumberedBlocks(2);
    crlf[512] = 13;
    crlf[513] = 10;
    const auto crlfExpected = crlf;
    EXPECT_EQ(RepairBlocks(crlf), 1024u);
    EXPECT_EQ(crlf, crlfExpected);

    // Content that is no whole number of blocks and has no terminators stays.
    auto odd = NumberedBlocks(2);
    odd.resize(700);
    const auto oddExpected = odd;
    EXPECT_EQ(RepairBlocks(odd), 700u);
    EXPECT_EQ(odd, oddExpected);
}

} // namespace
} // namespace norrvik
