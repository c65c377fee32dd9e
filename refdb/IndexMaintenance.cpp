// The index work of added patterns and the held text indexes of a target
// database (see IndexMaintenance.h); the rebuild is in IndexRebuild.cpp.
#include "refdb/IndexMaintenance.h"

#include "common/Exceptions.h"
#include "common/Files.h"
#include "common/LargeBuffers.h"
#include "common/Parallel.h"
#include "common/Text.h"
#include "refdb/DatabaseFiles.h"
#include "refdb/DatabaseFolder.h"
#include "refdb/IndexSteps.h"
#include "refdb/ReferencePattern.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace norrvik {

namespace {

// The order in which a new database writes its empty text indexes.
constexpr std::array<TextIndex, kTextIndexCount> kCreateTextIndexOrder = {
    TextIndex::Name,    TextIndex::MineralName, TextIndex::Formula,      TextIndex::Color,
    TextIndex::Journal, TextIndex::Author,      TextIndex::ReferenceCode};

// Held entries from which the sorts of the held indexes are worth a helper
// thread (a thread costs about as much as sorting a few thousand entries).
// Debug builds take that way at every size, so that the tests go through it.
#ifdef NDEBUG
constexpr std::size_t kSideBySideSortEntries = 50000;
#else
constexpr std::size_t kSideBySideSortEntries = 0;
#endif

} // namespace

TIndexMaintenance::TIndexMaintenance(const TDatabaseFolder& folder, const bool& readOnly)
    : folder_(folder), readOnly_(readOnly)
{
}

void TIndexMaintenance::Reset()
{
    rebuildPending_ = false;
    textIndexCache_.Clear();
    pendingTextEntries_.Clear();
}

void TIndexMaintenance::CloseFiles(std::exception_ptr& failure)
{
    for (TRecordFile& file : binaryIndexFiles_)
        KeepFirstFailure(failure, [&] { file.Close(); });
}

void TIndexMaintenance::SetOnIndexPatternMsg(std::function<void(const std::string&)> handler)
{
    onIndexPatternMsg_ = std::move(handler);
}

void TIndexMaintenance::SetProgressCallback(ProgressCallback callback)
{
    progress_ = std::move(callback);
}

void TIndexMaintenance::CreateEmptyTextIndexes()
{
    for (TextIndex index : kCreateTextIndexOrder) {
        WriteTextIndex({}, index);
        textIndexCache_.Set(index, {});
    }
    rebuildPending_ = true;
}

void TIndexMaintenance::WriteTextIndex(const TIndexes& entries, TextIndex index)
{
    WriteWholeFile(folder_.Path(TextIndexFileName(index)), FormatTextIndex(entries));
}

void TIndexMaintenance::ReadTextIndex(TIndexes& entries, TextIndex index)
{
    if (!entries.empty())
        return;
    if (textIndexCache_.Holds(index)) {
        entries = textIndexCache_.Entries(index);
        return;
    }
    const std::filesystem::path path = folder_.Path(TextIndexFileName(index));
    const std::optional<std::string> content = ReadWholeFile(path);
    if (!content)
        return;
    entries = ParseTextIndex(*content, PathText(path));
    if (FormatTextIndex(entries) == *content) {
        // The held copy with the room the run's added entries take.
        TIndexes held;
        ReserveLarge(held, IndexCapacityFor(entries.size()));
        held.assign(entries.begin(), entries.end());
        textIndexCache_.Set(index, std::move(held));
    }
}

// ---------------------------------------------------------------------------
// The index work of an added pattern

void TIndexMaintenance::AddPattern(TReferencePattern& pattern, std::int32_t recordNumber,
                                   std::int32_t patternCount)
{
    TPendingIndexWork work = CollectIndexWork(pattern, recordNumber, patternCount);
    if (rebuildPending_) {
        // A pending rebuild rewrites every index file from the main data file
        // at the final commit, so no binary record is appended; the text
        // index work is kept and done only if a text index is needed before
        // that (a look-up, a sort).
        pendingTextEntries_.Add(work.RecordNumber, work.Texts);
        return;
    }
    ApplyIndexWork(work);
}

TIndexMaintenance::TPendingIndexWork TIndexMaintenance::CollectIndexWork(TReferencePattern& pattern,
                                                                        std::int32_t recordNumber,
                                                                        std::int32_t patternCount) const
{
    TPendingIndexWork work;
    work.RecordNumber = recordNumber;
    work.PatternCount = patternCount;
    for (TextIndex index : kAddPatternTextIndexOrder)
        work.Texts[TextIndexSlot(index)] = AddedIndexTexts(index, pattern);
    if (!rebuildPending_) {
        work.Index = MakeIndexRecord(pattern);
        work.Crystal = MakeCrystalIndexRecord(pattern);
    } else if (pattern.LinesStrictlyDescendingByD()) {
        // The rebuild makes the binary records; the sorts below would leave
        // the lines as they are.
        return work;
    }
    // Made in any case: its sorts leave the held pattern's lines in the
    // order the next look-up of this record sees.
    work.StrongestLines = MakeStrongestLinesRecord(pattern);
    pattern.SortLinesByD();
    return work;
}

void TIndexMaintenance::ApplyPendingIndexWork()
{
    TPendingTextEntries pending = std::move(pendingTextEntries_);
    pendingTextEntries_.Clear();
    pending.ForEach([this](std::int32_t recordNumber, TPendingTextEntries::Texts texts) {
        TPendingIndexWork work;
        work.RecordNumber = recordNumber;
        work.Texts = std::move(texts);
        AppendTextIndexEntries(work);
        SortTextIndexesInMemory();
    });
}

void TIndexMaintenance::ApplyIndexWork(const TPendingIndexWork& work)
{
    // After a failure here the held entries stay as the file steps would
    // have left the files (appended, not yet sorted) and are written at the
    // final commit.
    AppendTextIndexEntries(work);
    AppendIndexRecords(work);
    SortTextIndexesInMemory();
}

void TIndexMaintenance::AppendTextIndexEntries(const TPendingIndexWork& work)
{
    for (TextIndex index : kAddPatternTextIndexOrder)
        AppendIndexEntries(index, work.RecordNumber, work.Texts[TextIndexSlot(index)]);
}

void TIndexMaintenance::AppendIndexRecords(const TPendingIndexWork& work)
{
    AppendIndexRecord(0, work.Index);
    if (binaryIndexFiles_[1].IsOpen() || folder_.Exists(kAppendedIndexFiles[1]) || work.PatternCount < 2)
        AppendIndexRecord(1, work.Crystal);
    AppendIndexRecord(2, work.StrongestLines);
}

void TIndexMaintenance::AppendIndexEntries(TextIndex index, std::int32_t recordNumber,
                                           const std::vector<std::string>& values)
{
    // In memory only when every entry provably reads back from the file as
    // it is appended, and the file is known to hold exactly the held entries.
    std::vector<TIndexedString> readBack;
    bool inMemory = true;
    for (const std::string& value : values) {
        if (Trim(value).empty())
            continue; // nothing is written for it either way
        std::optional<TIndexedString> entry = ReadBackIndexEntry(recordNumber, value);
        if (!entry)
            inMemory = false;
        else
            readBack.push_back(std::move(*entry));
    }
    if (readBack.empty() && inMemory)
        return;
    if (inMemory && HoldTextIndex(index)) {
        textIndexCache_.Append(index, std::move(readBack));
        return;
    }
    // The steps on the file itself, after the file holds what is held.
    WriteHeldTextIndex(index);
    textIndexCache_.Forget(index);
    for (const std::string& value : values)
        AppendIndexEntryToFile(folder_.Path(TextIndexFileName(index)), recordNumber, value);
}

bool TIndexMaintenance::HoldTextIndex(TextIndex index)
{
    if (textIndexCache_.Holds(index))
        return true;
    const std::filesystem::path path = folder_.Path(TextIndexFileName(index));
    if (const std::optional<std::string> content = ReadWholeFile(path))
        if (std::optional<TIndexes> entries = ParseExactTextIndex(*content, PathText(path)))
            textIndexCache_.Set(index, std::move(*entries));
    return textIndexCache_.Holds(index);
}

void TIndexMaintenance::AppendIndexRecord(std::size_t slot, ConstBytes record)
{
    TRecordFile& file = binaryIndexFiles_[slot];
    if (!file.IsOpen()) {
        const std::string_view fileName = kAppendedIndexFiles[slot];
        const auto path = folder_.Path(fileName);
        if (folder_.Exists(fileName))
            file.Open(path, record.size(), readOnly_);
        else
            file.Create(path, record.size());
    }
    file.WriteRecord(file.RecordCount(), record);
}

void TIndexMaintenance::SyncAppendedFiles()
{
    // The binary indexes are the only files a run changes in place without
    // putting them on the disk itself: whole-file replacements are durable,
    // and the text-line and main data files are synced by the commit. Only
    // the run's appends change them, through the files kept open here.
    for (TRecordFile& file : binaryIndexFiles_)
        if (file.IsOpen())
            file.Sync();
}

// ---------------------------------------------------------------------------
// Sorting and writing the held text indexes

void TIndexMaintenance::SortTextIndexes()
{
    ApplyPendingIndexWork();
    SortTextIndexesInMemory();
    WriteHeldTextIndexes();
}

void TIndexMaintenance::SortTextIndexesInMemory()
{
    // Large held indexes (ReferenceCode.PDB aside, see IndexSteps.h) are
    // sorted side by side first: each sort touches only its own index. Their
    // failures then count where the index comes in the sort order.
    std::array<std::optional<std::exception_ptr>, kTextIndexCount> sortedAlready;
    if (textIndexCache_.HeldEntries() >= kSideBySideSortEntries) {
        std::vector<TextIndex> held;
        for (TextIndex index : kSortTextIndexOrder)
            if (index != TextIndex::ReferenceCode && textIndexCache_.Holds(index))
                held.push_back(index);
        // The largest first, so that the two threads finish close together.
        std::stable_sort(held.begin(), held.end(), [this](TextIndex a, TextIndex b) {
            return textIndexCache_.HeldEntries(a) > textIndexCache_.HeldEntries(b);
        });
        const std::vector<std::exception_ptr> failures =
            RunTasksSideBySide(held.size(), [&](std::size_t k) { textIndexCache_.Sort(held[k]); });
        for (std::size_t k = 0; k < held.size(); ++k)
            sortedAlready[TextIndexSlot(held[k])] = failures[k];
    }
    ForEachTextIndexInSortOrder([&](TextIndex index) {
        if (const std::optional<std::exception_ptr>& sorted = sortedAlready[TextIndexSlot(index)]) {
            if (*sorted)
                std::rethrow_exception(*sorted);
            return;
        }
        SortOneTextIndex(index);
    });
}

void TIndexMaintenance::SortTextIndex(const std::string& fileName)
{
    ApplyPendingIndexWork();
    for (TextIndex index : kSortTextIndexOrder) {
        if (TextIndexFileName(index) == fileName) {
            SortOneTextIndex(index);
            WriteHeldTextIndex(index);
            return;
        }
    }
    SortTextIndexFile(folder_.Path(fileName));
}

void TIndexMaintenance::SortOneTextIndex(TextIndex index)
{
    if (textIndexCache_.Sort(index))
        return; // held: written with the others
    // Not held (its file is not exactly as this program writes them): sorted
    // on the file, which then is.
    std::optional<TIndexes> sorted = SortTextIndexFile(folder_.Path(TextIndexFileName(index)));
    if (sorted)
        textIndexCache_.Set(index, std::move(*sorted));
}

void TIndexMaintenance::WriteHeldTextIndex(TextIndex index)
{
    if (!textIndexCache_.Changed(index))
        return;
    try {
        WriteWholeFile(folder_.Path(TextIndexFileName(index)), textIndexCache_.FileContent(index));
    } catch (...) {
        textIndexCache_.Forget(index); // the file's content is no longer known
        throw;
    }
    textIndexCache_.MarkWritten(index);
}

void TIndexMaintenance::WriteHeldTextIndexes()
{
    ForEachTextIndexInSortOrder([this](TextIndex index) { WriteHeldTextIndex(index); });
}

} // namespace norrvik
