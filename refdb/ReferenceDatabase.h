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
// Speed: the seven text indexes are held in memory once read. Adding a
// pattern appends its entries and sorts them there; the index files are
// written once, by WriteHeldTextIndexes (which Close calls), with exactly
// the bytes that appending to and sorting every file at each addition would
// leave. While a full rebuild is pending anyway (a new database, or after
// AppendPattern), adding a pattern leaves the text indexes to that rebuild.
//
// Stops and crashes. Whatever stops a run that changes the database (an
// error, a kill, a power cut), the database afterwards holds exactly the
// patterns committed before the stop, each with its own text lines, and its
// indexes in step with them, at once or after the recovery the next open
// makes:
// - Before its first change a run writes the marker file (kRunMarkerFileName)
//   with the pattern count and the lengths of Comment.PDB and Literature.PDB
//   at its start, and puts it and the folder on the disk (fsync). The marker
//   exists exactly while a run of ours is changing the database.
// - Writes go in a fixed order: a pattern's text lines before its record,
//   records before the header that counts them. The header's pattern count is
//   the commit point: it is written only at commits, every
//   kPatternsPerCommit patterns and at Close, after the text-line files and
//   the records it counts are on the disk. Between commits the header on
//   disk counts the last committed patterns; the object counts them all.
// - Close commits in this order: text-line files, records, the index files
//   (the pending rebuild, or the held text indexes and the binary indexes),
//   each put on the disk; the header, on the disk; the folder; then the
//   marker is removed. Index files are replaced whole, never half-written.
// - Open for writing finds the marker of a run that stopped and, before
//   anything is looked up, restores the last commit: the main data file cut
//   to the header's count (an uncounted or torn tail goes), the text-line
//   files cut to the end of the committed patterns' lines but never below
//   their length when the run started, every index rebuilt from the main
//   data file, leftover temporary files removed, the marker removed. A new
//   database whose creation stopped is completed as an empty one.
// - A database opened for writing whose indexes are out of step with its
//   records without our marker (left so by another program, or copied) is
//   refused with a message that names the first such file and says to run
//   `norrvik-cli rebuild`, which opens it with OpenForIndexRebuild.
// - Opened for reading, a database with a marker shows its committed
//   patterns; nothing is changed.
#pragma once

#include "common/Progress.h"
#include "refdb/DatabaseHeader.h"
#include "refdb/Indexes.h"
#include "refdb/PatternDatabaseLink.h"
#include "refdb/RecordFile.h"
#include "refdb/ReferencePattern.h"
#include "refdb/TextIndexCache.h"

#include <array>
#include <cstdint>
#include <functional>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace norrvik {

class TReferenceDatabase : public TPatternDatabaseLink {
public:
    // Patterns written between two commits of a run, by default.
    static constexpr std::int32_t kPatternsPerCommit = 4096;
    // Sets it for every database of the process (tests lower it so that a
    // small run commits several times).
    static void SetPatternsPerCommit(std::int32_t count);

    // A closed database named "Unknown", read-only.
    TReferenceDatabase();
    // Deletes the database files in `folder` (created when missing) and
    // creates a new, empty database there, left open for writing with an
    // index rebuild pending. The title keeps its first 30 characters.
    static std::unique_ptr<TReferenceDatabase> CreateDatabase(const std::string& folder,
                                                              const std::string& title);
    // Closes the database; a failure is swallowed (see the file comment).
    ~TReferenceDatabase() override;

    TReferenceDatabase(const TReferenceDatabase&) = delete;
    TReferenceDatabase& operator=(const TReferenceDatabase&) = delete;

    // The folder, with a trailing path delimiter. Setting another value
    // closes the database first (a pending rebuild still writes to the old
    // folder); the database is not opened.
    const std::string& DatabaseName() const { return databaseName_; }
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
    // Commits what was written (see the file comment; a pending index
    // rebuild runs first), closes the files and forgets the state. The
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
    bool IndexRebuildPending() const { return indexRebuildPending_; }
    bool Opened() const { return opened_; }

    // The header's version and title (opens the database).
    std::string Version();
    std::string Title();

    // Deletes each of the fifteen database files that exists; files that
    // cannot be deleted are passed over.
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

    // Rewrites all ten index files from the main data file, sorted, each
    // written whole before it replaces the old one; no rebuild is pending
    // afterwards.
    void RebuildIndexes();
    // Sorts the seven text indexes and writes those that changed.
    void SortTextIndexes();
    // Sorts one text index file of the folder; a file that cannot be read
    // as a text index is left as it is.
    void SortTextIndex(const std::string& fileName);

    // Called once per pattern during RebuildIndexes with its display code.
    void SetOnIndexPatternMsg(std::function<void(const std::string& referenceCode)> handler);
    // Stage::WritingIndexes, done = n, total = PatternCount, per pattern of RebuildIndexes.
    void SetProgressCallback(ProgressCallback callback);
    // Not owned; handed to every pattern LoadPattern reads. nullptr for none.
    void SetPreferences(const TPreferencesForReferenceDatabase* preferences);

    const std::vector<std::string>& SubfileList() const { return subfileList_; }
    const std::vector<std::string>& CodeList() const { return codeList_; }

    // Writes the held text indexes that differ from their files, in the
    // order of SortTextIndexOrder; after a failure ReferenceCode.PDB is left
    // as it was (see there) and the first failure is raised.
    void WriteHeldTextIndexes();

    // TPatternDatabaseLink
    void ReadTextLines(TextSideFile file, std::int32_t first, std::vector<std::string>& lines,
                       std::int32_t count) override;
    std::string JournalName(const std::string& code) override;

private:
    // A text-line file (Comment.PDB or Literature.PDB), opened on first use.
    struct TStringFile {
        std::string FileName;
        TRecordFile File;
    };

    // The index entries and records one added pattern gives. While a rebuild
    // is pending, its text entries are kept (pendingTextEntries_) and
    // applied only when a text index is needed before the rebuild.
    struct PendingIndexWork {
        std::int32_t RecordNumber = 0;
        std::int32_t PatternCount = 0;
        TPendingTextEntries::Texts Texts;
        IndexRecord Index{};
        CrystalIndexRecord Crystal{};
        StrongestLinesRecord StrongestLines{};
    };

    // What the run marker records about the database when a run starts.
    struct RunStart {
        bool NewDatabase = false;
        std::int32_t Patterns = 0;
        std::int64_t CommentLines = 0;    // whole line records of Comment.PDB
        std::int64_t LiteratureLines = 0; // and of Literature.PDB
        std::string Title;
    };

    void ResetState();
    std::string FilePath(std::string_view fileName) const;
    bool FileExists(std::string_view fileName) const;

    void CheckFolderExists() const;
    void OpenMainDataFile();
    // The first index file that does not hold one entry (ReferenceCode.PDB)
    // or one record (the binary indexes) per pattern; empty when none.
    std::string_view FirstIndexOutOfStep() const;
    void RefuseIndexesOutOfStep() const;

    // The run of ours that changes the database: the marker, the group
    // commits, the final commit, and the recovery of a stopped run
    // (DatabaseRun.cpp).
    static std::int32_t PatternsPerCommit();
    void BeginRun(bool newDatabase, const std::string& title);
    void PatternWritten();
    void CommitPatterns();
    void FinishRun();
    void SyncFilesOfRun();
    std::string RunMarkerText(const RunStart& start) const;
    std::optional<RunStart> ReadRunMarker() const;
    bool HasRunMarker() const;
    void RecoverInterruptedRun();
    void RestoreCommittedState();
    void CompleteNewDatabaseFiles(const RunStart& start);
    void CutTextLineFiles(const std::optional<RunStart>& start);
    void RemoveLeftoverTemporaryFiles();
    void CloseFiles(std::exception_ptr& failure);
    void LoadSubfileList();
    void LoadCodeList();
    void SaveDefaultSubfileList();

    TStringFile& StringFileFor(TextSideFile file);
    void OpenStringFile(TStringFile& file);
    TextRange WriteTextLines(TStringFile& file, const std::vector<std::string>& lines);

    void CheckPatternCanBeWritten(const TReferencePattern& pattern);
    void WritePatternRecord(TReferencePattern& pattern);

    void ReadIndexFile(TIndexes& entries, TextIndex index);
    void LoadReferenceCodeIndex();

    PendingIndexWork CollectIndexWork();
    void ApplyIndexWork(const PendingIndexWork& work);
    void AppendTextIndexEntries(const PendingIndexWork& work);
    void AppendIndexRecords(const PendingIndexWork& work);
    void WriteHeldTextIndex(TextIndex index);
    void SortTextIndexesInMemory();
    void ApplyPendingIndexWork();
    void AppendIndexEntries(TextIndex index, std::int32_t recordNumber,
                            const std::vector<std::string>& values);
    void AppendIndexEntry(TextIndex index, std::int32_t recordNumber, const std::string& value);
    // The binary index files adding a pattern appends one record to.
    static constexpr std::array<std::string_view, 3> kAppendedIndexFiles = {
        IndexFileName, CrystalIndexFileName, StrongestLinesFileName};
    void AppendIndexRecord(std::size_t slot, ConstBytes record);
    void CloseBinaryIndexFiles();
    void SortOneTextIndex(TextIndex index);
    void WriteTextIndex(const TIndexes& entries, std::string_view fileName);
    // True when the index is held, after reading it when its file is
    // exactly as this program writes text indexes.
    bool HoldTextIndex(TextIndex index);

    // The index files of a rebuild, built in memory before any is written.
    struct RebuiltIndexes {
        std::array<std::string, TextIndexCount> Texts;
        std::array<std::size_t, TextIndexCount> Counts{};
        std::string Index;
        std::string Crystal;
        std::string StrongestLines;
    };
    RebuiltIndexes CollectRebuiltIndexes();
    // Both let go of what they have written.
    void WriteRebuiltBinaryIndexes(RebuiltIndexes& rebuilt);
    void WriteRebuiltTextIndexes(RebuiltIndexes& rebuilt);

    std::vector<std::string> codeList_;
    TStringFile commentFile_;
    bool opened_ = false;
    std::string databaseName_;
    bool indexRebuildPending_ = false;
    bool oldRecordFormat_ = false;
    TStringFile literatureFile_;
    std::function<void(const std::string&)> onIndexPatternMsg_;
    ProgressCallback progress_;
    TRecordFile dataFile_; // current or older record size, see oldRecordFormat_
    const TPreferencesForReferenceDatabase* preferences_ = nullptr;
    bool readOnly_ = true;
    bool codeIndexOnDemand_ = false;
    DatabaseHeader header_;
    TIndexes referenceCodeIndex_;
    TReferencePattern currentPattern_;
    std::vector<std::string> subfileList_;

    bool runMarked_ = false;          // the marker of this run is on the disk
    // The files were found writable by the first AddPattern since opening;
    // under the run's exclusive lock they stay so.
    bool filesFoundWritable_ = false;
    // Index.PDB, CrystalIndex.PDB and StrongestLines.PDB (kAppendedIndexFiles),
    // kept open from a run's first append to them until the final commit
    // puts them on the disk, or a rebuild replaces them.
    std::array<TRecordFile, 3> binaryIndexFiles_;
    std::int32_t uncommittedPatterns_ = 0;

    TTextIndexCache textIndexCache_;
    TPendingTextEntries pendingTextEntries_;
};

} // namespace norrvik
