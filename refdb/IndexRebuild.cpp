// The index side of the target database: rebuilding all ten index files from
// the main data file (built in memory, then each file replaced whole), and
// sorting the seven text indexes (held in memory once read, see
// TextIndexCache.h).
#include "refdb/ReferenceDatabase.h"

#include "common/Exceptions.h"
#include "common/Files.h"
#include "common/Parallel.h"
#include "common/Text.h"
#include "refdb/DatabaseFiles.h"

#include <algorithm>
#include <array>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

namespace norrvik {

namespace {

constexpr std::string_view kPlaceholderCountLine = "1234567\r\n";

// Writes the count over the first characters of the index, where the
// placeholder stands; a count of more than 7 digits runs over the line end,
// as writing it over the file's first bytes would.
void PatchCountLine(std::string& content, std::size_t count)
{
    const std::string text = FormatIndexCount(count);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i < content.size())
            content[i] = text[i];
        else
            content.push_back(text[i]);
    }
}

// Runs `step`, keeping the first failure for later so that the steps after
// it still run.
template <typename Step>
void KeepFirstFailure(std::exception_ptr& failure, Step&& step)
{
    try {
        step();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
}

// ReferenceCode.PDB, written last, marks a complete index write: after a
// failed write of another index it is left as it was, so that its count still
// shows the indexes out of step with the records when the database is opened
// again (see TReferenceDatabase::Open).
bool KeepReferenceCodeIndex(const std::exception_ptr& failure, TextIndex index)
{
    return failure && index == TextIndex::ReferenceCode;
}

// Held entries from which the sorts of the held indexes are worth a helper
// thread (a thread costs about as much as sorting a few thousand entries).
// Debug builds take that way at every size, so that the tests go through it.
#ifdef NDEBUG
constexpr std::size_t kSideBySideSortEntries = 50000;
#else
constexpr std::size_t kSideBySideSortEntries = 0;
#endif

// Runs `step` for every text index in sort order, on past a failure (except
// for ReferenceCode.PDB, see above), and raises the first failure at the end.
template <typename Step>
void ForEachTextIndexInSortOrder(Step&& step)
{
    std::exception_ptr failure;
    for (TextIndex index : SortTextIndexOrder)
        if (!KeepReferenceCodeIndex(failure, index))
            KeepFirstFailure(failure, [&] { step(index); });
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace

void TReferenceDatabase::WriteTextIndex(const TIndexes& entries, std::string_view fileName)
{
    WriteWholeFile(PathFromText(FilePath(fileName)), FormatTextIndex(entries));
}

void TReferenceDatabase::SortTextIndexes()
{
    ApplyPendingIndexWork();
    SortTextIndexesInMemory();
    WriteHeldTextIndexes();
}

void TReferenceDatabase::SortTextIndexesInMemory()
{
    // Large held indexes (ReferenceCode.PDB aside, see above) are sorted side
    // by side first: each sort touches only its own index. Their failures
    // then count where the index comes in the sort order.
    std::array<std::optional<std::exception_ptr>, TextIndexCount> sortedAlready;
    if (textIndexCache_.HeldEntries() >= kSideBySideSortEntries) {
        std::vector<TextIndex> held;
        for (TextIndex index : SortTextIndexOrder)
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

void TReferenceDatabase::SortTextIndex(const std::string& fileName)
{
    ApplyPendingIndexWork();
    for (TextIndex index : SortTextIndexOrder) {
        if (TextIndexFileName(index) == fileName) {
            SortOneTextIndex(index);
            WriteHeldTextIndex(index);
            return;
        }
    }
    SortTextIndexFile(PathFromText(FilePath(fileName)));
}

void TReferenceDatabase::SortOneTextIndex(TextIndex index)
{
    if (textIndexCache_.Sort(index))
        return; // held: written with the others
    // Not held (its file is not exactly as this program writes them): sorted
    // on the file, which then is.
    std::optional<TIndexes> sorted = SortTextIndexFile(PathFromText(FilePath(TextIndexFileName(index))));
    if (sorted)
        textIndexCache_.Set(index, std::move(*sorted));
}

void TReferenceDatabase::WriteHeldTextIndex(TextIndex index)
{
    if (textIndexCache_.Changed(index)) {
        try {
            WriteWholeFile(PathFromText(FilePath(TextIndexFileName(index))), textIndexCache_.FileContent(index));
        } catch (...) {
            textIndexCache_.Forget(index); // the file's content is no longer known
            throw;
        }
        textIndexCache_.MarkWritten(index);
    }
}

void TReferenceDatabase::WriteHeldTextIndexes()
{
    ForEachTextIndexInSortOrder([this](TextIndex index) { WriteHeldTextIndex(index); });
}

void TReferenceDatabase::RebuildIndexes()
{
    Open();
    BeginRun(false, {});
    // Pending until it is complete: a failed rebuild is never committed by
    // a later Close, whose own rebuild fails too and so leaves the marker.
    indexRebuildPending_ = true;
    if (FileExists(kCodesFileName))
        LoadCodeList();
    // Everything the rebuild writes replaces what adding patterns left.
    pendingTextEntries_.Clear();
    textIndexCache_.Clear();
    RebuiltIndexes rebuilt = CollectRebuiltIndexes();
    // The files the run appended to are replaced, not appended to again.
    CloseBinaryIndexFiles();
    WriteRebuiltBinaryIndexes(rebuilt);
    WriteRebuiltTextIndexes(rebuilt);
    indexRebuildPending_ = false;
}

TReferenceDatabase::RebuiltIndexes TReferenceDatabase::CollectRebuiltIndexes()
{
    // Built in memory and written only when complete: a rebuild that fails
    // leaves every index file as it was.
    RebuiltIndexes rebuilt;
    for (TextIndex index : RebuildTextIndexOrder)
        rebuilt.Texts[TextIndexSlot(index)] = kPlaceholderCountLine;
    const auto append = [](std::string& content, ConstBytes record) {
        content.append(reinterpret_cast<const char*>(record.data()), record.size());
    };
    const std::int32_t patternCount = header_.PatternCount();
    // The binary indexes' sizes are known: no room beyond them is taken.
    const auto records = static_cast<std::size_t>(std::max(patternCount, 0));
    rebuilt.Index.reserve(records * IndexRecordSize);
    rebuilt.Crystal.reserve(records * CrystalIndexRecordSize);
    rebuilt.StrongestLines.reserve(records * StrongestLinesRecordSize);
    for (std::int32_t n = 1; n <= patternCount; ++n) {
        LoadPattern(n);
        if (onIndexPatternMsg_)
            onIndexPatternMsg_(currentPattern_.GetReferenceCode());
        if (progress_)
            progress_(Progress{Progress::Stage::WritingIndexes, n, patternCount});
        for (TextIndex index : RebuildTextIndexOrder) {
            for (const std::string& text : RebuildIndexTexts(index, currentPattern_)) {
                AppendIndexEntryLine(rebuilt.Texts[TextIndexSlot(index)], n, text);
                ++rebuilt.Counts[TextIndexSlot(index)];
            }
        }
        // In this order: the strongest-lines record sorts the pattern's lines.
        // Only the last pattern stays held, so only its lines go back in d
        // order; the others are loaded over at once.
        append(rebuilt.Index, MakeIndexRecord(currentPattern_));
        append(rebuilt.Crystal, MakeCrystalIndexRecord(currentPattern_));
        append(rebuilt.StrongestLines, n < patternCount
                                           ? MakeStrongestLinesRecordOf(currentPattern_)
                                           : MakeStrongestLinesRecord(currentPattern_));
    }
    for (TextIndex index : RebuildTextIndexOrder)
        PatchCountLine(rebuilt.Texts[TextIndexSlot(index)], rebuilt.Counts[TextIndexSlot(index)]);
    return rebuilt;
}

void TReferenceDatabase::WriteRebuiltBinaryIndexes(RebuiltIndexes& rebuilt)
{
    // Each is let go once written: the text indexes' sorts need the memory.
    for (auto [name, content] : {std::pair{IndexFileName, &rebuilt.Index},
                                 std::pair{StrongestLinesFileName, &rebuilt.StrongestLines},
                                 std::pair{CrystalIndexFileName, &rebuilt.Crystal}}) {
        WriteWholeFile(PathFromText(FilePath(name)), *content);
        ReleaseText(*content);
    }
}

void TReferenceDatabase::WriteRebuiltTextIndexes(RebuiltIndexes& rebuilt)
{
    // Read back and sorted in memory two at a time, side by side (each sort
    // touches only its own index), then written in sort order,
    // ReferenceCode.PDB last (see SortTextIndexOrder): no more than two
    // indexes wait to be written.
    for (std::size_t first = 0; first < SortTextIndexOrder.size(); first += 2) {
        const std::size_t count = std::min<std::size_t>(2, SortTextIndexOrder.size() - first);
        std::array<std::optional<TIndexes>, 2> sorted;
        for (std::size_t k = 0; k < count; ++k) {
            const TextIndex index = SortTextIndexOrder[first + k];
            std::string& content = rebuilt.Texts[TextIndexSlot(index)];
            try {
                sorted[k] = ParseTextIndex(content, FilePath(TextIndexFileName(index)));
                ReleaseText(content); // the entries hold it now
            } catch (const Exception&) {
                // left unsorted, as a sort of the file would
            }
        }
        const std::vector<std::exception_ptr> failures = RunTasksSideBySide(count, [&](std::size_t k) {
            if (sorted[k])
                SortIndexes(*sorted[k]);
        });
        for (std::size_t k = 0; k < count; ++k) {
            const TextIndex index = SortTextIndexOrder[first + k];
            if (failures[k])
                std::rethrow_exception(failures[k]);
            if (!sorted[k]) {
                WriteWholeFile(PathFromText(FilePath(TextIndexFileName(index))), rebuilt.Texts[TextIndexSlot(index)]);
                continue;
            }
            WriteTextIndex(*sorted[k], TextIndexFileName(index));
            textIndexCache_.Set(index, std::move(*sorted[k]));
        }
    }
}

} // namespace norrvik
