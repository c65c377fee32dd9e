// Conversions from source folders that hold something other than what they
// claim: pipes, devices and folders in a file's place, missing pattern files,
// names that point outside the folder, many other files, line breaks in the
// folder name and paths longer than the system takes. Each run happens in a
// child process bounded in time (and in memory where no sanitizer reserves
// address space), and must leave every file outside the target as it was.
#include "common/FolderChecks.h"
#include "common/Format.h"
#include "convert/Conversion.h"
#include "convert/ConversionSupport.h"
#include "refdb/DatabaseCheck.h"
#include "support/KandorWriter.h"
#include "support/QuorvaneWriter.h"
#include "support/TempFolder.h"
#include "support/VeltroWriter.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <sstream>

namespace norrvik {
namespace {

namespace fs = std::filesystem;
using Driver = void (*)(const std::string&, const std::string&, bool&, const ProgressCallback&, ConversionSummary*);

// Runs the conversion in a child killed after 10 seconds (and refused more
// than 1 GB where no sanitizer reserves address space); the child leaves
// "<success> <entries without lines> <message>" in the file `report`.
std::string RunBounded(Driver driver, const std::string& oldFolder, const std::string& newFolder, const fs::path& report)
{
    const pid_t child = fork();
    if (child == 0) {
        alarm(10);
#ifndef __SANITIZE_ADDRESS__
        const rlimit limit{1UL << 30, 1UL << 30};
        setrlimit(RLIMIT_AS, &limit);
#endif
        ConversionSummary summary;
        bool success = false;
        std::string message;
        try {
            driver(oldFolder, newFolder, success, {}, &summary);
        } catch (const std::exception& e) {
            message = e.what();
        }
        test::WriteFile(report, Format("%d %ld ", success, summary.entriesWithoutLines) + message);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status)) << "stopped by the time or memory limit";
    return test::ReadFileText(report);
}

// Every name below the folder: a link's target, a file's size and time of
// last change (a write changes it), or the kind of anything else.
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

// Kandor: QUARTZ with its pattern file, NOFILE without.
void WriteKandor(const fs::path& old)
{
    std::vector<test::KandorEntryData> entries(2);
    entries[0].entry = {"QUARTZ", "quartz", "Si O2"};
    entries[0].peaks = {test::KandorPeakAt(26.64, 900, 25)};
    entries[1].entry = {"NOFILE", "no lines", "H2 O"};
    entries[1].writePatternFile = false;
    test::WriteKandorDatabase(old, entries);
}

// Veltro: QUARTZ with its pattern file, MISSING without.
void WriteVeltro(const fs::path& old)
{
    test::WriteVeltroFile(old, "uplog.pdf", test::VeltroLogBytes({{"QUARTZ", {'S', 'i'}, "q"}, {"MISSING", {'X'}, "m"}}));
    test::WriteVeltroFile(old, "QUARTZ.di", test::VeltroPatternBytes(1.5406, {{4000, 100, 0}}));
}

void WriteQuorvane(const fs::path& old)
{
    test::QuorvaneDatabase database;
    database.patterns = {test::MakeQuorvanePattern("05-0490", "q~M~", "Si O2", {{3.3, 100}})};
    test::WriteQuorvaneDatabase(old, database);
}

// What takes a file's place: a pipe without writer, or a link to /dev/zero.
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
    const char* name;
    void (*write)(const fs::path& old);
    Driver driver;
    std::string (*plant)(const fs::path& old); // changes the source; gives the old folder text to convert
    const char* namedFile;                     // the file the error names; nullptr: the conversion succeeds
    long withoutLines;
};

const HostileCase kCases[] = {
    {"KandorMissingPatternFile", WriteKandor, ConvertKandorDatabase, [](const fs::path& old) { return old.string(); }, nullptr, 1},
    {"KandorIndexIsAPipe", WriteKandor, ConvertKandorDatabase, [](const fs::path& old) { return Replace(old / "PDDATABS.DAT", true); }, "PDDATABS.DAT", 0},
    {"KandorIndexIsDevZero", WriteKandor, ConvertKandorDatabase, [](const fs::path& old) { return Replace(old / "PDDATABS.DAT", false); }, "PDDATABS.DAT", 0},
    {"KandorIndexIsAFolder", WriteKandor, ConvertKandorDatabase, [](const fs::path& old) { fs::remove(old / "PDDATABS.DAT"); fs::create_directory(old / "PDDATABS.DAT"); return old.string(); }, "PDDATABS.DAT", 0},
    {"KandorPatternIsAPipe", WriteKandor, ConvertKandorDatabase, [](const fs::path& old) { return Replace(old / "QUARTZ.di", true); }, nullptr, 2},
    {"KandorPatternIsDevZero", WriteKandor, ConvertKandorDatabase, [](const fs::path& old) { return Replace(old / "QUARTZ.di", false); }, nullptr, 2},
    {"KandorBaseNamesLeaveTheFolder", WriteKandor, ConvertKandorDatabase, [](const fs::path& old) {
         test::WriteFile(old / "sub" / "X.di", test::ReadFile(old / "QUARTZ.di"));
         test::WriteFile(old / "PDDATABS.DAT", test::KandorIndexFile({{"../out/v", "a", "A"}, {"sub/X", "b", "B"}, {"sub\\X", "c", "C"}}));
         return old.string(); }, nullptr, 3},
    {"KandorBeside10000OtherFiles", WriteKandor, ConvertKandorDatabase, [](const fs::path& old) {
         fs::rename(old / "QUARTZ.di", old / "quartz.DI");
         for (int i = 0; i < 10000; ++i)
             test::WriteFile(old / ("other" + std::to_string(i)), std::string());
         return old.string(); }, nullptr, 1},
    {"KandorFolderTooLong", WriteKandor, ConvertKandorDatabase, [](const fs::path& old) { return (old / std::string(300, 'x')).string(); }, "PDDATABS.DAT", 0},
    {"KandorFolderNameWithLineBreaks", WriteKandor, ConvertKandorDatabase, [](const fs::path& old) {
         fs::rename(old, old.parent_path() / "old\nfolder\r");
         return (old.parent_path() / "old\nfolder\r").string(); }, nullptr, 1},
    {"VeltroLogIsAPipe", WriteVeltro, ConvertVeltroDatabase, [](const fs::path& old) { return Replace(old / "uplog.pdf", true); }, "uplog.pdf", 0},
    {"VeltroPatternIsAPipe", WriteVeltro, ConvertVeltroDatabase, [](const fs::path& old) { return Replace(old / "QUARTZ.di", true); }, nullptr, 2},
    {"QuorvaneIndexIsAPipe", WriteQuorvane, ConvertQuorvaneDatabase, [](const fs::path& old) { return Replace(old / "QUORVANE.IND", true); }, "QUORVANE.IND", 0},
    {"QuorvaneLinesAreDevZero", WriteQuorvane, ConvertQuorvaneDatabase, [](const fs::path& old) { return Replace(old / "QUORVANE.DIS", false); }, "QUORVANE.DIS", 0},
};

class HostileSource : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileSource, NeverBlocksNeverReadsOutsideAndSaysWhatWentMissing)
{
    const HostileCase& param = GetParam();
    test::TempFolder root;
    test::WriteFile(root.Path() / "out" / "v.di", test::KandorPeakListFile({}, {test::KandorPeakAt(40, 100)}));
    param.write(root.Path() / "old");
    const std::string oldFolder = param.plant(root.Path() / "old");
    const auto before = TakeImage(root.Path());

    std::istringstream outcome(RunBounded(param.driver, oldFolder, root.Text("new"), root.Path() / "report"));
    int success = -1;
    long withoutLines = -1;
    std::string message;
    std::getline(outcome >> success >> withoutLines >> std::ws, message, '\0');

    auto after = TakeImage(root.Path());
    std::erase_if(after, [&](const auto& item) { return item.first.starts_with(root.Text("new")) || item.first.ends_with("report"); });
    EXPECT_EQ(after, before) << "a file outside the target changed";
    EXPECT_EQ(success, param.namedFile == nullptr) << message;
    if (param.namedFile != nullptr) {
        EXPECT_EQ(message.rfind("Cannot read file " + oldFolder + "/" + param.namedFile + ": ", 0), 0u) << message;
        return;
    }
    EXPECT_EQ(withoutLines, param.withoutLines);
    const std::string comments = test::ReadFileText(root.Path() / "new" / "Comment.PDB");
    EXPECT_EQ(comments.find_first_of("\r\n"), std::string::npos) << "a line break in a comment line";
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileSource, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.name); });

TEST(HostileSource, PathsTooLongAreReportedAsSuchByEveryCommand)
{
    test::TempFolder root;
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
