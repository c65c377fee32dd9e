// Times the database store on large databases and reports the peak memory of
// each case: adding user patterns to a new database, appending reference
// patterns (one index rebuild at close), and adding user patterns to a large
// existing database. Each case runs in a child process so that its peak
// memory is its own. Usage: norrvik_bench_store [folder] (default: a folder
// in the system's temporary directory, removed afterwards); a second argument
// 1, 2 or 3 runs that case alone (case 3 needs the database case 2 leaves).
// Case 4 is case 3 keeping an undo point, case 5 undoes that run (each alone
// only: a by-hand check compares the folder before case 4 with it after 5);
// a third argument gives cases 3 and 4 another number of patterns.
#include "bench/BenchSupport.h"
#include "common/Format.h"
#include "refdb/ReferenceDatabase.h"
#include "refdb/UndoPoint.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using norrvik::bench::Clock;
using norrvik::bench::SecondsSince;

using norrvik::bench::kSyllables;
const std::vector<std::string> kFormulas = {"Fe2O3", "SiO2", "CaCO3", "Al2O3", "NaCl", "K Al Si3 O8",
                                            "Mg2SiO4", "(NH4)2SO4", "TiO2", "Cu Fe S2"};

std::string Word(std::mt19937& random)
{
    std::string word;
    const int parts = 2 + static_cast<int>(random() % 3);
    for (int i = 0; i < parts; ++i)
        word += kSyllables[random() % kSyllables.size()];
    return word;
}

// About 40 lines, two names, a formula and a comment, as a conversion gives.
norrvik::TReferencePattern MakePattern(std::mt19937& random, bool user, int number)
{
    norrvik::TReferencePattern pattern;
    pattern.AddName(Word(random) + " " + Word(random), 0);
    pattern.AddName(Word(random), 1);
    pattern.SetFormulaLine(kFormulas[random() % kFormulas.size()]);
    pattern.SetComments({"Imported from /data/old/" + Word(random)});
    const int lines = 35 + static_cast<int>(random() % 11);
    for (int i = 0; i < lines; ++i)
        pattern.AddLine(0.8f + static_cast<float>(random() % 90000) / 10000.0f,
                        static_cast<std::int16_t>(1 + random() % 999), static_cast<std::int16_t>(i % 7),
                        static_cast<std::int16_t>(i % 5), static_cast<std::int16_t>(i % 3));
    // Generated user codes end at 9999: the user patterns bring their own.
    pattern.SetReferenceCode(norrvik::Format(user ? "98%07d" : "01%07d", number));
    if (user)
        pattern.SetStatus(8);
    return pattern;
}

struct Timings {
    double Work = 0;
    double Close = 0;
};

// Adds (user patterns) or appends (reference patterns) `count` patterns
// numbered from `first`, then closes the database.
Timings StorePatterns(norrvik::TReferenceDatabase& db, int count, bool user, int first)
{
    std::mt19937 random(static_cast<unsigned>(first));
    Timings timings;
    auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        norrvik::TReferencePattern pattern = MakePattern(random, user, first + i);
        if (user)
            db.AddPattern(pattern);
        else
            db.AppendPattern(pattern);
    }
    timings.Work = SecondsSince(start);
    start = Clock::now();
    db.Close();
    timings.Close = SecondsSince(start);
    return timings;
}

std::unique_ptr<norrvik::TReferenceDatabase> OpenForWriting(const std::string& folder)
{
    auto db = std::make_unique<norrvik::TReferenceDatabase>();
    db->SetDatabaseName(folder);
    db->SetReadOnly(false);
    db->Open();
    return db;
}

// Runs `work` in a child process and prints its times and peak memory.
void RunCase(const char* title, const std::function<Timings()>& work)
{
    std::fflush(stdout);
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        std::exit(1);
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        Timings timings{};
        try {
            timings = work();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s: %s\n", title, error.what());
            _exit(1);
        }
        if (write(pipeEnds[1], &timings, sizeof timings) != static_cast<ssize_t>(sizeof timings))
            _exit(1);
        _exit(0);
    }
    close(pipeEnds[1]);
    Timings timings{};
    const bool received = read(pipeEnds[0], &timings, sizeof timings) == static_cast<ssize_t>(sizeof timings);
    close(pipeEnds[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (!received || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::printf("%-62s FAILED\n", title);
        return;
    }
    std::printf("%-62s %9.2f s + close %8.2f s   peak %7.1f MB\n", title, timings.Work, timings.Close,
                static_cast<double>(usage.ru_maxrss) / 1024.0);
}

} // namespace

int main(int argc, char** argv)
{
    const bool ownFolder = argc < 2;
    const std::filesystem::path base = ownFolder
        ? std::filesystem::temp_directory_path() / ("norrvik-bench-" + std::to_string(getpid()))
        : std::filesystem::path(argv[1]);
    std::filesystem::create_directories(base);
    const std::string fresh = (base / "new").string();
    const std::string large = (base / "large").string();

    const std::string only = argc > 2 ? argv[2] : "";
    const int added = argc > 3 ? std::atoi(argv[3]) : 1000;
    std::printf("nproc %ld\n", sysconf(_SC_NPROCESSORS_ONLN));
    if (only.empty() || only == "1")
        RunCase("add 10,000 user patterns to a new database, close",
                [&] { return StorePatterns(*norrvik::TReferenceDatabase::CreateDatabase(fresh, "PDF2"), 10000, true, 1); });
    if (only.empty() || only == "2")
        RunCase("append 100,000 reference patterns, close (one rebuild)",
                [&] { return StorePatterns(*norrvik::TReferenceDatabase::CreateDatabase(large, "PDF2"), 100000, false, 1); });
    if (only.empty() || only == "3")
        RunCase(norrvik::Format("add %d user patterns to the database of 100,000, close", added).c_str(),
                [&] { return StorePatterns(*OpenForWriting(large), added, true, 500000); });

    if (only == "4")
        RunCase(norrvik::Format("add %d user patterns to the database of 100,000, undo kept", added).c_str(), [&] {
            auto db = OpenForWriting(large);
            db->KeepUndoPoint(1);
            return StorePatterns(*db, added, true, 500000);
        });
    if (only == "5")
        RunCase("undo the last run into the database of 100,000", [&] {
            const auto start = Clock::now();
            norrvik::UndoLastRun(large);
            return Timings{SecondsSince(start), 0};
        });
    if (ownFolder)
        std::filesystem::remove_all(base);
    return 0;
}
