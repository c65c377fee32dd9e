// Times whole conversions on generated source databases and sets each time
// against the I/O limit measured in the same run: reading every source byte,
// copying the produced target once and making the copy durable (fsync of
// each file and of the folder). Adding to a large target is given in
// milliseconds per added pattern (beyond reading and writing the target's
// files once; each add timed three times, the fastest counted, as are
// `verify` and `dump` and the reads and copies they are set against). Each
// timed run is a child process, so its peak memory is its own.
//
// Usage: norrvik_bench_convert [folder] [workload ...]
//   kandor=N       N Kandor entries x 40 peaks into a new target
//   pdf1=N         N PDF1 reference patterns x 60 lines into a new target
//   add=T:N        N Veltro entries added to a target of T patterns
//   carry=T:N      N user patterns of a Tessaly database (the add's Veltro
//                  entries imported into it) carried into a target of T
//                  patterns
//   search=T       searches through the index files of a target of T
//                  patterns (opening, the first and later searches of each
//                  kind) and the browser's list of all its patterns
//   verify=T       `verify` of a target of T patterns, against reading its
//                  files once
//   rebuild=T      `rebuild` of a copy of a target of T patterns
//   dump=T         `dump` of a target of T patterns as text and as JSON,
//                  against a plain copy of the same bytes to /dev/null
//   million        the workloads at a million patterns (they take about
//                  3.4 GB of disk per database): pdf1=1000000
//                  add=1000000:300 verify=1000000 rebuild=1000000
// Without workloads: kandor=9999 pdf1=100000 pdf1=400000 add=100000:1000
// add=400000:300 dump=100000. The folder (default: one in the temporary
// directory, removed afterwards) keeps the generated sources and targets.
// Every row gives wall time and the processor time of its process (and, for
// new targets and commands, how much of it was the system's).
#include "bench/BenchSupport.h"
#include "cli/Cli.h"
#include "common/Format.h"
#include "convert/Conversion.h"
#include "refdb/IndexSearch.h"
#include "refdb/PatternList.h"
#include "refdb/ReferenceDatabase.h"
#include "support/KandorWriter.h"
#include "support/QuorvaneWriter.h"
#include "support/VeltroWriter.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using norrvik::bench::Clock;
using norrvik::bench::SecondsSince;

// ---- realistic texts: a few values shared by many patterns, a long tail ----

using norrvik::bench::kSyllables;
const std::vector<std::string> kElements = {"Fe", "Si", "O", "Ca", "C", "Al", "Na", "Cl", "K", "Mg",
                                            "Ti", "Cu", "S", "Zn", "Pb", "Ba", "Mn", "P", "N", "H"};
const std::vector<std::string> kColours = {"white", "colorless", "black", "gray", "yellow", "brown",
                                           "green", "blue", "red", "pale yellow", "dark brown", "orange"};

// A value from a pool of `size` generated texts, the first ones far more
// often than the others (as names like quartz or authors of large groups).
std::size_t SkewedChoice(std::mt19937& random, std::size_t size)
{
    const double u = std::uniform_real_distribution<double>(0.0, 1.0)(random);
    return static_cast<std::size_t>(static_cast<double>(size) * u * u * u) % size;
}

std::string Word(std::size_t seed, int parts)
{
    std::string word;
    for (int i = 0; i < parts; ++i) {
        word += kSyllables[seed % kSyllables.size()];
        seed /= kSyllables.size();
    }
    return word;
}

std::string Name(std::mt19937& random) { return Word(SkewedChoice(random, 20000) + 577, 4); }
std::string Mineral(std::mt19937& random) { return Word(SkewedChoice(random, 3000) + 577, 3) + "ite"; }
std::string Author(std::mt19937& random) { return Word(SkewedChoice(random, 20000) + 577, 3) + ", J."; }
std::string Journal(std::mt19937& random) { return norrvik::Format("J%zu", SkewedChoice(random, 300)); }
std::string Colour(std::mt19937& random) { return kColours[SkewedChoice(random, kColours.size())]; }

std::string Formula(std::mt19937& random)
{
    std::size_t seed = SkewedChoice(random, 5000);
    std::string formula;
    for (int i = 0; i < 3 && (i == 0 || seed > 0); ++i) {
        formula += (formula.empty() ? "" : " ") + kElements[seed % kElements.size()];
        seed /= kElements.size();
        formula += std::to_string(1 + seed % 4);
        seed /= 4;
    }
    return formula;
}

// ---- generated sources ----

void WriteKandorSource(const fs::path& folder, int count)
{
    std::mt19937 random(1);
    std::vector<norrvik::test::KandorEntryData> entries(static_cast<std::size_t>(count));
    for (int n = 0; n < count; ++n) {
        auto& entry = entries[static_cast<std::size_t>(n)];
        entry.Entry = {norrvik::Format("K%05d", n), Mineral(random).substr(0, 20), Formula(random).substr(0, 20)};
        for (int p = 0; p < 40; ++p)
            entry.Peaks.push_back(norrvik::test::KandorPeakAt(10.0 + 2.0 * p + 0.01 * static_cast<double>(random() % 100),
                                                              static_cast<double>(1 + random() % 900)));
    }
    norrvik::test::WriteKandorDatabase(folder, entries);
}

// PDF1 numbers "NN-NNNN" name a million patterns at most; the store gives
// them codes of three kinds by their value (below 10,000, below 700,000,
// beyond), all of which the generated numbers reach.
void WriteQuorvaneSource(const fs::path& folder, int count)
{
    if (count > 1000000)
        throw std::runtime_error("a PDF1 source holds at most 1,000,000 numbered patterns");
    std::mt19937 random(2);
    norrvik::test::QuorvaneDatabase database;
    database.ReferenceDatabase = true;
    database.Patterns.reserve(static_cast<std::size_t>(count));
    for (int n = 0; n < count; ++n) {
        std::vector<norrvik::test::QuorvaneLine> lines;
        for (int l = 0; l < 60; ++l)
            lines.push_back({0.7 + static_cast<double>(random() % 100000) / 10000.0,
                             static_cast<std::int16_t>(1 + random() % 999)});
        database.Patterns.push_back(norrvik::test::MakeQuorvanePattern(
            norrvik::Format("%02d-%04d", n / 10000, n % 10000),
            norrvik::test::QuorvaneNames({{'M', Mineral(random)}, {'C', Name(random)}}), Formula(random),
            std::move(lines)));
    }
    norrvik::test::WriteQuorvaneDatabase(folder, database);
}

void WriteVeltroSource(const fs::path& folder, int count)
{
    using namespace norrvik::test;
    std::mt19937 random(3);
    std::vector<VeltroLogEntry> log;
    for (int n = 0; n < count; ++n) {
        const std::string file = norrvik::Format("p%05d", n);
        log.push_back({"[USER.DB]" + file, VeltroFormula({Element("Fe"), "2", Element("O"), "3"}),
                       Mineral(random)});
        std::vector<VeltroLineEntry> lines;
        for (int l = 0; l < 40; ++l)
            lines.push_back({static_cast<std::int16_t>(2000 + 300 * l + random() % 200),
                             static_cast<std::int16_t>(10 + random() % 90), 0});
        WriteVeltroFile(folder, file + ".di", VeltroPatternBytes(1.5406, lines));
    }
    WriteVeltroFile(folder, "uplog.pdf", VeltroLogBytes(log));
}

// A target of `count` reference patterns with names, formulas, colours,
// authors and journals shared by many patterns (one index rebuild at close).
void WriteLargeTarget(const fs::path& folder, int count)
{
    std::mt19937 random(4);
    auto db = norrvik::TReferenceDatabase::CreateDatabase(folder.string(), "PDF2");
    for (int n = 0; n < count; ++n) {
        norrvik::TReferencePattern pattern;
        pattern.AddName(Name(random), 0);
        pattern.SetMineralName(Mineral(random));
        pattern.SetFormulaLine(Formula(random));
        if (random() % 10 < 7) {
            std::string line = Colour(random);
            line.resize(67, ' ');
            pattern.SetCodedComments({line + "CL"});
        }
        if (random() % 10 < 8) {
            std::string line = Journal(random);
            line.resize(21, ' ');
            pattern.SetReferences({line + Author(random)});
        }
        for (int l = 0; l < 60; ++l)
            pattern.AddLine(0.7f + static_cast<float>(random() % 100000) / 10000.0f,
                            static_cast<std::int16_t>(1 + random() % 999), 0, 0, 0);
        pattern.SetReferenceCode(norrvik::Format("01%07d", n + 1));
        db->AppendPattern(pattern);
    }
    db->Close();
}

// ---- measuring ----

struct Measured {
    double Seconds = 0;
    double PeakMiB = 0;
    bool Ok = false;
    double CpuSeconds = 0; // user and system time of the process
    // Of which the system's: on a virtual machine mostly page faults on
    // fresh memory, each of which costs microseconds there.
    double SystemSeconds = 0;
};

double SecondsOf(const timeval& time)
{
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

// Runs `work` in a child process: its time and peak memory.
Measured InChild(const std::function<void()>& work)
{
    std::fflush(stdout);
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        try {
            work();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s\n", error.what());
            _exit(1);
        }
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    return {SecondsSince(start), static_cast<double>(usage.ru_maxrss) / 1024.0,
            WIFEXITED(status) && WEXITSTATUS(status) == 0, SecondsOf(usage.ru_utime) + SecondsOf(usage.ru_stime),
            SecondsOf(usage.ru_stime)};
}

std::uintmax_t ReadEveryByte(const fs::path& folder)
{
    std::uintmax_t total = 0;
    std::vector<char> buffer(1 << 20);
    for (const auto& entry : fs::directory_iterator(folder)) {
        const int fd = open(entry.path().c_str(), O_RDONLY);
        for (ssize_t got = 0; fd >= 0 && (got = read(fd, buffer.data(), buffer.size())) > 0;)
            total += static_cast<std::uintmax_t>(got);
        if (fd >= 0)
            close(fd);
    }
    return total;
}

void DurableCopy(const fs::path& from, const fs::path& to)
{
    fs::remove_all(to);
    fs::create_directories(to);
    std::vector<char> buffer(1 << 20);
    for (const auto& entry : fs::directory_iterator(from)) {
        const int in = open(entry.path().c_str(), O_RDONLY);
        const int out = open((to / entry.path().filename()).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        for (ssize_t got = 0; in >= 0 && out >= 0 && (got = read(in, buffer.data(), buffer.size())) > 0;)
            if (write(out, buffer.data(), static_cast<std::size_t>(got)) != got)
                std::exit(1);
        if (out >= 0) {
            fsync(out);
            close(out);
        }
        if (in >= 0)
            close(in);
    }
    const int dir = open(to.c_str(), O_RDONLY | O_DIRECTORY);
    fsync(dir);
    close(dir);
}

// The I/O limit of a conversion from `source` that produced `target`.
double IoLimit(const fs::path& source, const fs::path& target, const fs::path& copy)
{
    const auto start = Clock::now();
    ReadEveryByte(source);
    DurableCopy(target, copy);
    const double seconds = SecondsSince(start);
    fs::remove_all(copy);
    return seconds;
}

double IndexFilesMiB(const fs::path& target)
{
    std::uintmax_t total = 0;
    for (const char* name : {"ReferenceCode.PDB", "Name.PDB", "MineralName.PDB", "Formula.PDB", "Color.PDB",
                             "Journal.PDB", "Author.PDB", "Index.PDB", "StrongestLines.PDB", "CrystalIndex.PDB"}) {
        std::error_code error;
        const auto size = fs::file_size(target / name, error);
        total += error ? 0 : size;
    }
    return static_cast<double>(total) / (1024.0 * 1024.0);
}

using Converter = void (*)(const std::string&, const std::string&, bool&, const norrvik::ProgressCallback&,
                           norrvik::TConversionSummary*);

void Convert(Converter convert, const fs::path& source, const fs::path& target)
{
    bool success = false;
    convert(source.string(), target.string(), success, {}, nullptr);
    if (!success)
        throw std::runtime_error("conversion failed");
}

void NewTargetCase(const fs::path& base, const std::string& title, Converter convert,
                   const std::function<void(const fs::path&)>& writeSource)
{
    const fs::path source = base / ("source-" + title);
    const fs::path target = base / ("target-" + title);
    // Generated in a child too, so that the memory it took is not counted
    // in the children forked after it.
    if (!fs::exists(source))
        InChild([&] { writeSource(source); });
    fs::remove_all(target);
    const Measured run = InChild([&] { Convert(convert, source, target); });
    if (!run.Ok) {
        std::printf("%-28s FAILED\n", title.c_str());
        return;
    }
    const double limit = IoLimit(source, target, base / "copy");
    std::printf("%-28s %8.2f s (cpu %6.2f s, system %5.2f s)   I/O limit %6.2f s   ratio %5.1f   peak %7.1f MiB   "
                "index files %7.1f MiB\n",
                title.c_str(), run.Seconds, run.CpuSeconds, run.SystemSeconds, limit, run.Seconds / limit, run.PeakMiB,
                IndexFilesMiB(target));
}

// What is added to a large target: Veltro entries, or the user patterns of
// a Tessaly database carried over.
struct AddedSource {
    const char* Name;
    Converter Convert;
    void (*Write)(const fs::path& folder, int count);
};

void ConvertTessaly(const std::string& oldFolder, const std::string& newFolder, bool& success,
                    const norrvik::ProgressCallback& progress, norrvik::TConversionSummary* summary)
{
    norrvik::ConvertTessalyDatabase(oldFolder, newFolder, success, progress, summary);
}

// The old release holds the same Veltro entries, imported into it as a lab
// imports them: each carried pattern brings the texts the Veltro add writes,
// so the two rows' costs per pattern compare like with like.
void WriteReleaseOfVeltroEntries(const fs::path& folder, int count)
{
    const fs::path entries = folder.parent_path() / (folder.filename().string() + "-entries");
    fs::remove_all(entries);
    WriteVeltroSource(entries, count);
    bool success = false;
    norrvik::ConvertVeltroDatabase(entries.string(), folder.string(), success);
    fs::remove_all(entries);
    if (!success)
        throw std::runtime_error("the old release could not be written");
}

const AddedSource kVeltroEntries{"veltro", norrvik::ConvertVeltroDatabase, WriteVeltroSource};
const AddedSource kCarriedPatterns{"veltro-release", ConvertTessaly, WriteReleaseOfVeltroEntries};

// Adds `count` patterns of `added` to a copy of the prepared target. The time of
// adding one is measured too, so that the cost of each further pattern shows
// apart from reading and writing the target's files once.
Measured AddToCopy(const fs::path& base, const fs::path& prepared, const AddedSource& added, int count)
{
    const fs::path source = base / (std::string(added.Name) + "-" + std::to_string(count));
    const fs::path target = base / "add-target";
    if (!fs::exists(source))
        InChild([&] { added.Write(source, count); });
    fs::remove_all(target);
    fs::copy(prepared, target);
    sync(); // the copy's writing would otherwise fall into the measured run
    return InChild([&] { Convert(added.Convert, source, target); });
}

// Each add, command, and the plain reads and copies they are set against,
// is timed this many times and the fastest counted: a run of a tenth of a
// second moves by half its time with whatever else the machine does.
constexpr int kTimedRuns = 3;

// The fastest of `times` runs of `measure` (wall and processor time each
// their own least; the largest peak), or a failed one.
Measured Fastest(int times, const std::function<Measured()>& measure)
{
    Measured best = measure();
    for (int k = 1; k < times && best.Ok; ++k) {
        const Measured next = measure();
        best.Ok = next.Ok;
        best.Seconds = std::min(best.Seconds, next.Seconds);
        best.CpuSeconds = std::min(best.CpuSeconds, next.CpuSeconds);
        best.SystemSeconds = std::min(best.SystemSeconds, next.SystemSeconds);
        best.PeakMiB = std::max(best.PeakMiB, next.PeakMiB);
    }
    return best;
}

// The generated target of `size` patterns, made when the folder does not
// hold it yet; nothing when making it failed.
std::optional<fs::path> PreparedTarget(const fs::path& base, int size)
{
    const fs::path prepared = base / ("large-" + std::to_string(size));
    if (!fs::exists(prepared / "ReferenceDatabase.PDB"))
        if (!InChild([&] { WriteLargeTarget(prepared, size); }).Ok)
            return std::nullopt;
    return prepared;
}

void AddCase(const fs::path& base, int targetSize, int count, const AddedSource& added)
{
    const std::string title =
        norrvik::Format(&added == &kVeltroEntries ? "add %d to %d" : "carry %d to %d", count, targetSize);
    const std::optional<fs::path> ready = PreparedTarget(base, targetSize);
    if (!ready)
        return;
    const fs::path& prepared = *ready;
    // Each the fastest of three: the time of writing the target's files
    // varies by more than a few hundred added patterns take.
    const Measured one = Fastest(kTimedRuns, [&] { return AddToCopy(base, prepared, added, 1); });
    const Measured run = Fastest(kTimedRuns, [&] { return AddToCopy(base, prepared, added, count); });
    if (!run.Ok || !one.Ok || count < 2) {
        std::printf("%-28s FAILED\n", title.c_str());
        return;
    }
    std::printf("%-28s %8.2f s (cpu %6.2f s)   %7.2f ms per added pattern (cpu %7.2f ms; adding one: %5.2f s)   "
                "peak %7.1f MiB   index files %7.1f MiB\n",
                title.c_str(), run.Seconds, run.CpuSeconds, 1000.0 * (run.Seconds - one.Seconds) / (count - 1),
                1000.0 * (run.CpuSeconds - one.CpuSeconds) / (count - 1), one.Seconds, run.PeakMiB,
                IndexFilesMiB(base / "add-target"));
}

// ---- searching ----

// The processor time of the work (this process's, the machine may be busy
// with others), in milliseconds.
double MillisecondsOf(const std::function<std::size_t()>& work, std::size_t& found)
{
    const std::clock_t start = std::clock();
    found = work();
    return 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

// Each search two ways. As a command-line search makes it: opening the
// database, the search in the index files where they lie (and, to compare,
// with the indexes read whole), the records of the first 50 hits (the
// files' pages in memory after the first run). And in a
// searcher opened once, as the browser's search box uses it: the first
// search of each kind reads its index; after that, the time of a search
// and the records of its first 50 hits.
void SearchTimes(const fs::path& target)
{
    using norrvik::TextIndex;
    struct Kind {
        const char* Title;
        std::vector<TextIndex> Indexes; // what it reads
        std::function<std::vector<norrvik::TSearchHit>(norrvik::TIndexSearch&)> Search;
    };
    const std::vector<Kind> kinds = {
        {"name AL", {TextIndex::Name, TextIndex::MineralName}, [](norrvik::TIndexSearch& s) { return s.SearchText(norrvik::SearchField::Name, "al"); }},
        {"name BEALBEITE", {TextIndex::Name, TextIndex::MineralName}, [](norrvik::TIndexSearch& s) { return s.SearchText(norrvik::SearchField::Name, "bealbeite"); }},
        {"formula FE1", {TextIndex::Formula}, [](norrvik::TIndexSearch& s) { return s.SearchText(norrvik::SearchField::Formula, "fe1"); }},
        {"code 01-000-12", {TextIndex::ReferenceCode}, [](norrvik::TIndexSearch& s) { return s.SearchText(norrvik::SearchField::Code, "01-000-12"); }},
        {"author ALBE", {TextIndex::Author}, [](norrvik::TIndexSearch& s) { return s.SearchText(norrvik::SearchField::Author, "albe"); }},
        {"lines 3.34 4.26 1.82", {}, [](norrvik::TIndexSearch& s) { return s.SearchLines({{3.34, 4.26, 1.82}, 0.01}); }},
    };
    const auto searchAndShow = [](norrvik::TIndexSearch& search, const Kind& kind) {
        const std::vector<norrvik::TSearchHit> hits = kind.Search(search);
        for (std::size_t i = 0; i < std::min<std::size_t>(hits.size(), 50); ++i)
            search.Summary(hits[i].RecordNumber);
        return hits.size();
    };
    std::size_t found = 0;
    std::unique_ptr<norrvik::TIndexSearch> held;
    const double opened = MillisecondsOf([&] { held = std::make_unique<norrvik::TIndexSearch>(target.string()); return 0; }, found);
    std::printf("search times are processor time; searcher opened in %.1f ms\n", opened);
    const auto recordsOf = [](const std::vector<norrvik::TSearchHit>& hits) {
        std::vector<std::int32_t> records;
        for (const norrvik::TSearchHit& hit : hits)
            records.push_back(hit.RecordNumber);
        return records;
    };
    for (const Kind& kind : kinds) {
        // As a command that reads its indexes whole, and whether it finds the same.
        std::vector<norrvik::TSearchHit> whole;
        const double wholeCommand = MillisecondsOf(
            [&] {
                norrvik::TIndexSearch fresh(target.string());
                for (const TextIndex index : kind.Indexes)
                    fresh.Index(index);
                whole = kind.Search(fresh);
                return searchAndShow(fresh, kind);
            },
            found);
        norrvik::TIndexSearch inPlace(target.string());
        const bool same = recordsOf(kind.Search(inPlace)) == recordsOf(whole);
        const auto wallStart = Clock::now();
        const double command = MillisecondsOf([&] { norrvik::TIndexSearch fresh(target.string()); return searchAndShow(fresh, kind); }, found);
        const double commandWall = 1000.0 * SecondsSince(wallStart);
        const double first = MillisecondsOf([&] { return searchAndShow(*held, kind); }, found);
        double later = 0;
        for (int round = 0; round < 5; ++round)
            later += MillisecondsOf([&] { return searchAndShow(*held, kind); }, found) / 5;
        std::printf("search %-22s %8zu found   as a command %7.1f ms (wall %7.1f; index read whole %7.1f ms, %s)"
                    "   held: first %7.1f ms, then %7.2f ms\n",
                    kind.Title, found, command, commandWall, wholeCommand, same ? "same hits" : "OTHER HITS", first,
                    later);
    }
}

// The browser's list: all patterns ordered by code and the first screen of
// rows read, then the list ordered by names and by formula.
void BrowserTimes(const fs::path& target)
{
    std::size_t rows = 0;
    const std::clock_t start = std::clock();
    norrvik::TIndexSearch search(target.string());
    norrvik::TPatternList list(search);
    for (std::size_t row = 0; row < std::min<std::size_t>(list.RowCount(), 40); ++row)
        list.SummaryAt(row);
    rows = list.RowCount();
    const double opened = 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    std::size_t unused = 0;
    const double byNames = MillisecondsOf([&] { list.SortBy(norrvik::PatternColumn::Names, false); return rows; }, unused);
    const double byFormula = MillisecondsOf([&] { list.SortBy(norrvik::PatternColumn::Formula, false); return rows; }, unused);
    const double scrolled = MillisecondsOf(
        [&] {
            for (std::size_t row = rows / 2; row < std::min(rows, rows / 2 + 40); ++row)
                list.SummaryAt(row);
            return rows;
        },
        unused);
    std::printf("browser list of %zu patterns (processor time): opened with its first 40 rows %8.1f ms; ordered by names %8.1f ms, "
                "by formula %8.1f ms; 40 rows in the middle %6.2f ms\n",
                rows, opened, byNames, byFormula, scrolled);
}

void SearchCase(const fs::path& base, int targetSize)
{
    if (const std::optional<fs::path> prepared = PreparedTarget(base, targetSize)) {
        SearchTimes(*prepared);
        BrowserTimes(*prepared);
    }
}

// ---- the database commands ----

// Runs norrvik-cli with `arguments` in a child whose standard output goes
// to `output` (its error output is let go): its time, processor time and
// peak memory, ok when the command succeeded.
Measured CommandInChild(const std::vector<std::string>& arguments, const fs::path& output)
{
    return InChild([&] {
        const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int quiet = open("/dev/null", O_WRONLY);
        if (fd < 0 || quiet < 0 || dup2(fd, STDOUT_FILENO) < 0 || dup2(quiet, STDERR_FILENO) < 0)
            throw std::runtime_error("cannot redirect the command's output");
        std::vector<const char*> argv{"norrvik-cli"};
        for (const std::string& argument : arguments)
            argv.push_back(argument.c_str());
        const int status = norrvik::RunCli(static_cast<int>(argv.size()), argv.data(), std::cout, std::cerr);
        std::cout.flush();
        if (status != 0)
            throw std::runtime_error(norrvik::Format("the command exited with %d", status));
    });
}

void PrintCommandRow(const std::string& title, const Measured& run, const std::string& against)
{
    if (!run.Ok) {
        std::printf("%-28s FAILED\n", title.c_str());
        return;
    }
    std::printf("%-28s %8.2f s (cpu %6.2f s, system %5.2f s)   %s   peak %7.1f MiB\n", title.c_str(), run.Seconds,
                run.CpuSeconds, run.SystemSeconds, against.c_str(), run.PeakMiB);
}

// The fastest of `times` runs of `work` in this process, in seconds.
double FastestSeconds(int times, const std::function<void()>& work)
{
    double best = 0;
    for (int k = 0; k < times; ++k) {
        const auto start = Clock::now();
        work();
        const double seconds = SecondsSince(start);
        best = k == 0 ? seconds : std::min(best, seconds);
    }
    return best;
}

// `verify` against reading every file of the target once (its pages in
// memory, as the check leaves them).
void VerifyCase(const fs::path& base, int targetSize)
{
    const std::optional<fs::path> prepared = PreparedTarget(base, targetSize);
    if (!prepared)
        return;
    const Measured run =
        Fastest(kTimedRuns, [&] { return CommandInChild({"verify", prepared->string()}, "/dev/null"); });
    const double read = FastestSeconds(kTimedRuns, [&] { ReadEveryByte(*prepared); });
    PrintCommandRow(norrvik::Format("verify %d", targetSize), run,
                    norrvik::Format("reading its files %6.2f s   ratio %5.1f   index files %7.1f MiB", read,
                                    run.Seconds / read, IndexFilesMiB(*prepared)));
}

void RebuildCase(const fs::path& base, int targetSize)
{
    const std::optional<fs::path> prepared = PreparedTarget(base, targetSize);
    if (!prepared)
        return;
    const fs::path target = base / "rebuild-target";
    fs::remove_all(target);
    fs::copy(*prepared, target);
    const Measured run = CommandInChild({"rebuild", target.string()}, "/dev/null");
    PrintCommandRow(norrvik::Format("rebuild %d", targetSize), run,
                    norrvik::Format("index files %7.1f MiB", IndexFilesMiB(target)));
}

// Copies the file to /dev/null through a 1 MiB buffer.
void PlainCopyToNull(const fs::path& file)
{
    const int in = open(file.c_str(), O_RDONLY);
    const int out = open("/dev/null", O_WRONLY);
    std::vector<char> buffer(1 << 20);
    for (ssize_t got = 0; in >= 0 && out >= 0 && (got = read(in, buffer.data(), buffer.size())) > 0;)
        if (write(out, buffer.data(), static_cast<std::size_t>(got)) != got)
            std::exit(1);
    close(in);
    close(out);
}

// `dump` into /dev/null against a plain copy of the bytes it writes (kept
// once in a file).
void DumpCase(const fs::path& base, int targetSize)
{
    const std::optional<fs::path> prepared = PreparedTarget(base, targetSize);
    if (!prepared)
        return;
    for (const bool json : {false, true}) {
        std::vector<std::string> arguments{"dump", prepared->string()};
        if (json)
            arguments.emplace_back("--json");
        const fs::path kept = base / "dump-output";
        const bool written = CommandInChild(arguments, kept).Ok;
        const Measured run = Fastest(kTimedRuns, [&] { return CommandInChild(arguments, "/dev/null"); });
        const double copy = FastestSeconds(kTimedRuns, [&] { PlainCopyToNull(kept); });
        std::error_code error;
        const double mib = static_cast<double>(fs::file_size(kept, error)) / (1024.0 * 1024.0);
        fs::remove(kept);
        PrintCommandRow(norrvik::Format("dump %d%s", targetSize, json ? " --json" : ""),
                        written ? run : Measured{},
                        norrvik::Format("plain copy of its %7.1f MiB %6.2f s   ratio %5.1f", mib, copy,
                                        run.Seconds / copy));
    }
}

} // namespace

int main(int argc, char** argv)
{
    const bool ownFolder = argc < 2;
    const fs::path base = ownFolder ? fs::temp_directory_path() / ("norrvik-bench-" + std::to_string(getpid()))
                                    : fs::path(argv[1]);
    fs::create_directories(base);
    std::vector<std::string> workloads(argv + std::min(argc, 2), argv + argc);
    if (workloads.empty())
        workloads = {"kandor=9999", "pdf1=100000", "pdf1=400000", "add=100000:1000", "add=400000:300", "dump=100000"};
    const auto million = std::find(workloads.begin(), workloads.end(), "million");
    if (million != workloads.end())
        workloads.insert(workloads.erase(million),
                         {"pdf1=1000000", "add=1000000:300", "verify=1000000", "rebuild=1000000"});
    for (const std::string& workload : workloads) {
        const std::size_t equals = workload.find('=');
        const std::string kind = workload.substr(0, equals);
        const std::string size = equals == std::string::npos ? "" : workload.substr(equals + 1);
        if (kind == "kandor") {
            const int count = std::stoi(size);
            NewTargetCase(base, "kandor " + size, norrvik::ConvertKandorDatabase,
                          [count](const fs::path& folder) { WriteKandorSource(folder, count); });
        } else if (kind == "pdf1") {
            const int count = std::stoi(size);
            NewTargetCase(base, "pdf1 " + size, norrvik::ConvertQuorvaneDatabase,
                          [count](const fs::path& folder) { WriteQuorvaneSource(folder, count); });
        } else if (kind == "search") {
            SearchCase(base, std::stoi(size));
        } else if (kind == "verify") {
            VerifyCase(base, std::stoi(size));
        } else if (kind == "rebuild") {
            RebuildCase(base, std::stoi(size));
        } else if (kind == "dump") {
            DumpCase(base, std::stoi(size));
        } else if (kind == "add") {
            AddCase(base, std::stoi(size), std::stoi(size.substr(size.find(':') + 1)), kVeltroEntries);
        } else if (kind == "carry") {
            AddCase(base, std::stoi(size), std::stoi(size.substr(size.find(':') + 1)), kCarriedPatterns);
        } else {
            std::fprintf(stderr, "unknown workload %s\n", workload.c_str());
            return 2;
        }
    }
    if (ownFolder)
        fs::remove_all(base);
    return 0;
}
