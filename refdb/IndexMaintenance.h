// The upkeep of a target database's ten index files: the index work of each
// added pattern (appended at once, or left to a pending full rebuild), the
// seven text indexes held in memory once read (TTextIndexCache) and written
// only when the run commits, the binary index files kept open for appending,
// the full rebuild from the main data file, and the sorting.
//
// Speed: adding a pattern appends its entries to the held text indexes and
// sorts them there; WriteHeldTextIndexes writes the index files with exactly
// the bytes that appending to and sorting every file at each addition would
// leave. While a full rebuild is pending anyway (a new database, or after an
// append without index work), an added pattern's text entries are kept
// (TPendingTextEntries) and applied only when a text index is needed before
// the rebuild.
//
// Stops: index files are replaced whole, never half-written; a rebuild is
// built in memory and written only when complete, ReferenceCode.PDB last, so
// that after a failure its count still shows the indexes out of step with
// the records. The binary index files appended to are put on the disk by
// SyncAppendedFiles, at the run's final commit (see DatabaseRun.h).
#pragma once

#include "common/Progress.h"
#include "refdb/Indexes.h"
#include "refdb/RecordFile.h"
#include "refdb/TextIndexCache.h"

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <string_view>

namespace norrvik {

class TDatabaseFolder;
class TReferencePattern;

// The patterns of the main data file, as the rebuild reads them.
class TStoredPatterns {
public:
    virtual ~TStoredPatterns() = default;
    virtual std::int32_t StoredPatternCount() = 0;
    // Pattern n (1..StoredPatternCount), held until the next call.
    virtual TReferencePattern& LoadStoredPattern(std::int32_t n) = 0;
};

class TIndexMaintenance {
public:
    // The folder and the store's mode are the store's.
    TIndexMaintenance(const TDatabaseFolder& folder, const bool& readOnly);

    // Forgets what is held and pending (the files are closed by CloseFiles).
    void Reset();
    void CloseFiles(std::exception_ptr& failure);

    bool RebuildPending() const { return rebuildPending_; }
    void SetRebuildPending() { rebuildPending_ = true; }

    // A new database's empty text indexes, written and held; a rebuild is
    // pending from now on.
    void CreateEmptyTextIndexes();
    // Reads a text index into `entries` unless they hold some (the held
    // entries when held; nothing for a missing file).
    void ReadTextIndex(TIndexes& entries, TextIndex index);

    // The index work of `pattern`, just stored as record `recordNumber` of a
    // database now of `patternCount` patterns: appended to every index at
    // once, or, while a rebuild is pending, its text entries kept for later.
    // The pattern's lines are left in d order.
    void AddPattern(TReferencePattern& pattern, std::int32_t recordNumber, std::int32_t patternCount);
    // Applies the kept text entries (see the file comment).
    void ApplyPendingIndexWork();

    // Rewrites all ten index files from `patterns`, sorted, each written
    // whole before it replaces the old one; no rebuild is pending afterwards.
    void Rebuild(TStoredPatterns& patterns);
    // Sorts the seven text indexes and writes those that changed.
    void SortTextIndexes();
    // Sorts one text index file of the folder; a file that cannot be read
    // as a text index is left as it is.
    void SortTextIndex(const std::string& fileName);
    // Writes the held text indexes that differ from their files, in the
    // order of kSortTextIndexOrder; after a failure ReferenceCode.PDB is left
    // as it was and the first failure is raised.
    void WriteHeldTextIndexes();
    // Puts the binary index files appended to on the disk.
    void SyncAppendedFiles();

    // Called once per pattern during Rebuild with its display code.
    void SetOnIndexPatternMsg(std::function<void(const std::string& referenceCode)> handler);
    // Stage::WritingIndexes, done = n, total = pattern count, per pattern of Rebuild.
    void SetProgressCallback(ProgressCallback callback);

private:
    // The index entries and records one added pattern gives.
    struct TPendingIndexWork {
        std::int32_t RecordNumber = 0;
        std::int32_t PatternCount = 0;
        TPendingTextEntries::Texts Texts;
        IndexRecord Index{};
        CrystalIndexRecord Crystal{};
        StrongestLinesRecord StrongestLines{};
    };
    // The index files of a rebuild, built in memory before any is written.
    struct TRebuiltIndexes {
        std::array<std::string, kTextIndexCount> Texts;
        std::array<std::size_t, kTextIndexCount> Counts{};
        std::string Index;
        std::string Crystal;
        std::string StrongestLines;
    };

    TPendingIndexWork CollectIndexWork(TReferencePattern& pattern, std::int32_t recordNumber,
                                      std::int32_t patternCount) const;
    void ApplyIndexWork(const TPendingIndexWork& work);
    void AppendTextIndexEntries(const TPendingIndexWork& work);
    void AppendIndexRecords(const TPendingIndexWork& work);
    void AppendIndexEntries(TextIndex index, std::int32_t recordNumber, const std::vector<std::string>& values);
    void AppendIndexRecord(std::size_t slot, ConstBytes record);
    // True when the index is held, after reading it when its file is
    // exactly as this program writes text indexes.
    bool HoldTextIndex(TextIndex index);
    void WriteHeldTextIndex(TextIndex index);
    void SortTextIndexesInMemory();
    void SortOneTextIndex(TextIndex index);
    void WriteTextIndex(const TIndexes& entries, TextIndex index);

    TRebuiltIndexes CollectRebuiltIndexes(TStoredPatterns& patterns);
    void CollectPatternEntries(TRebuiltIndexes& rebuilt, std::int32_t n, TReferencePattern& pattern);
    // Both let go of what they have written.
    void WriteRebuiltBinaryIndexes(TRebuiltIndexes& rebuilt);
    void WriteRebuiltTextIndexes(TRebuiltIndexes& rebuilt);
    void WriteRebuiltTextIndexPair(TRebuiltIndexes& rebuilt, std::size_t first);

    // The binary index files adding a pattern appends one record to.
    static constexpr std::array<std::string_view, 3> kAppendedIndexFiles = {
        kIndexFileName, kCrystalIndexFileName, kStrongestLinesFileName};

    const TDatabaseFolder& folder_;
    const bool& readOnly_;
    bool rebuildPending_ = false;
    TTextIndexCache textIndexCache_;
    TPendingTextEntries pendingTextEntries_;
    // Index.PDB, CrystalIndex.PDB and StrongestLines.PDB (kAppendedIndexFiles),
    // kept open from a run's first append to them until the final commit
    // puts them on the disk, or a rebuild replaces them.
    std::array<TRecordFile, 3> binaryIndexFiles_;
    std::function<void(const std::string&)> onIndexPatternMsg_;
    ProgressCallback progress_;
};

} // namespace norrvik
