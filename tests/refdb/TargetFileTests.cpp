// The target side's file layer: buffered record files that read what they
// wrote, cut and sync. (Permissions, links and pipes: PosixFileKindTests.cpp.)
#include "common/Exceptions.h"
#include "common/Files.h"
#include "refdb/RecordFile.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <random>
#include <vector>

namespace norrvik {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

TEST(TargetFiles, RecordFileReadsBufferedRecordsAndCutsThem)
{
    TempFolder folder;
    const fs::path path = folder.Path() / "Comment.PDB";
    TRecordFile file;
    file.Create(path, 4);
    for (std::uint8_t n = 0; n < 3; ++n)
        file.WriteRecord(n, std::array<std::uint8_t, 4>{n, n, n, n});
    file.WriteRecord(1, std::array<std::uint8_t, 4>{9, 9, 9, 9});
    std::array<std::uint8_t, 4> record{};
    file.ReadRecord(1, record);
    EXPECT_EQ(record, (std::array<std::uint8_t, 4>{9, 9, 9, 9}));
    file.Truncate(2);
    EXPECT_EQ(file.RecordCount(), 2);
    file.Sync();
    EXPECT_EQ(test::ReadFile(path), (std::vector<std::uint8_t>{0, 0, 0, 0, 9, 9, 9, 9}));
    EXPECT_THROW(file.ReadRecord(2, record), EInOutError);
}

// Reads running through the file come from blocks read ahead: whatever mix of
// such reads, overwrites, appends and cuts, every read sees the last bytes
// written (blocks end mid-record and at the file's end, 7 not dividing them).
TEST(TargetFiles, RecordFileReadAheadSeesEveryWrite)
{
    TempFolder folder;
    TRecordFile file;
    file.Create(folder.Path() / "Data.PDB", 7);
    std::vector<std::array<std::uint8_t, 7>> model(50'000);
    std::mt19937 random(12);
    const auto write = [&](std::size_t n) {
        model[n].fill(static_cast<std::uint8_t>(random()));
        file.WriteRecord(static_cast<std::int64_t>(n), model[n]);
    };
    for (std::size_t n = 0; n < model.size(); ++n)
        write(n);
    std::size_t next = 0;
    for (int step = 0; step < 60'000; ++step) {
        const auto what = random() % 1000;
        if (what == 0) {
            model.resize(model.size() - random() % 100);
            file.Truncate(static_cast<std::int64_t>(model.size()));
        } else if (what < 20) {
            const std::size_t n = random() % (model.size() + 1);
            model.resize(std::max(model.size(), n + 1));
            write(n);
        } else if (what < 25) {
            next = random() % model.size();
        }
        next %= model.size();
        std::array<std::uint8_t, 7> record{};
        file.ReadRecord(static_cast<std::int64_t>(next), record);
        ASSERT_EQ(record, model[next]) << "record " << next << " at step " << step;
        ++next;
    }
}

} // namespace
} // namespace norrvik
