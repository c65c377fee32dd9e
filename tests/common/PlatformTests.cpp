// The platform layer's paths: one folder however it is spelt (and on
// Windows whatever the letter case or delimiter), the trailing delimiter
// that is already there, 8-bit names from old databases; buffers grown on
// large pages.
#include "common/Files.h"
#include "common/LargeBuffers.h"
#include "common/Platform.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

namespace norrvik {
namespace {

namespace fs = std::filesystem;

TEST(Platform, SameFolderHoweverItIsSpelt)
{
    const test::TempFolder temp;
    fs::create_directory(temp.Path() / "Kandor");
    fs::create_directory(temp.Path() / "other");
    test::WriteFile(temp.Path() / "file", std::string("x"));
    const std::string folder = PathText(temp.Path() / "Kandor");
    const bool windows = IsPathDelimiter('\\');
    std::string upper = folder, slashes = folder;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return std::toupper(c); });
    std::replace(slashes.begin(), slashes.end(), '\\', '/');
    const struct {
        std::string a, b;
        bool same;
    } cases[] = {
        {folder, folder + "/", true},
        {folder, folder + "/.", true},
        {folder, PathText(temp.Path() / "other" / ".." / "Kandor"), true},
        {folder, IncludeTrailingPathDelimiter(folder), true},
        {folder, PathText(temp.Path() / "other"), false},
        {folder, PathText(temp.Path() / "missing"), false},
        {PathText(temp.Path() / "missing"), PathText(temp.Path() / "missing"), false},
        {PathText(temp.Path() / "file"), PathText(temp.Path() / "file"), false},
        {folder, upper, windows},
        {folder, slashes, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SameFolder(PathFromText(c.a), PathFromText(c.b)), c.same) << c.a << " | " << c.b;
}

TEST(Platform, DelimitersAndEightBitNames)
{
    const bool windows = IsPathDelimiter('\\');
    EXPECT_EQ(IncludeTrailingPathDelimiter("C:/data/db/"), "C:/data/db/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("C:\\data\\db\\"), windows ? "C:\\data\\db\\" : "C:\\data\\db\\/");
    EXPECT_EQ(IncludeTrailingPathDelimiter(""), "");
    // "\xC4RZ.di" is a Kandor name in Windows-1252 (ÄRZ.di): a POSIX path
    // keeps the bytes, a Windows path the character.
    const fs::path name = PathFromText("\xC4RZ.di");
    EXPECT_EQ(PathText(name), windows ? "\xC3\x84RZ.di" : "\xC4RZ.di");
    EXPECT_EQ(PathText(PathFromText("\xC3\x84RZ.di")), "\xC3\x84RZ.di");
}

// Grown through advised blocks past the size from which the advice is
// taken, texts and elements owning memory keep all they held, in order; the
// advice on written memory, at any alignment, changes none of it.
TEST(Platform, LargeBuffersKeepWhatTheyHold)
{
    const auto piece = [](std::size_t n) { return std::to_string(n) + std::string(n % 40, 'x'); };
    std::string text;
    std::string expected;
    std::vector<std::string> owned;
    const std::size_t count = 3 * kLargeBufferBytes / 64;
    for (std::size_t n = 0; n < count; ++n) {
        ReserveLargeFor(text, piece(n).size());
        text += piece(n);
        expected += piece(n);
        ReserveLargeFor(owned, 1);
        owned.push_back(piece(n));
    }
    AdviseLargePages(text.data() + 1, text.size() - 1);
    EXPECT_EQ(text, expected);
    ASSERT_EQ(owned.size(), count);
    for (std::size_t n = 0; n < count; n += 997)
        EXPECT_EQ(owned[n], piece(n));
}

} // namespace
} // namespace norrvik
