// What only Windows has where a database file belongs: a file another
// program holds open without leave to write or delete it, the read-only
// attribute. Each is refused with
// the file's name and what to do, before anything is written, and the file
// keeps its content. (POSIX: PosixFileKindTests.cpp.)
#include "common/Exceptions.h"
#include "common/Files.h"
#include "refdb/RecordFile.h"
#include "refdb/ReferenceDatabase.h"
#include "refdb/TargetCheck.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>

namespace norrvik {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

// A handle as another program would hold it: with only `share` granted to others.
struct HeldFile {
    HeldFile(const fs::path& path, DWORD access, DWORD share)
        : handle(::CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    ~HeldFile() { ::CloseHandle(handle); }
    HANDLE handle;
};

std::string MessageOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const EInOutError& error) {
        return error.what();
    }
    return "(no error)";
}

TEST(WindowsTargetFiles, AFileAnotherProgramHoldsIsNamedAndKept)
{
    TempFolder folder;
    TReferenceDatabase::CreateDatabase(folder.Text(), "PDF2")->Close();
    const fs::path name = folder.Path() / "Name.PDB";
    const std::string before = test::ReadFileText(name);
    const struct {
        DWORD access, share;
    } holders[] = {{GENERIC_READ, FILE_SHARE_READ}, {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE}};
    for (const auto& holder : holders) {
        HeldFile held(name, holder.access, holder.share);
        ASSERT_NE(held.handle, INVALID_HANDLE_VALUE);
        const std::string message =
            MessageOf([&] { CheckTargetCanBeWritten(TTypedFolder(folder.Text()), TargetUse::AddToDatabase); });
        EXPECT_NE(message.find(PathText(name)), std::string::npos) << message;
        EXPECT_NE(message.find("close the program that holds it"), std::string::npos) << message;
        EXPECT_THROW(WriteWholeFile(name, "other"), EInOutError);
        EXPECT_EQ(test::ReadFileText(name), before);
    }
    EXPECT_NO_THROW(CheckTargetCanBeWritten(TTypedFolder(folder.Text()), TargetUse::AddToDatabase));
}

TEST(WindowsTargetFiles, AFileMarkedReadOnlyIsNamedAndKept)
{
    TempFolder folder;
    const fs::path path = folder.Path() / "Name.PDB";
    test::WriteFile(path, std::string("old"));
    ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    const std::string message = MessageOf([&] { WriteWholeFile(path, "new"); });
    EXPECT_NE(message.find("read-only"), std::string::npos) << message;
    EXPECT_EQ(test::ReadFileText(path), "old");
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

} // namespace
} // namespace norrvik
