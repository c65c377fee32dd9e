// What only POSIX file systems have where a database file belongs: a
// symbolic link, a pipe (FIFO), permission bits. Links and pipes are named,
// never followed or waited on; a replaced file keeps its permissions and one
// marked read-only is spared. (Windows: WindowsTargetFileTests.cpp.)
#include "common/Exceptions.h"
#include "common/Files.h"
#include "refdb/DatabaseCheck.h"
#include "refdb/ReferenceDatabase.h"
#include "CheckProblems.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace norrvik {
namespace {

namespace fs = std::filesystem;
using test::HasProblem;
using test::Joined;
using test::TempFolder;

class DatabaseCheckOfFileKinds : public ::testing::Test {
protected:
    void SetUp() override { TReferenceDatabase::CreateDatabase(dir.Text(), "PDF2")->Close(); }
    std::filesystem::path File(const char* name) const { return dir.Path() / name; }
    std::vector<std::string> Check() const { return CheckReferenceDatabase(dir.Text()); }

    TempFolder dir;
};

// A link or a pipe where a file belongs is named, never followed or waited on.
TEST_F(DatabaseCheckOfFileKinds, LinksAndPipesAreReportedByName)
{
    std::filesystem::rename(File("ReferenceDatabase.PDB"), dir.Path() / "elsewhere");
    std::filesystem::create_symlink(dir.Path() / "elsewhere", File("ReferenceDatabase.PDB"));
    EXPECT_TRUE(HasProblem(Check(), "ReferenceDatabase.PDB", "it is a symbolic link, which is never followed"));
    std::filesystem::remove(File("ReferenceDatabase.PDB"));
    std::filesystem::rename(dir.Path() / "elsewhere", File("ReferenceDatabase.PDB"));
    for (const char* name : {"Comment.PDB", "Index.PDB"}) {
        std::filesystem::remove(File(name));
        ASSERT_EQ(::mkfifo(File(name).c_str(), 0666), 0);
    }
    const auto problems = Check();
    EXPECT_TRUE(HasProblem(problems, "Comment.PDB", "it is not a regular file")) << Joined(problems);
    EXPECT_TRUE(HasProblem(problems, "Index.PDB", "it is not a regular file")) << Joined(problems);
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
