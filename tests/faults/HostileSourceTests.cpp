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

namespace norrvik {
namespace {

namespace fs = std::filesystem;
using Image = std::map<std::string, std::vector<std::uint8_t>>;

using Driver = void (*)(const std::string&, const std::string&, bool&, const ProgressCallback&, ConversionSummary*);

struct Outcome {
    int success = 0;
    long added = 0;
    long withoutLines = 0;
    std::string message;
};

// Runs the conversion in a child killed after 10 seconds; its outcome comes back through a pipe.
Outcome RunBounded(Driver driver, const std::string& oldFolder, const std::string& newFolder)
{
    int pipeEnds[2];
    EXPECT_EQ(pipe(pipeEnds), 0);
    const pid_t child = fork();
    if (child == 0) {
        alarm(10);
#ifndef __SANITIZE_ADDRESS__
        const rlimit limit{1UL << 30, 1UL << 30};
        setrlimit(RLIMIT_AS, &limit);
#endif
        Outcome outcome;
        ConversionSummary summary;
        bool success = false;
        try {
            driver(oldFolder, newFolder, success, {}, &summary);
        } catch (const std::exception& e) {
            outcome.message = e.what();
        }
        const std::string text = Format("%d %ld %ld ", success, summary.added, summary.entriesWithoutLines) + outcome.message;
        _exit(write(pipeEnds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1);
    }
    close(pipeEnds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "stopped by time or memory limit";
    Outcome outcome;
    int consumed = 0;
    std::sscanf(text.c_str(), "%d %ld %ld %n", &outcome.success, &outcome.added, &outcome.withoutLines, &consumed);
    outcome.message = text.substr(static_cast<std::size_t>(consumed));
    return outcome;
}

Image TakeImage(const fs::path& folder)
{
    Image image;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            image[entry.path().string()] = test::ReadFile(entry.path());
    return image;
}

// Kandor: QUARTZ and CALCITE with pattern files, NOFILE without.
void WriteKandor(const fs::path& old)
{
    std::vector<test::KandorEntryData> entries(3);
    entries[0].entry = {"QUARTZ", "quartz", "Si O2"};
    entries[0].peaks = {test::KandorPeakAt(26.64, 900, 25)};
    entries[1].entry = {"CALCITE", "calcite", "Ca C O3"};
    entries[1].peaks = {test::KandorPeakAt(29.4, 400, 4)};
    entries[2].entry = {"NOFILE", "no lines", "H2 O"};
    entries[2].writePatternFile = false;
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
    database.patterns = {test::MakeQuorvanePattern("05-0490", "quartz~M~", "Si O2", {{3.343, 100}})};
    test::WriteQuorvaneDatabase(old, database);
}

void Pipe(const fs::path& path)
{
    fs::remove(path);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
}

void DevZero(const fs::path& path)
{
    fs::remove(path);
    fs::create_symlink("/dev/zero", path);
}

struct HostileCase {
    const char* name;
    void (*write)(const fs::path& old);
    Driver driver;
    // Changes the source after `write`; returns the old folder text to convert.
    std::string (*plant)(const fs::path& old);
    const char* namedFile; // the file the error names; nullptr: the conversion succeeds
    long withoutLines;
};

const HostileCase kCases[] = {
    {"KandorMissingPatternFile", WriteKandor, ConvertKandorDatabase, [](const fs::path& old) { return old.string(); }, nullptr, 1},
    {"KandorIndexIsAPipe", WriteKandor, ConvertKandorDatabase, [](const fs::path& old) { Pipe(old / "PDDATABS.DAT"); return old.string(); }, "PDDATABS.DAT", 0},
    {"KandorIndexIsDevZero", WriteKandor, ConvertKandorDatabase, [](const fs::path& old) { DevZero(old / "PDDATABS.DAT"); return old.string(); }, "PDDATABS.DAT", 0},
    {"KandorIndexIsAFolder", WriteKandor, ConvertKandorDatabase, [](const fs::path& old) { fs::remove(old / "PDDATABS.DAT"); fs::create_directory(old / "PDDATABS.DAT"); return old.string(); }, "PDDATABS.DAT", 0},
    {"KandorPatternIsAPipe", WriteKandor, ConvertKandorDatabase, [](const fs::path& old) { Pipe(old / "QUARTZ.di"); return old.string(); }, nullptr, 2},
    {"KandorPatternIsDevZero", WriteKandor, ConvertKandorDatabase, [](const fs::path& old) { DevZero(old / "CALCITE.di"); return old.string(); }, nullptr, 2},
    {"KandorBaseNamesLeaveTheFolder", WriteKandor, ConvertKandorDatabase, [](const fs::path& old) {
         test::WriteFile(old / "sub" / "X.di", test::KandorPeakListFile({}, {test::KandorPeakAt(40, 100)}));
         test::WriteFile(old / "PDDATABS.DAT", test::KandorIndexFile({{"../out/v", "a", "A"}, {"sub/X", "b", "B"}, {"sub\\X", "c", "C"}}));
         return old.string(); }, nullptr, 3},
    {"KandorBeside10000OtherFiles", WriteKandor, ConvertKandorDatabase, [](const fs::path& old) {
         fs::rename(old / "QUARTZ.di", old / "quartz.DI");
         for (int i = 0; i < 10000; ++i)
             test::WriteFile(old / ("other" + std::to_string(i)), std::string());
         return old.string(); }, nullptr, 1},
    {"KandorFolderTooLong", WriteKandor, ConvertKandorDatabase, [](const fs::path& old) { return (old / std::string(300, 'x')).string(); }, "PDDATABS.DAT", 0},
    {"KandorFolderNameWithLineBreaks", WriteKandor, ConvertKandorDatabase, [](const fs::path& old) {
         const fs::path odd = old.parent_path() / "old\nfolder\r";
         fs::rename(old, odd);
         return odd.string(); }, nullptr, 1},
    {"VeltroMissingPatternFile", WriteVeltro, ConvertVeltroDatabase, [](const fs::path& old) { return old.string(); }, nullptr, 1},
    {"VeltroLogIsAPipe", WriteVeltro, ConvertVeltroDatabase, [](const fs::path& old) { Pipe(old / "uplog.pdf"); return old.string(); }, "uplog.pdf", 0},
    {"VeltroPatternIsAPipe", WriteVeltro, ConvertVeltroDatabase, [](const fs::path& old) { Pipe(old / "QUARTZ.di"); return old.string(); }, nullptr, 2},
    {"QuorvaneIndexIsAPipe", WriteQuorvane, ConvertQuorvaneDatabase, [](const fs::path& old) { Pipe(old / "QUORVANE.IND"); return old.string(); }, "QUORVANE.IND", 0},
    {"QuorvaneLinesAreDevZero", WriteQuorvane, ConvertQuorvaneDatabase, [](const fs::path& old) { DevZero(old / "QUORVANE.DIS"); return old.string(); }, "QUORVANE.DIS", 0},
};

class HostileSource : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileSource, NeverBlocksNeverReadsOutsideAndSaysWhatWentMissing)
{
    const HostileCase& param = GetParam();
    test::TempFolder root;
    const fs::path outside = root.Path() / "out";
    test::WriteFile(outside / "v.di", test::KandorPeakListFile({}, {test::KandorPeakAt(40, 100)}));
    param.write(root.Path() / "old");
    const std::string oldFolder = param.plant(root.Path() / "old");
    const Image before = TakeImage(outside);

    const Outcome outcome = RunBounded(param.driver, oldFolder, root.Text("new"));

    EXPECT_EQ(TakeImage(outside), before);
    if (param.namedFile != nullptr) {
        EXPECT_EQ(outcome.success, 0);
        EXPECT_EQ(outcome.message.rfind("Cannot read file " + oldFolder, 0), 0u) << outcome.message;
        EXPECT_NE(outcome.message.find(param.namedFile), std::string::npos) << outcome.message;
        return;
    }
    EXPECT_EQ(outcome.success, 1) << outcome.message;
    EXPECT_EQ(outcome.withoutLines, param.withoutLines);
    const std::string comments = test::ReadFileText(root.Path() / "new" / "Comment.PDB");
    EXPECT_EQ(comments.find_first_of("\r\n"), std::string::npos) << "a line break in a comment line";
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileSource, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.name); });

TEST(HostileSource, PathsTooLongAreReportedAsSuchByEveryCommand)
{
    test::TempFolder root;
    const std::string tooLong = root.Text(std::string(300, 'x'));
    EXPECT_NE(OldFolderMissingMessage(tooLong).find("too long for the system"), std::string::npos);
    TReferenceDatabase database;
    database.SetDatabaseName(tooLong);
    try {
        database.Open();
        ADD_FAILURE() << "opened";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("too long for the system"), std::string::npos) << e.what();
    }
    const std::vector<std::string> problems = CheckReferenceDatabase(tooLong, {});
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("too long for the system"), std::string::npos) << problems[0];
    EXPECT_EQ(ImportCommentLine("/a\nb\r\nc"), "Imported from /a b  c");
}

} // namespace
} // namespace norrvik
