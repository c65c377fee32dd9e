// Conversions from copies of the bundled sample databases changed into
// something other than what they claim: pipes, devices and folders in a
// file's place, missing pattern files, names that point outside the folder,
// many other files, line breaks in the folder name and paths longer than the
// system takes. Each run happens in a child process bounded in time (and in
// memory where no sanitizer reserves address space), and must leave every
// file outside the target as it was.
#include "common/FolderChecks.h"
#include "common/Format.h"
#include "convert/Conversion.h"
#include "convert/ConversionSupport.h"
#include "refdb/DatabaseCheck.h"
#include "support/KandorWriter.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

namespace norrvik {
namespace {

namespace fs = std::filesystem;
using Driver = void (*)(const std::string&, const std::string&, bool&, const ProgressCallback&, TConversionSummary*);

// Run in a child: converts, killed after 10 seconds (and refused more than
// 1 GB where no sanitizer reserves address space), and ends printing
// "[<success> <entries without lines> <message>]".
void ConvertAndReport(Driver driver, const std::string& oldFolder, const std::string& newFolder)
{
    alarm(10);
#ifndef __SANITIZE_ADDRESS__
    const rlimit limit{1UL << 30, 1UL << 30};
    setrlimit(RLIMIT_AS, &limit);
#endif
    TConversionSummary summary;
    bool success = false;
    std::string message;
    try {
        driver(oldFolder, newFolder, success, {}, &summary);
    } catch (const std::exception& e) {
        message = e.what();
    }
    std::fprintf(stderr, "[%d %ld %s]", success, summary.EntriesWithoutLines, message.c_str());
    _exit(0);
}

// Every name below the folder with a link's target, a file's size and time
// of last change (a write changes it), or the kind of anything else.
std::map<std::string, std::string> TakeImage(const fs::path& folder)
{
    std::map<std::string, std::string> image;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        image[entry.path().string()] =
            entry.is_symlink() ? fs::read_symlink(entry.path()).string()
            : entry.is_regular_file() ? Format("%ju %lld", entry.file_size(), static_cast<long long>(entry.last_write_time().time_since_epoch().count()))
                                      : std::to_string(static_cast<int>(entry.status().type()));
    return image;
}

// Puts a pipe without writer (or a link to /dev/zero) in the file's place.
std::string Replace(const fs::path& path, bool pipe)
{
    fs::remove(path);
    if (pipe)
        EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
    else
        fs::create_symlink("/dev/zero", path);
    return path.parent_path().string();
}

struct HostileCase {
    const char* Name;
    const char* Sample; // the bundled sample copied as the old folder
    Driver Convert;
    std::string (*Plant)(const fs::path& old); // changes the copy; gives the old folder text
    const char* NamedFile;                     // the file the error names; nullptr: success
    long WithoutLines;
};

const HostileCase kCases[] = {
    {"KandorMissingPatternFile", "kandor", ConvertKandorDatabase, [](const fs::path& old) { fs::remove(old / "HALITE.di"); return old.string(); }, nullptr, 1},
    {"KandorIndexIsAPipe", "kandor", ConvertKandorDatabase, [](const fs::path& old) { return Replace(old / "PDDATABS.DAT", true); }, "PDDATABS\\.DAT", 0},
    {"KandorIndexIsDevZero", "kandor", ConvertKandorDatabase, [](const fs::path& old) { return Replace(old / "PDDATABS.DAT", false); }, "PDDATABS\\.DAT", 0},
    {"KandorIndexIsAFolder", "kandor", ConvertKandorDatabase, [](const fs::path& old) { fs::remove(old / "PDDATABS.DAT"); fs::create_directory(old / "PDDATABS.DAT"); return old.string(); }, "PDDATABS\\.DAT", 0},
    {"KandorPatternIsAPipe", "kandor", ConvertKandorDatabase, [](const fs::path& old) { return Replace(old / "HALITE.di", true); }, nullptr, 1},
    {"KandorPatternIsDevZero", "kandor", ConvertKandorDatabase, [](const fs::path& old) { return Replace(old / "HALITE.di", false); }, nullptr, 1},
    {"KandorBaseNameLeavesTheFolder", "kandor", ConvertKandorDatabase, [](const fs::path& old) { test::WriteFile(old / "PDDATABS.DAT", test::KandorIndexFile({{"../out/v", "a", "A"}})); return old.string(); }, nullptr, 1},
    {"KandorBeside10000OtherFiles", "kandor", ConvertKandorDatabase, [](const fs::path& old) {
         fs::rename(old / "HALITE.di", old / "halite.DI");
         for (int i = 0; i < 10000; ++i)
             test::WriteFile(old / ("other" + std::to_string(i)), std::string());
         return old.string(); }, nullptr, 0},
    {"KandorFolderTooLong", "kandor", ConvertKandorDatabase, [](const fs::path& old) { return (old / std::string(300, 'x')).string(); }, "PDDATABS\\.DAT", 0},
    {"KandorFolderNameWithLineBreaks", "kandor", ConvertKandorDatabase, [](const fs::path& old) {
         fs::rename(old, old.parent_path() / "old\nfolder\r");
         return (old.parent_path() / "old\nfolder\r").string(); }, nullptr, 0},
    {"VeltroLogIsAPipe", "veltro", ConvertVeltroDatabase, [](const fs::path& old) { return Replace(old / "uplog.pdf", true); }, "uplog\\.pdf", 0},
    {"VeltroPatternIsAPipe", "veltro", ConvertVeltroDatabase, [](const fs::path& old) { return Replace(old / "QUARTZ.di", true); }, nullptr, 1},
    {"QuorvaneIndexIsAPipe", "quorvane", ConvertQuorvaneDatabase, [](const fs::path& old) { return Replace(old / "QUORVANE.IND", true); }, "QUORVANE\\.IND", 0},
    {"QuorvaneLinesAreDevZero", "quorvane", ConvertQuorvaneDatabase, [](const fs::path& old) { return Replace(old / "QUORVANE.DIS", false); }, "QUORVANE\\.DIS", 0},
};

void PrintTo(const HostileCase& hostile, std::ostream* out) { *out << hostile.Name; }

class HostileSource : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileSource, NeverBlocksNeverReadsOutsideAndSaysWhatWentMissing)
{
    const HostileCase& param = GetParam();
    test::TempFolder root;
    test::WriteFile(root.Path() / "out" / "v.di", test::ReadFile(fs::path(NORRVIK_SAMPLES) / "kandor" / "HALITE.di"));
    fs::copy(fs::path(NORRVIK_SAMPLES) / param.Sample, root.Path() / "old");
    const std::string oldFolder = param.Plant(root.Path() / "old");
    const auto before = TakeImage(root.Path());

    const std::string expected = param.NamedFile != nullptr
                                     ? std::string("\\[0 0 Cannot read file [^]]*/") + param.NamedFile + ": "
                                     : "\\[1 " + std::to_string(param.WithoutLines) + " \\]";
    EXPECT_EXIT(ConvertAndReport(param.Convert, oldFolder, root.Text("new")), testing::ExitedWithCode(0), expected);

    auto after = TakeImage(root.Path());
    std::erase_if(after, [&](const auto& item) { return item.first.starts_with(root.Text("new")); });
    EXPECT_EQ(after, before) << "a file outside the target changed";
    if (param.NamedFile == nullptr) {
        EXPECT_EQ(test::ReadFileText(root.Path() / "new" / "Comment.PDB").find_first_of("\r\n"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileSource, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.Name); });

TEST(HostileSource, PathsTooLongAreReportedAsSuchByEveryCommand)
{
    const test::TempFolder root;
    const std::string tooLong = root.Text(std::string(300, 'x'));
    TReferenceDatabase database;
    database.SetDatabaseName(tooLong);
    std::string opening;
    try {
        database.Open();
    } catch (const Exception& e) {
        opening = e.what();
    }
    for (const std::string& message : {OldFolderMissingMessage(tooLong), opening, CheckReferenceDatabase(tooLong).at(0)})
        EXPECT_NE(message.find("too long for the system"), std::string::npos) << message;
    EXPECT_EQ(ImportCommentLine("/a\nb\r\nc"), "Imported from /a b  c");
}

} // namespace
} // namespace norrvik
