// A run of this program that changes the target database: the marker that
// says a run is in progress, the group commits and the final commit, and the
// recovery of a run that stopped half-way. The run puts the steps in order;
// the store does them on its files (TRunFiles).
//
// Whatever stops a run (an error, a kill, a power cut), the database
// afterwards holds exactly the patterns committed before the stop, each with
// its own text lines, and its indexes in step with them, at once or after
// the recovery the next open for writing makes:
// - Before its first change a run writes the marker file (kRunMarkerFileName)
//   with the pattern count and the lengths of Comment.PDB and Literature.PDB
//   at its start, and puts it and the folder on the disk (fsync). The marker
//   exists exactly while a run of ours is changing the database.
// - Writes go in a fixed order: a pattern's text lines before its record,
//   records before the header that counts them. The header's pattern count is
//   the commit point: it is written only at commits, every
//   PatternsPerCommit() patterns and at the end, after the text-line files and
//   the records it counts are on the disk. Between commits the header on
//   disk counts the last committed patterns; the store counts them all.
// - The final commit (Finish) goes in this order: text-line files, records,
//   the index files (the pending rebuild, or the held text indexes and the
//   binary indexes), each put on the disk; the header, on the disk; the
//   folder; then the marker is removed. Index files are replaced whole,
//   never half-written.
// - Open for writing finds the marker of a run that stopped and, before
//   anything is looked up, restores the last commit (RestoreLastCommit): the
//   main data file cut to the header's count (an uncounted or torn tail
//   goes), the text-line files cut to the end of the committed patterns'
//   lines but never below their length when the run started, leftover
//   temporary files removed; then every index is rebuilt from the main data
//   file and the marker removed (Finish). A new database whose creation
//   stopped is completed as an empty one.
//
// A run tells a TRunObserver (an import log, say) when it has begun, at each
// commit, when it has finished and when a stopped run was restored.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace norrvik {

class TDatabaseFolder;

// What the run marker records about the database when a run starts.
struct TRunStart {
    bool NewDatabase = false;
    std::int32_t Patterns = 0;
    std::int64_t CommentLines = 0;    // whole line records of Comment.PDB
    std::int64_t LiteratureLines = 0; // and of Literature.PDB
    std::string Title;
};

// The steps a run asks of the store's files, each complete when it returns.
class TRunFiles {
public:
    virtual ~TRunFiles() = default;
    // The text-line files, then the main data file's records, on the disk.
    virtual void SyncPatternFiles() = 0;
    // Lets the system start writing what SyncPatternFiles will wait for.
    virtual void StartPatternWriteback() = 0;
    // The header with the counts of every pattern written, on the disk: the
    // commit point.
    virtual void WriteHeader() = 0;
    // Every index file brought in step with the records and on the disk.
    virtual void CommitIndexes() = 0;
    // Recovery: the files a new database starts with, where missing.
    virtual void CompleteNewDatabase(const std::string& title) = 0;
    // Recovery: the main data file opened and cut to its header's count, the
    // text-line files cut to the lines of the patterns it counts, never
    // below their lengths at `start` (nothing cut without it).
    virtual void CutToLastCommit(const std::optional<TRunStart>& start) = 0;
    // The last step of the final commit, with every file as the run leaves
    // it and before the marker goes (the record an undo point keeps of that
    // state); nothing by default.
    virtual void SealRun() {}
};

// Told of a run's steps, each after it is on the disk.
class TRunObserver {
public:
    virtual ~TRunObserver() = default;
    virtual void RunBegun(const TRunStart& start) = 0;
    virtual void PatternsCommitted() = 0;
    virtual void RunFinished() = 0;
    // A stopped run was restored to its last commit (`start` from its
    // marker, when it could be read); its Finish follows.
    virtual void RunRestored(const std::optional<TRunStart>& start) = 0;
};

// The lines "<key> <value>" that record `start` (in the marker, and in an
// undo point's manifest), and `start` read back from a text holding them
// among other lines; nothing when one is missing or garbled.
std::string RunStartText(const TRunStart& start);
std::optional<TRunStart> ParseRunStart(std::string_view text);

class TDatabaseRun {
public:
    // Patterns written between two commits of a run, by default.
    static constexpr std::int32_t kPatternsPerCommit = 4096;
    // Sets it for every run of the process (tests lower it so that a small
    // run commits several times).
    static void SetPatternsPerCommit(std::int32_t count);
    static std::int32_t PatternsPerCommit();

    TDatabaseRun(const TDatabaseFolder& folder, TRunFiles& files);

    // Not owned; nullptr for none.
    void SetObserver(TRunObserver* observer) { observer_ = observer; }

    // True while this run's marker is on the disk.
    bool Marked() const { return marked_; }
    // True when the folder holds a marker (of this run or of a stopped one).
    bool HasMarker() const;
    // The marker of a run, or nothing when it is missing or garbled.
    std::optional<TRunStart> ReadMarker() const;

    // Writes the marker with `start` and puts it and the folder on the disk;
    // nothing when this run is marked already.
    void Begin(const TRunStart& start);
    // The marker's writing and removal, each put on the disk with the
    // folder; for Begin and Finish, and for an undo, which marks its changes
    // as a run does. A marker that cannot be written whole is removed.
    static void WriteMarker(const TDatabaseFolder& folder, const TRunStart& start);
    static void RemoveMarker(const TDatabaseFolder& folder);
    // Counts a pattern written; commits every PatternsPerCommit().
    void PatternWritten();
    void Commit();
    // The final commit; the marker is removed last.
    void Finish();
    // Restores the last commit of the stopped run whose marker the folder
    // holds and takes the run over: Finish completes it.
    void RestoreLastCommit();
    // Forgets the run (the store closed); a marker on the disk stays.
    void Forget();

private:
    const TDatabaseFolder& folder_;
    TRunFiles& files_;
    TRunObserver* observer_ = nullptr;
    bool marked_ = false; // the marker of this run is on the disk
    std::int32_t uncommittedPatterns_ = 0;
};

} // namespace norrvik
