// The target reference database: one folder of .PDB files, created anew or
// opened, patterns added to it (each updating every index at once) or
// appended (the indexes rebuilt when it closes), patterns read back by record
// number or reference code, and the index rebuild and sorting.
//
// Closing writes files (a pending index rebuild), so it can fail. The
// destructor closes the database too but, as destructors must not throw, it
// swallows any failure: callers that must see a failed close (a conversion on
// its normal path) call Close() explicitly before the object goes.
//
// The store is a façade over its parts, each with its own fields and file:
// - TDatabaseFolder (DatabaseFolder.h): the folder and its files' names,
//   found whatever their letter case;
// - TTextLineFiles (TextLineFiles.h): Comment.PDB and Literature.PDB;
// - TDatabaseRun (DatabaseRun.h): the run marker, the group commits, the
//   final commit and the recovery of a stopped run;
// - TIndexMaintenance (IndexMaintenance.h): the index work of added
//   patterns, the text indexes held in memory, the binary index files kept
//   open, the rebuild and the sorting.
// The store itself holds the main data file, its header and the lists, reads
// and looks up patterns, and adds them.
//
// Stops and crashes (the rules in full are in DatabaseRun.h): whatever stops
// a run that changes the database, the database afterwards holds exactly the
// patterns committed before the stop, each with its own text lines, and its
// indexes in step with them, at once or after the recovery the next open for
// writing makes. The run's marker exists exactly while a run of ours changes
// the database; a pattern's text lines go before its record, records before
// the header that counts them, and the header's count is the commit point.
// Besides:
// - A database opened for writing whose indexes are out of step with its
//   records without our marker (left so by another program, or copied) is
//   refused with a message that names the first such file and says to run
//   `norrvik-cli rebuild`, which opens it with OpenForIndexRebuild.
// - Opened for reading, a database with a marker shows its committed
//   patterns; nothing is changed.
// - Opening for writing removes the temporary files a stopped run left.
// - A run asked to (KeepUndoPoint) keeps, before its first change, what
//   undoing it needs (UndoPoint.h) and seals it at its final commit; any
//   other run that changes the database drops the point an earlier one kept.
#pragma once

#include "common/Progress.h"
#include "refdb/DatabaseFolder.h"
#include "refdb/DatabaseHeader.h"
#include "refdb/DatabaseRun.h"
#include "refdb/IndexMaintenance.h"
#include "refdb/Indexes.h"
#include "refdb/PatternDatabaseLink.h"
#include "refdb/RecordFile.h"
#include "refdb/ReferencePattern.h"
#include "refdb/TextIndexCache.h"
#include "refdb/TextLineFiles.h"

#include <array>
#include <cstdint>
#include <functional>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace norrvik {

class TReferenceDatabase : public TPatternDatabaseLink, private TRunFiles, private TStoredPatterns {
public:
    // Patterns written between two commits of a run, by default.
    static constexpr std::int32_t kPatternsPerCommit = TDatabaseRun::kPatternsPerCommit;
    // Sets it for every database of the process (tests lower it so that a
    // small run commits several times).
    static void SetPatternsPerCommit(std::int32_t count);

    // A closed database named "Unknown", read-only.
    TReferenceDatabase();
    // Deletes the database files in `folder` (created when missing, and put
    // on the disk) and the temporary files a stopped run left, and creates a
    // new, empty database there, left open for writing with an
    // index rebuild pending. The title keeps its first 30 characters.
    // With `undoRun`, the creation keeps an undo point under that run
    // number (see KeepUndoPoint).
    static std::unique_ptr<TReferenceDatabase> CreateDatabase(const std::string& folder,
                                                              const std::string& title,
                                                              std::optional<int> undoRun = std::nullopt);
    // Closes the database; a failure is swallowed (see the file comment).
    ~TReferenceDatabase() override;

    TReferenceDatabase(const TReferenceDatabase&) = delete;
    TReferenceDatabase& operator=(const TReferenceDatabase&) = delete;

    // The folder, with a trailing path delimiter. Setting another value
    // closes the database first (a pending rebuild still writes to the old
    // folder); the database is not opened.
    const std::string& DatabaseName() const { return folder_.Name(); }
    // The same folder as a path, for the files in it.
    const std::filesystem::path& DatabaseFolder() const { return folder_.Folder(); }
    void SetDatabaseName(const std::string& folder);

    // True after construction and after every Close. Changing it on an open
    // database closes and reopens it in the new mode.
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value);

    // Set before Open: Open then leaves ReferenceCode.PDB to the first
    // look-up by code (a caller that reads the index files itself, and
    // reads records by number, need not wait for it).
    void SetCodeIndexOnDemand(bool value) { codeIndexOnDemand_ = value; }

    // Opens the database named by DatabaseName unless it is open. Raises
    // "Folder %s doesn't exist.", "Folder %s doesn't contain %s.", the index
    // file messages, "Incorrect entry in the file with subfiles." and file
    // errors.
    void Open();
    // Opens the database for rewriting its indexes from the main data file
    // alone (RebuildIndexes): only the folder and ReferenceDatabase.PDB must
    // be there and readable; the index files, Subfiles.PDB and Codes.PDB
    // may be missing or damaged. A stopped run of ours is restored to its
    // last commit first.
    void OpenForIndexRebuild();
    // Commits what was written (the run's final commit, see DatabaseRun.h;
    // a pending index rebuild runs first), closes the files and forgets the state. The
    // database is closed afterwards even when this raises; after a failure
    // the marker stays, so the next open recovers the last commit.
    void Close();

    std::int32_t PatternCount();
    std::int32_t UserPatternCount();
    int SubfileCount();
    // True when one of the nine required files is missing or may not be
    // written (WhyFileMayNotBeWritten: a link, not a regular file, no write
    // permission).
    bool HasReadOnlyFiles();
    // The required files that are missing or may not be written.
    std::vector<std::string> ReadOnlyFiles(bool firstOnly) const;
    bool IndexRebuildPending() const { return indexes_.RebuildPending(); }
    bool Opened() const { return opened_; }

    // The header's version and title (opens the database).
    std::string Version();
    std::string Title();

    // Deletes each of the fifteen database files that exists, under
    // whatever letter case; files that cannot be deleted are passed over.
    static void DeleteDatabaseFiles(const std::string& folderWithDelimiter);
    void CheckDatabaseFiles();
    void CheckSubfiles();

    // Makes pattern n (1..PatternCount) current; "Invalid index" otherwise.
    TReferencePattern& GetPattern(std::int32_t n);
    void LoadPattern(std::int32_t n);
    // The pattern with a 9-digit or 11-character (dashed) reference code.
    TReferencePattern& FindPattern(const std::string& code);
    std::int32_t FindRecordNumber(const std::string& code);
    // FindRecordNumber's answer, or nothing where it raises that the code is
    // not in the index (or the index holds none): a conversion asks this of
    // every pattern, and most are not there.
    std::optional<std::int32_t> LookUpRecordNumber(const std::string& code);
    // The last pattern read or written.
    TReferencePattern& CurrentPattern() { return currentPattern_; }

    // Stores the pattern as a user pattern and brings every index up to date.
    // The pattern is changed (status, elements, line order, text ranges).
    void AddPattern(TReferencePattern& pattern);
    // Stores the pattern and its text lines; the indexes are rebuilt at Close.
    void AppendPattern(TReferencePattern& pattern);
    // Stores the pattern record exactly as it is (code, status, elements,
    // line order, MaxIntensity), with its text lines: only the text ranges
    // and the record number become those of this database. A user pattern
    // brings every index up to date at once, as AddPattern does; any other
    // pattern leaves the indexes to the rebuild at Close, as AppendPattern.
    // For a pattern copied from another Tessaly database.
    void CopyPattern(TReferencePattern& pattern);

    // Rewrites all ten index files from the main data file, sorted, each
    // written whole before it replaces the old one; no rebuild is pending
    // afterwards.
    void RebuildIndexes();
    // Sorts the seven text indexes and writes those that changed.
    void SortTextIndexes();
    // Sorts one text index file of the folder; a file that cannot be read
    // as a text index is left as it is.
    void SortTextIndex(const std::string& fileName);

    // The next run's first change keeps an undo point (UndoPoint.h) under
    // `runNumber` (the import log's) first; without it, a run drops the point
    // an earlier run kept. A run that changes nothing keeps and drops nothing.
    void KeepUndoPoint(int runNumber) { undoRun_ = runNumber; }

    // Called once per pattern during RebuildIndexes with its display code.
    void SetOnIndexPatternMsg(std::function<void(const std::string& referenceCode)> handler);
    // Stage::WritingIndexes, done = n, total = PatternCount, per pattern of RebuildIndexes.
    void SetProgressCallback(ProgressCallback callback);
    // Not owned; told of every run's begin, commits, end and recovery
    // (see DatabaseRun.h). nullptr for none.
    void SetRunObserver(TRunObserver* observer) { run_.SetObserver(observer); }
    // Not owned; handed to every pattern LoadPattern reads. nullptr for none.
    void SetPreferences(const TPreferencesForReferenceDatabase* preferences);

    const std::vector<std::string>& SubfileList() const { return subfileList_; }
    const std::vector<std::string>& CodeList() const { return codeList_; }

    // Writes the held text indexes that differ from their files, in the
    // order of kSortTextIndexOrder; after a failure ReferenceCode.PDB is left
    // as it was (see there) and the first failure is raised.
    void WriteHeldTextIndexes();

    // TPatternDatabaseLink
    void ReadTextLines(TextSideFile file, std::int32_t first, std::vector<std::string>& lines,
                       std::int32_t count) override;
    std::string JournalName(const std::string& code) override;

private:
    void ResetState();
    std::string FilePath(std::string_view fileName) const { return folder_.FilePath(fileName); }
    bool FileExists(std::string_view fileName) const { return folder_.Exists(fileName); }

    void WriteNewDatabaseFiles(const std::string& title);
    void OpenMainDataFile();
    void LoadListsForRebuild();
    // The first index file that does not hold one entry (ReferenceCode.PDB)
    // or one record (the binary indexes) per pattern; empty when none.
    std::string_view FirstIndexOutOfStep() const;
    void RefuseIndexesOutOfStep() const;
    void RecoverInterruptedRun();
    // Restores a stopped run's last commit (see DatabaseRun.h), the undo
    // point of any earlier run dropped first.
    void TakeOverStoppedRun();
    void CloseFiles(std::exception_ptr& failure);
    void LoadSubfileList();
    void LoadCodeList();
    void SaveDefaultSubfileList();
    void LoadReferenceCodeIndex();

    // Begins the run unless it has begun (see DatabaseRun.h).
    void BeginRun(bool newDatabase, const std::string& title);
    void CheckPatternCanBeWritten(const TReferencePattern& pattern);
    void WriteTextLinesOf(TReferencePattern& pattern);
    // deriveFields: elements from the formulas, lines sorted by d-spacing
    // and MaxIntensity from the lines, as every added pattern has them;
    // false stores the record as it is.
    void WritePatternRecord(TReferencePattern& pattern, bool deriveFields);
    void RefuseReadOnlyFiles();

    // TRunFiles
    void SyncPatternFiles() override;
    void StartPatternWriteback() override;
    void WriteHeader() override;
    void CommitIndexes() override;
    void CompleteNewDatabase(const std::string& title) override;
    void CutToLastCommit(const std::optional<TRunStart>& start) override;
    void CutTextLineFiles(const std::optional<TRunStart>& start);
    void SealRun() override;

    // TStoredPatterns
    std::int32_t StoredPatternCount() override { return header_.PatternCount(); }
    TReferencePattern& LoadStoredPattern(std::int32_t n) override;

    TDatabaseFolder folder_;
    bool opened_ = false;
    bool readOnly_ = true;
    bool oldRecordFormat_ = false;
    TRecordFile dataFile_; // current or older record size, see oldRecordFormat_
    bool codeIndexOnDemand_ = false;
    DatabaseHeader header_;
    TTextLineFiles textLines_{folder_, readOnly_};
    TIndexMaintenance indexes_{folder_, readOnly_};
    TDatabaseRun run_{folder_, *this};
    std::vector<std::string> codeList_;
    std::vector<std::string> subfileList_;
    TIndexes referenceCodeIndex_;
    TReferencePattern currentPattern_;
    const TPreferencesForReferenceDatabase* preferences_ = nullptr;
    // The files were found writable by the first AddPattern since opening;
    // under the run's exclusive lock they stay so.
    bool filesFoundWritable_ = false;
    // The run number the next run's undo point gets (kept over reopening).
    std::optional<int> undoRun_;
    // This run keeps an undo point: its final commit seals it.
    bool undoPointKept_ = false;
};

} // namespace norrvik
