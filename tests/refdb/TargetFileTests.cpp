// The target side's file layer: buffered record files that read what they
// wrote, cut and sync; whole-file replacement that keeps permissions, leaves
// nothing behind and spares read-only files; reads that refuse links and pipes.
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
#include <sys/stat.h>

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

TEST(TargetFiles, ReplacementKeepsPermissionsAndLeavesNoTemporaryFile)
{
    TempFolder folder;
    const fs::path path = folder.Path() / "Name.PDB";
    test::WriteFile(path, std::string("old"));
    fs::permissions(path, fs::perms(0640));
    WriteWholeFile(path, "new content");
    EXPECT_EQ(test::ReadFileText(path), "new content");
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.Path()), fs::directory_iterator()), 1);
    fs::permissions(path, fs::perms(0444)); // marked read-only: reported, not replaced
    EXPECT_THROW(WriteWholeFile(path, "other"), EInOutError);
    EXPECT_EQ(test::ReadFileText(path), "new content");
}

// A link (here to an endless device) or a pipe where a file belongs is
// refused with its name, before anything is read.
TEST(TargetFiles, ReadingRefusesLinksAndPipesByName)
{
    TempFolder folder;
    const fs::path link = folder.Path() / "Linked.PDB", pipe = folder.Path() / "Pipe.PDB";
    fs::create_symlink("/dev/zero", link);
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0666), 0);
    for (const fs::path& path : {link, pipe}) {
        try {
            ReadWholeFile(path);
            ADD_FAILURE() << path << " was read";
        } catch (const EInOutError& error) {
            EXPECT_NE(std::string(error.what()).find(path.string()), std::string::npos) << error.what();
        }
    }
    EXPECT_FALSE(ReadWholeFile(folder.Path() / "Missing.PDB"));

    // A source file may be a link: followed to a file; a pipe behind it is
    // refused once open, without waiting (a look before opening can be raced).
    const fs::path file = folder.Path() / "Real.DAT", toFile = folder.Path() / "ToFile.DAT";
    const fs::path toPipe = folder.Path() / "ToPipe.DAT";
    test::WriteFile(file, std::string("data"));
    fs::create_symlink(file, toFile);
    fs::create_symlink(pipe, toPipe);
    EXPECT_EQ(ReadFileBytes(toFile), (std::vector<std::uint8_t>{'d', 'a', 't', 'a'}));
    EXPECT_THROW(TFileHandle::Open(toPipe, FileOpening::ReadFollowingLinks), EInOutError);
}

} // namespace
} // namespace norrvik
