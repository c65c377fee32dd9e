// The import log of a target database: one file in the database folder
// (kImportLogFileName) that records every conversion run into it, one JSON
// object per line, appended and never rewritten. A run is a "begin" line
// (when, program version, format, the source folder as given, as an
// absolute normalised path and by the file system's identity, the target's
// counts before), the lines of its entries (the source entry, the code it
// got or why it got none), an "end" line with its outcome and counts, and
// later maybe a "restored" line (a later open restored the stopped run to
// its last commit) or an "undone" line.
//
// Crash rules: entry lines are written only after the patterns they name
// are committed to the database, and every write is put on the disk before
// the run goes on, so the log never claims a pattern the database does not
// hold (it may name fewer: a run killed between a commit and its log write).
// A run without an "end" line stopped without closing (killed, power cut).
// A torn last line is passed over by readers and closed off by the next
// writer. The Tessaly search software reads only its fifteen files; the log
// does not disturb it. A database without a log (made by another program,
// or before the log) works as before.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norrvik {

// How a run ended; Interrupted: it never wrote its end (killed, power cut).
enum class ImportOutcome { Completed, Cancelled, Failed, Interrupted };

// "completed", "cancelled", "failed", "interrupted".
std::string_view ImportOutcomeName(ImportOutcome outcome);

// What became of one source entry.
enum class EntryResult {
    Added,             // stored under Code
    AddedWithoutLines, // stored under Code, without lines: its pattern file is missing
    AlreadyPresent,    // not stored: the target holds Code already
    StoredBefore,      // not stored: the stopped run this one finishes stored it
};

std::string_view EntryResultName(EntryResult result);

struct TImportEntry {
    long Entry = 0;   // the entry's place in the source, from 1
    std::string Name; // its name in the source (pattern file, number, old code)
    std::string Code; // the reference code it got, or has in the target
    EntryResult Result = EntryResult::Added;
};

// Where a run read from: the folder as given, as an absolute normalised path,
// and the file system's identity of it (empty where there is none).
struct TImportSource {
    std::string AsGiven;
    std::string Path;
    std::string Identity;
};

// The source of `folder` as a run records it.
TImportSource DescribeImportSource(const std::string& folder);

// True when the two describe one folder: the same identity, or else the same
// normalised path (compared without letter case where the file system
// ignores it).
bool SameImportSource(const TImportSource& first, const TImportSource& second);

struct TImportRun {
    int Number = 0;       // from 1, in the order the runs began
    std::string Time;     // UTC, "2026-12-09T12:30:05Z"
    std::string Version;  // of this program
    std::string Format;   // the source format's command-line name
    TImportSource Source;
    bool NewDatabase = false; // the run created the database
    long PatternsBefore = 0;
    long UserPatternsBefore = 0;
    int Finishes = 0; // the stopped run this one finishes, or 0

    ImportOutcome Outcome = ImportOutcome::Interrupted;
    std::string EndTime;
    std::string Message; // why it stopped, for a run cancelled or failed
    long EntriesTotal = 0;
    long EntriesDone = 0;
    long Added = 0;
    long Skipped = 0;
    long WithoutLines = 0;
    long PatternsAfter = 0;
    // An interrupted run restored by a later open: the patterns the database
    // then held.
    std::optional<long> RestoredPatterns;
    bool Undone = false;
    // The entry lines, when they were read (LogDetail::Entries).
    std::vector<TImportEntry> Entries;
    // Entry lines of patterns this run stored (read in either detail).
    long EntriesStored = 0;

    long StoredEntries() const { return EntriesStored; }
};

// How much of the log to read: the runs alone (their entry lines counted,
// not kept: a log of a large reference conversion holds one per pattern),
// or their entries too.
enum class LogDetail { Runs, Entries };

// The runs of the log in `folder` (its database folder), in order. No log: no
// runs. Lines that cannot be read (a torn last line, a line another program
// wrote) are passed over. Raises EInOutError naming the file when it exists
// but cannot be read.
std::vector<TImportRun> ReadImportLog(const std::filesystem::path& folder, LogDetail detail = LogDetail::Entries);

// The runs of the database as it stands: those since the last run that
// created the database, undone runs left out.
std::vector<TImportRun> CurrentImportRuns(const std::vector<TImportRun>& runs);

// Appends the lines of runs to the log of one folder, each write put on the
// disk before it returns.
class TImportLogWriter {
public:
    explicit TImportLogWriter(std::filesystem::path folder);

    // The number the next run gets.
    int NextRunNumber() const;

    void WriteBegin(const TImportRun& run);
    void WriteEntries(int run, const std::vector<TImportEntry>& entries);
    void WriteEnd(const TImportRun& run);
    void WriteRestored(int run, long patterns);
    void WriteUndone(int run);

private:
    void AppendLines(const std::string& lines);

    std::filesystem::path path_;
    // The entry lines of one commit, kept with their room from commit to
    // commit: a conversion commits every few thousand patterns, and fresh
    // memory each time costs more than the lines take to make.
    std::string entryLines_;
};

} // namespace norrvik
