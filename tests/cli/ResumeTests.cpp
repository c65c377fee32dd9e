// Finishing a stopped run: a user database converted by the program, stopped
// part-way (Cancel, SIGTERM, kill -9), then `convert --resume` ends with the
// same database files, byte for byte, as one run that was never stopped.
#include "CliRun.h"

#include "common/Format.h"
#include "convert/Conversion.h"
#include "convert/FormatDetection.h"
#include "convert/ImportLog.h"
#include "refdb/DatabaseFiles.h"
#include "support/KandorWriter.h"
#include "support/QuorvaneWriter.h"
#include "support/TempFolder.h"
#include "support/VeltroWriter.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <thread>

namespace norrvik {
namespace {

namespace fs = std::filesystem;
using namespace test;

constexpr int kEntries = 120;

void WriteKandor(const fs::path& folder)
{
    std::vector<KandorEntryData> data(kEntries);
    for (int i = 0; i < kEntries; ++i) {
        data[static_cast<std::size_t>(i)].Entry = {Format("K%04d", i), Format("NAME %d", i % 7), "Si O2"};
        for (int p = 0; p < 20; ++p)
            data[static_cast<std::size_t>(i)].Peaks.push_back(KandorPeakAt(10.0 + 3.0 * p + 0.01 * i, 100 + p * 7));
    }
    WriteKandorDatabase(folder, data);
}

void WriteVeltro(const fs::path& folder)
{
    std::vector<VeltroLogEntry> log;
    for (int i = 0; i < kEntries; ++i) {
        const std::string file = Format("p%04d", i);
        log.push_back({"[USER.DB]" + file, VeltroFormula({Element("Fe"), "2", Element("O"), "3"}), Format("N%d", i % 5)});
        std::vector<VeltroLineEntry> lines;
        for (int l = 0; l < 20; ++l)
            lines.push_back({static_cast<std::int16_t>(2000 + 300 * l + i), static_cast<std::int16_t>(10 + l), 0});
        WriteVeltroFile(folder, file + ".di", VeltroPatternBytes(1.5406, lines));
    }
    WriteVeltroFile(folder, "uplog.pdf", VeltroLogBytes(log));
}

void WriteQuorvaneUser(const fs::path& folder)
{
    QuorvaneDatabase database;
    for (int i = 0; i < kEntries; ++i) {
        std::vector<QuorvaneLine> lines;
        for (int l = 0; l < 20; ++l)
            lines.push_back({0.8 + 0.1 * l + 0.001 * i, static_cast<std::int16_t>(10 + l)});
        database.Patterns.push_back(MakeQuorvanePattern(Format("%02d-%04d", i / 100, i % 100),
                                                        QuorvaneNames({{'C', Format("NAME %d", i % 9)}}), "AL2 O3",
                                                        std::move(lines)));
    }
    WriteQuorvaneDatabase(folder, database);
}

struct Source {
    const char* Name;
    void (*Write)(const fs::path&);
};
const Source kSources[] = {{"kandor", WriteKandor}, {"veltro", WriteVeltro}, {"quorvane", WriteQuorvaneUser}};

enum class Stop { Cancel, Terminate, Kill };

// The database's files (the import log, which records the runs, left out).
std::map<std::string, std::vector<std::uint8_t>> DatabaseBytes(const fs::path& folder)
{
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const TDatabaseFileInfo& file : kDatabaseFiles)
        if (fs::exists(folder / std::string(file.Name)))
            files[std::string(file.Name)] = ReadFile(folder / std::string(file.Name));
    return files;
}

// Runs the program on old -> target and stops it once `patterns` patterns
// were written (by the main file's size), or at once for 0.
void RunAndSignal(const fs::path& old, const fs::path& target, int signal, int patterns)
{
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::execl(NORRVIK_CLI_PROGRAM, NORRVIK_CLI_PROGRAM, "convert", "-q", old.c_str(), target.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::error_code error;
    const std::uintmax_t wanted = fs::file_size(target / "ReferenceDatabase.PDB", error) +
                                  static_cast<std::uintmax_t>(patterns) * kPatternRecordSize;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        if (patterns == 0 ? fs::exists(target / "Norrvik.run", error)
                          : fs::file_size(target / "ReferenceDatabase.PDB", error) >= wanted && !error)
            break;
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child)
            return; // finished before the stop: resuming has nothing to do
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ::kill(child, signal);
    int status = 0;
    ::waitpid(child, &status, 0);
}

// The same run in-process, cancelled by its progress callback at entry `entry`.
void RunAndCancel(const Source& source, const fs::path& old, const fs::path& target, int entry)
{
    TCliOptions options;
    const ConversionDriver real = options.Drivers[static_cast<std::size_t>(FormatPosition(FormatByCliName(source.Name)->Format))];
    const ConversionDriver cancelling = [&](const std::string& from, const std::string& to, bool& success,
                                            const ProgressCallback&, TConversionSummary* summary) {
        real(from, to, success,
             [entry](const TProgress& progress) {
                 if (progress.CurrentStage == TProgress::Stage::Converting && progress.Done == entry)
                     throw EConversionCancelled("Conversion cancelled");
             },
             summary);
    };
    options.Drivers[static_cast<std::size_t>(FormatPosition(FormatByCliName(source.Name)->Format))] = cancelling;
    RunCommand({"convert", "-q", old.string(), target.string()}, options);
}

using ResumeCase = std::tuple<Source, Stop, int>;

class Resume : public ::testing::TestWithParam<ResumeCase> {};

TEST_P(Resume, EndsAsOneRunThatNeverStopped)
{
    const auto& [source, stop, at] = GetParam();
    TempFolder temp;
    const fs::path old = temp.Path() / "old";
    source.Write(old);
    // The target already holds a run's patterns, so that codes and lines continue.
    const fs::path whole = temp.Path() / "whole";
    const fs::path stopped = temp.Path() / "stopped";
    for (const fs::path& target : {whole, stopped})
        ASSERT_EQ(RunCommand({"convert", "-q", Sample("kandor"), target.string()}).Status, 0);
    ASSERT_EQ(RunCommand({"convert", "-q", old.string(), whole.string()}).Status, 0);

    if (stop == Stop::Cancel)
        RunAndCancel(source, old, stopped, at + 1);
    else
        RunAndSignal(old, stopped, stop == Stop::Kill ? SIGKILL : SIGTERM, at);
    const CliResult resumed = RunCommand({"convert", "--resume", old.string(), stopped.string()});
    ASSERT_EQ(resumed.Status, 0) << resumed.Err;

    EXPECT_TRUE(DatabaseBytes(stopped) == DatabaseBytes(whole)) << "the finished run differs from a whole one";
    const std::vector<TImportRun> runs = ReadImportLog(stopped);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[2].Finishes, 2);
    EXPECT_EQ(runs[1].StoredEntries() + runs[2].StoredEntries(), kEntries) << "each entry once on record";
    EXPECT_EQ(runs[2].Outcome, ImportOutcome::Completed);
    // Nothing is left to finish.
    EXPECT_EQ(RunCommand({"convert", "--resume", old.string(), stopped.string()}).Status, 1);
}

std::string CaseName(const ::testing::TestParamInfo<ResumeCase>& info)
{
    static const char* const kStops[] = {"Cancel", "Terminate", "Kill"};
    return std::string(std::get<0>(info.param).Name) + kStops[static_cast<int>(std::get<1>(info.param))] + "At" +
           std::to_string(std::get<2>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Stops, Resume,
                         ::testing::Combine(::testing::ValuesIn(kSources),
                                            ::testing::Values(Stop::Cancel, Stop::Terminate, Stop::Kill),
                                            ::testing::Values(0, 40)),
                         CaseName);

} // namespace
} // namespace norrvik
