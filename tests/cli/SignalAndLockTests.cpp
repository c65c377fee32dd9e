// norrvik-cli as a separate process: SIGTERM and SIGHUP stop a conversion as
// Ctrl-C does (after the current entry, exit status 128 + the signal, a
// sound target), and a second conversion into the same target while the
// first runs is refused with the lock message. And the recover command.
// Ctrl-C in-process. (POSIX only: signals, posix_spawn.)
#include "cli/Cli.h"
#include "CliRun.h"
#include "refdb/DatabaseCheck.h"
#include "refdb/ReferenceDatabase.h"
#include "support/KandorWriter.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <ostream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>

namespace norrvik {
namespace {

namespace fs = std::filesystem;
using test::CliResult;
using test::RunCommand;
using test::WithDriver;

TEST(CliCancel, CtrlCStopsBetweenEntriesButNeverDuringTheRebuild)
{
    test::TempFolder temp;
    struct sigaction before{};
    sigaction(SIGINT, nullptr, &before);

    long entriesDone = 0;
    auto interrupted = [&](const std::string&, const std::string&, bool& success, const ProgressCallback& progress,
                           TConversionSummary*) {
        for (long entry = 1; entry <= 5; ++entry) {
            if (entry == 3)
                std::raise(SIGINT); // the user presses Ctrl-C while entry 3 is converted
            progress(TProgress{TProgress::Stage::Converting, entry, 5});
            entriesDone = entry;
        }
        success = true;
    };
    CliResult result = RunCommand({"convert", "--format", "veltro", temp.Text(), temp.Text("t")}, WithDriver(interrupted));
    EXPECT_EQ(result.Status, 130);
    EXPECT_EQ(result.Err, "Conversion cancelled after 3 of 5 entries\n");
    EXPECT_EQ(result.Out, "Conversion cancelled after 3 of 5 entries; no patterns were added\n");
    EXPECT_EQ(entriesDone, 2);

    // Ctrl-C during the index rebuild: the rebuild and the run finish.
    long rebuilt = 0;
    auto rebuilding = [&](const std::string&, const std::string&, bool& success, const ProgressCallback& progress,
                          TConversionSummary* summary) {
        progress(TProgress{TProgress::Stage::Converting, 1, 1});
        std::raise(SIGINT);
        for (long pattern = 1; pattern <= 4; ++pattern, ++rebuilt)
            progress(TProgress{TProgress::Stage::WritingIndexes, pattern, 4});
        summary->Added = 1;
        summary->TargetPatternCount = 4;
        success = true;
    };
    result = RunCommand({"convert", "--format", "veltro", temp.Text(), temp.Text("t")}, WithDriver(rebuilding));
    EXPECT_EQ(result.Status, 0) << result.Err;
    EXPECT_EQ(rebuilt, 4);
    EXPECT_EQ(result.Err,
              "Interrupted: the index files are written to the end first, so that the database stays sound.\n");
    EXPECT_EQ(result.Out, "1 pattern added, 0 skipped as already present; the target database now holds 4 patterns\n");

    // The program's own handling of SIGINT is back afterwards.
    struct sigaction after{};
    sigaction(SIGINT, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

// Starts norrvik-cli with `args`, its output going to files; the process id.
pid_t StartCli(const std::vector<std::string>& args, const fs::path& out, const fs::path& err)
{
    std::vector<std::string> all = {NORRVIK_CLI_PROGRAM};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int status = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return status == 0 ? pid : -1;
}

int ExitStatusOf(pid_t pid)
{
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1; // ended by the signal itself
    return WEXITSTATUS(status);
}

// Waits until the target's main data file holds `records` pattern records.
bool WaitForRecords(const fs::path& target, std::uintmax_t records)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        std::error_code missing;
        if (fs::file_size(target / "ReferenceDatabase.PDB", missing) >= (records + 1) * 3310 && !missing)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

struct StopSignal {
    int Signal;
    const char* Name;
};

// Test output names the signal.
void PrintTo(const StopSignal& stop, std::ostream* out)
{
    *out << stop.Name;
}

class CliStopSignal : public ::testing::TestWithParam<StopSignal> {};

TEST_P(CliStopSignal, StopsAfterTheCurrentEntryAndKeepsASecondRunOut)
{
    test::TempFolder temp;
    constexpr int kEntries = 4000;
    std::vector<test::KandorEntryData> entries(kEntries);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        entries[i].Entry = {"E" + std::to_string(i), "entry", "Na Cl"};
        entries[i].Peaks = {test::KandorPeakAt(31.7, 900, 9), test::KandorPeakAt(45.4, 400, 4)};
    }
    test::WriteKandorDatabase(temp.Path() / "old", entries);
    const fs::path target = temp.Path() / "new";
    const std::vector<std::string> convert = {"convert", "--format", "kandor", temp.Text("old"), target.string()};

    const pid_t first = StartCli(convert, temp.Path() / "out1", temp.Path() / "err1");
    ASSERT_GT(first, 0);
    ASSERT_TRUE(WaitForRecords(target, 20));
    // Held still (its lock with it) while the second run tries, so that the
    // first cannot end before the signal however fast the machine is.
    ASSERT_EQ(kill(first, SIGSTOP), 0);

    const pid_t second = StartCli(convert, temp.Path() / "out2", temp.Path() / "err2");
    ASSERT_GT(second, 0);
    EXPECT_EQ(ExitStatusOf(second), 1);
    const std::string refused = test::ReadFileText(temp.Path() / "err2");
    EXPECT_NE(refused.find("Folder " + target.string() + " is being used by another conversion"), std::string::npos)
        << refused;

    ASSERT_EQ(kill(first, GetParam().Signal), 0);
    ASSERT_EQ(kill(first, SIGCONT), 0);
    EXPECT_EQ(ExitStatusOf(first), 128 + GetParam().Signal) << "the run ended before the signal, or was killed by it";
    // The cancelled run's indexes are written to the end, which it says first.
    EXPECT_NE(test::ReadFileText(temp.Path() / "err1").find("Conversion cancelled after "), std::string::npos)
        << test::ReadFileText(temp.Path() / "err1");
    EXPECT_EQ(CheckReferenceDatabase(target.string()), std::vector<std::string>{});
    TReferenceDatabase database;
    database.SetDatabaseName(target.string());
    EXPECT_GE(database.PatternCount(), 20);
    EXPECT_LT(database.PatternCount(), kEntries);
}

INSTANTIATE_TEST_SUITE_P(Signals, CliStopSignal,
                         ::testing::Values(StopSignal{SIGTERM, "SIGTERM"}, StopSignal{SIGHUP, "SIGHUP"}),
                         [](const ::testing::TestParamInfo<StopSignal>& info) { return std::string(info.param.Name); });

TEST(CliRecover, PrintsWhatItDidAndChecksTheResult)
{
    test::TempFolder temp;
    const std::string target = temp.Text("t");
    const std::string sample = std::string(NORRVIK_SAMPLES_DIR) + "/kandor";
    std::ostringstream out;
    std::ostringstream err;
    const char* convert[] = {"norrvik-cli", "convert", "--format", "kandor", sample.c_str(), target.c_str()};
    ASSERT_EQ(RunCli(6, convert, out, err), 0) << err.str();
    fs::resize_file(temp.Path() / "t" / "ReferenceDatabase.PDB", 5 * 3310 + 7);
    out.str("");
    const char* recover[] = {"norrvik-cli", "recover", target.c_str()};
    EXPECT_EQ(RunCli(3, recover, out, err), 0) << err.str();
    EXPECT_EQ(out.str().rfind("ReferenceDatabase.PDB: dropped the last 7 bytes, a record cut short\n", 0), 0u);
    EXPECT_NE(out.str().find("\nKept 4 patterns; the replaced files are kept in " + target + "/recover-backup-"),
              std::string::npos) << out.str();
}

} // namespace
} // namespace norrvik
