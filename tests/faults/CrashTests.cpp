// Conversions stopped at every file operation of their run, and just after
// it, in a child process that ends at once as a kill would, or after losing
// every change not yet made durable, as a power cut would.
// After each stop the target opens, verify finds nothing, the patterns held
// before are unchanged, every pattern present is the one a clean run stores
// (its record and its own text lines), and converting again succeeds, also
// straight away without the open, leaving no file a clean run does not (no
// temporary file, no probe); a PDF1 run again stores each pattern exactly
// once. A finished run survives a power cut whole. An undo stopped at every
// operation leaves a database the next open recovers, sound, with the
// patterns before the run or after it; a finished undo survives whole.
#include "CrashPoints.h"
#include "FaultSources.h"

#include "common/Exceptions.h"
#include "convert/Conversion.h"
#include "convert/ImportLog.h"
#include "refdb/DatabaseCheck.h"
#include "refdb/ReferenceDatabase.h"
#include "refdb/UndoPoint.h"
#include "support/RecordFields.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <tuple>

namespace norrvik {
namespace {

namespace fs = std::filesystem;
using test::CrashPoints;
using test::ReadFile;

using test::kRecordSize;

using test::Format;
using test::FolderImage;
using test::kFormats;

bool Convert(const Format& source, const fs::path& from, const fs::path& to)
{
    bool success = false;
    try {
        source.Convert(from.string(), to.string(), success, {}, nullptr);
    } catch (const Exception&) {
        return false;
    }
    return success;
}

std::string Problems(const fs::path& folder)
{
    std::string problems;
    for (const auto& problem : CheckReferenceDatabase(folder.string()))
        problems += problem + "\n";
    return problems;
}

bool StartsWith(const std::vector<std::uint8_t>& bytes, const std::vector<std::uint8_t>& prefix, std::size_t from = 0)
{
    return bytes.size() >= prefix.size() && std::equal(prefix.begin() + static_cast<std::ptrdiff_t>(from),
                                                       prefix.end(), bytes.begin() + static_cast<std::ptrdiff_t>(from));
}

// `work` in a child process, stopped at operation `stopAt` on `folder`
// (never when negative); the number of operations it saw.
long RunStopped(const fs::path& folder, long stopAt, bool powerCut, const std::function<bool()>& work)
{
    int ends[2];
    if (::pipe(ends) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ends[0]);
        CrashPoints::Arm(folder, stopAt, powerCut);
        const bool done = work();
        CrashPoints::StopAtEnd();
        const long seen = CrashPoints::Seen();
        CrashPoints::Disarm();
        static_cast<void>(::write(ends[1], &seen, sizeof seen));
        ::_exit(done ? 0 : 1);
    }
    ::close(ends[1]);
    long seen = -1;
    static_cast<void>(::read(ends[0], &seen, sizeof seen));
    ::close(ends[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    const int expected = stopAt < 0 ? 0 : CrashPoints::kStoppedStatus;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == expected) << "child status " << status;
    return seen;
}

// Target: new or holding patterns; stop: kill or power cut.
using CrashCase = std::tuple<Format, bool, bool>;

class ConversionStopped : public ::testing::TestWithParam<CrashCase> {
protected:
    void SetUp() override
    {
        TReferenceDatabase::SetPatternsPerCommit(2); // commits within these small runs
        source_ = std::get<0>(GetParam());
        source_.WriteSource(dir_.Path() / "old");
        if (std::get<1>(GetParam())) {
            test::WriteKandorSource(dir_.Path() / "other");
            ASSERT_TRUE(Convert(kFormats[0], dir_.Path() / "other", Target()));
        }
        before_ = test::TakeImage(Target());
    }
    void TearDown() override { TReferenceDatabase::SetPatternsPerCommit(TReferenceDatabase::kPatternsPerCommit); }

    fs::path Target() const { return dir_.Path() / "new"; }

    // The conversion in a child process, stopped at operation `stopAt`
    // (never when negative); the number of operations it saw.
    long RunChild(long stopAt)
    {
        test::RestoreImage(Target(), before_);
        if (before_.empty())
            fs::remove_all(Target()); // the run makes the folder
        return RunStopped(Target(), stopAt, std::get<2>(GetParam()),
                          [this] { return Convert(source_, dir_.Path() / "old", Target()); });
    }

    // What must hold after a stop; `clean` is the folder a whole run leaves.
    void ExpectRecovered(const FolderImage& clean)
    {
        const bool nothingWritten = before_.empty() && !fs::exists(Target() / "Norrvik.run") &&
                                    !fs::exists(Target() / "ReferenceDatabase.PDB");
        if (!nothingWritten) {
            TReferenceDatabase database;
            database.SetDatabaseName(Target().string());
            database.SetReadOnly(false);
            ASSERT_NO_THROW(database.Open());
            ASSERT_NO_THROW(database.Close());
            EXPECT_EQ(Problems(Target()), "");
            const auto main = ReadFile(Target() / "ReferenceDatabase.PDB");
            ASSERT_GE(main.size(), kRecordSize);
            // Every record is the clean run's (patterns held before among
            // them); so are the text lines up to the end of the last one's.
            EXPECT_TRUE(StartsWith(clean.at("ReferenceDatabase.PDB"), main, kRecordSize)) << "a record differs";
            for (const char* side : {"Comment.PDB", "Literature.PDB"}) {
                const auto lines = ReadFile(Target() / side);
                EXPECT_TRUE(StartsWith(clean.at(side), lines)) << side << " differs";
                if (before_.count(side)) {
                    EXPECT_TRUE(StartsWith(lines, before_.at(side))) << side << ": lines held before changed";
                }
            }
            if (!before_.empty()) {
                EXPECT_GE(main.size(), before_.at("ReferenceDatabase.PDB").size());
            }
        }
        ExpectConvertedAgain(clean);
    }

    // Converting again succeeds and leaves a sound target holding the files
    // a clean run leaves, and no other.
    void ExpectConvertedAgain(const FolderImage& clean)
    {
        ASSERT_TRUE(Convert(source_, dir_.Path() / "old", Target())) << "converting again failed";
        EXPECT_EQ(Problems(Target()), "");
        EXPECT_EQ(Names(WithoutLog(test::TakeImage(Target()))), Names(WithoutLog(clean)));
        if (source_.SkipsDuplicates) {
            // Run again, the conversion ends with each pattern exactly once.
            EXPECT_EQ(ReadFile(Target() / "ReferenceDatabase.PDB"), clean.at("ReferenceDatabase.PDB"));
        }
    }

    // The database's files: the import log (it records times) is compared by
    // what it claims, the undo point by what undo does with it.
    static FolderImage WithoutLog(FolderImage image)
    {
        std::erase_if(image, [](const auto& file) {
            return file.first == "Norrvik.imports" || file.first.rfind("Norrvik.undo", 0) == 0;
        });
        return image;
    }

    // Every pattern the import log says a run added is in the database as
    // the next open finds it.
    void ExpectLogClaimsOnlyHeldPatterns()
    {
        TReferenceDatabase database;
        database.SetDatabaseName(Target().string());
        std::int32_t held = 0;
        try {
            database.Open();
            held = database.PatternCount();
        } catch (const Exception&) {
            held = 0; // nothing committed yet: the log may claim nothing either
        }
        long claimed = 0; // by the run that made the target's patterns, too
        for (const TImportRun& run : ReadImportLog(Target()))
            claimed += run.StoredEntries();
        EXPECT_LE(claimed, held) << "the import log claims patterns the database does not hold";
    }

    static std::string Names(const FolderImage& image)
    {
        std::string names;
        for (const auto& entry : image)
            names += entry.first + " ";
        return names;
    }

    test::TempFolder dir_;
    Format source_{};
    FolderImage before_;
};

TEST_P(ConversionStopped, AtEveryOperationRecoversAtTheNextOpen)
{
    const long operations = RunChild(-1);
    ASSERT_GT(operations, 0);
    const FolderImage clean = test::TakeImage(Target());
    ASSERT_EQ(Problems(Target()), "");
    // Stop `operations` comes just after the run.
    for (long stop = 0; stop <= operations; ++stop) {
        SCOPED_TRACE("stopped at operation " + std::to_string(stop) + " of " + std::to_string(operations));
        RunChild(stop);
        const FolderImage stopped = test::TakeImage(Target());
        if (stop == operations) {
            EXPECT_TRUE(WithoutLog(stopped) == WithoutLog(clean)) << "a finished run did not survive";
        }
        ExpectLogClaimsOnlyHeldPatterns();
        ExpectRecovered(clean);
        if (before_.empty() && !HasFailure()) {
            // The next run does not open what it finds first: it creates the
            // database again.
            test::RestoreImage(Target(), stopped);
            ExpectConvertedAgain(clean);
        }
        if (HasFailure())
            return; // the first failing stop tells enough
    }
}

std::string CaseName(const ::testing::TestParamInfo<CrashCase>& info)
{
    return std::string(std::get<0>(info.param).Name) + (std::get<1>(info.param) ? "IntoExisting" : "IntoNew") +
           (std::get<2>(info.param) ? "PowerCut" : "Killed");
}

INSTANTIATE_TEST_SUITE_P(Stops, ConversionStopped,
                         ::testing::Combine(::testing::ValuesIn(kFormats), ::testing::Bool(), ::testing::Bool()),
                         CaseName);

// The run undone: created the database, or added to one; stop: kill or power cut.
using UndoCrashCase = std::tuple<bool, bool>;

// The database's files of an image: the import log and the undo point, the
// program's own records, left out.
FolderImage DatabaseFiles(FolderImage image)
{
    std::erase_if(image, [](const auto& file) {
        return file.first == "Norrvik.imports" || file.first.rfind("Norrvik.undo", 0) == 0;
    });
    return image;
}

class UndoStopped : public ::testing::TestWithParam<UndoCrashCase> {
protected:
    void SetUp() override
    {
        TReferenceDatabase::SetPatternsPerCommit(2);
        const bool creates = std::get<0>(GetParam());
        if (!creates) {
            test::WriteKandorSource(dir_.Path() / "old");
            ASSERT_TRUE(Convert(kFormats[0], dir_.Path() / "old", Target()));
        }
        before_ = test::TakeImage(Target());
        auto database = std::make_unique<TReferenceDatabase>();
        if (creates) {
            database = TReferenceDatabase::CreateDatabase(Target().string(), "PDF2", 1);
        } else {
            database->SetDatabaseName(Target().string());
            database->SetReadOnly(false);
            database->KeepUndoPoint(1);
        }
        patternsBefore_ = database->PatternCount();
        for (const char* name : {"quartz", "calcite", "gypsum"}) {
            TReferencePattern pattern;
            pattern.AddName(name, 0);
            pattern.AddLine(3.34f, 100, 1, 0, 1);
            database->AddPattern(pattern);
        }
        patternsAfter_ = database->PatternCount();
        database->Close();
        ran_ = test::TakeImage(Target());
        for (const auto& [name, bytes] : ran_)
            times_[name] = fs::last_write_time(Target() / name);
    }
    void TearDown() override { TReferenceDatabase::SetPatternsPerCommit(TReferenceDatabase::kPatternsPerCommit); }

    fs::path Target() const { return dir_.Path() / "new"; }

    // The undo in a child process, from the state the run left (its files'
    // times too: the undo compares them), stopped at operation `stopAt`.
    long RunChild(long stopAt)
    {
        test::RestoreImage(Target(), ran_);
        for (const auto& [name, time] : times_)
            fs::last_write_time(Target() / name, time);
        return RunStopped(Target(), stopAt, std::get<1>(GetParam()), [this] {
            try {
                UndoLastRun(Target().string());
            } catch (const Exception&) {
                return false;
            }
            return true;
        });
    }

    void ExpectRecovered()
    {
        if (!fs::exists(Target() / "Norrvik.run") && fs::exists(Target() / "Norrvik.undo" / "manifest")) {
            // Stopped before its first change: it can be made again.
            ASSERT_NO_THROW(UndoLastRun(Target().string()));
            EXPECT_TRUE(DatabaseFiles(test::TakeImage(Target())) == DatabaseFiles(before_)) << "undone again, the files differ";
            return;
        }
        if (!fs::exists(Target() / "ReferenceDatabase.PDB") && !fs::exists(Target() / "Norrvik.run")) {
            EXPECT_TRUE(std::get<0>(GetParam())) << "the database is gone";
            return;
        }
        TReferenceDatabase database;
        database.SetDatabaseName(Target().string());
        database.SetReadOnly(false);
        std::int32_t patterns = -1;
        ASSERT_NO_THROW(patterns = database.PatternCount());
        ASSERT_NO_THROW(database.Close());
        EXPECT_TRUE(patterns == patternsBefore_ || patterns == patternsAfter_) << patterns << " patterns";
        EXPECT_EQ(Problems(Target()), "");
        EXPECT_FALSE(fs::exists(Target() / "Norrvik.undo")) << "the recovery kept an undo point";
    }

    test::TempFolder dir_;
    FolderImage before_;
    FolderImage ran_;
    std::map<std::string, fs::file_time_type> times_;
    std::int32_t patternsBefore_ = 0;
    std::int32_t patternsAfter_ = 0;
};

TEST_P(UndoStopped, AtEveryOperationLeavesADatabaseTheNextOpenRecovers)
{
    const long operations = RunChild(-1);
    ASSERT_GT(operations, 0);
    ASSERT_TRUE(DatabaseFiles(test::TakeImage(Target())) == DatabaseFiles(before_)) << "the undo did not put the files back";
    for (long stop = 0; stop <= operations; ++stop) {
        SCOPED_TRACE("stopped at operation " + std::to_string(stop) + " of " + std::to_string(operations));
        RunChild(stop);
        if (stop == operations) {
            EXPECT_TRUE(DatabaseFiles(test::TakeImage(Target())) == DatabaseFiles(before_)) << "a finished undo did not survive";
        }
        ExpectRecovered();
        if (HasFailure())
            return;
    }
}

INSTANTIATE_TEST_SUITE_P(Stops, UndoStopped, ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<UndoCrashCase>& info) {
                             return std::string(std::get<0>(info.param) ? "Created" : "AddedTo") +
                                    (std::get<1>(info.param) ? "PowerCut" : "Killed");
                         });

} // namespace
} // namespace norrvik
