// The full rebuild of a target database's ten index files from its main data
// file: built in memory, then each file replaced whole (see
// IndexMaintenance.h).
#include "refdb/IndexMaintenance.h"

#include "common/Exceptions.h"
#include "common/Files.h"
#include "common/LargeBuffers.h"
#include "common/Parallel.h"
#include "common/Text.h"
#include "refdb/DatabaseFiles.h"
#include "refdb/DatabaseFolder.h"
#include "refdb/ReferencePattern.h"

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

void AppendRecord(std::string& content, ConstBytes record)
{
    content.append(reinterpret_cast<const char*>(record.data()), record.size());
}

} // namespace

void TIndexMaintenance::Rebuild(TStoredPatterns& patterns)
{
    // Pending until it is complete: a failed rebuild is never committed by
    // a later final commit, whose own rebuild fails too and so leaves the
    // marker.
    rebuildPending_ = true;
    // Everything the rebuild writes replaces what adding patterns left.
    pendingTextEntries_.Clear();
    textIndexCache_.Clear();
    TRebuiltIndexes rebuilt = CollectRebuiltIndexes(patterns);
    // The files the run appended to are replaced, not appended to again.
    for (TRecordFile& file : binaryIndexFiles_)
        file.Close();
    WriteRebuiltBinaryIndexes(rebuilt);
    WriteRebuiltTextIndexes(rebuilt);
    rebuildPending_ = false;
}

TIndexMaintenance::TRebuiltIndexes TIndexMaintenance::CollectRebuiltIndexes(TStoredPatterns& patterns)
{
    // Built in memory and written only when complete: a rebuild that fails
    // leaves every index file as it was.
    TRebuiltIndexes rebuilt;
    for (TextIndex index : kRebuildTextIndexOrder)
        rebuilt.Texts[TextIndexSlot(index)] = kPlaceholderCountLine;
    const std::int32_t patternCount = patterns.StoredPatternCount();
    // The binary indexes' sizes are known: no room beyond them is taken.
    const auto records = static_cast<std::size_t>(std::max(patternCount, 0));
    ReserveLarge(rebuilt.Index, records * kIndexRecordSize);
    ReserveLarge(rebuilt.Crystal, records * kCrystalIndexRecordSize);
    ReserveLarge(rebuilt.StrongestLines, records * kStrongestLinesRecordSize);
    for (std::int32_t n = 1; n <= patternCount; ++n) {
        TReferencePattern& pattern = patterns.LoadStoredPattern(n);
        if (onIndexPatternMsg_)
            onIndexPatternMsg_(pattern.GetReferenceCode());
        if (progress_)
            progress_(TProgress{TProgress::Stage::WritingIndexes, n, patternCount});
        CollectPatternEntries(rebuilt, n, pattern);
        // In this order: the strongest-lines record sorts the pattern's lines.
        // Only the last pattern stays held, so only its lines go back in d
        // order; the others are loaded over at once.
        AppendRecord(rebuilt.Index, MakeIndexRecord(pattern));
        AppendRecord(rebuilt.Crystal, MakeCrystalIndexRecord(pattern));
        AppendRecord(rebuilt.StrongestLines, n < patternCount ? MakeStrongestLinesRecordOf(pattern)
                                                              : MakeStrongestLinesRecord(pattern));
    }
    for (TextIndex index : kRebuildTextIndexOrder)
        PatchCountLine(rebuilt.Texts[TextIndexSlot(index)], rebuilt.Counts[TextIndexSlot(index)]);
    return rebuilt;
}

void TIndexMaintenance::CollectPatternEntries(TRebuiltIndexes& rebuilt, std::int32_t n, TReferencePattern& pattern)
{
    for (TextIndex index : kRebuildTextIndexOrder) {
        std::string& content = rebuilt.Texts[TextIndexSlot(index)];
        for (const std::string& text : RebuildIndexTexts(index, pattern)) {
            ReserveLargeFor(content, kIndexEntryLineFrame + text.size());
            AppendIndexEntryLine(content, n, text);
            ++rebuilt.Counts[TextIndexSlot(index)];
        }
    }
}

void TIndexMaintenance::WriteRebuiltBinaryIndexes(TRebuiltIndexes& rebuilt)
{
    // Each is let go once written: the text indexes' sorts need the memory.
    for (auto [name, content] : {std::pair{kIndexFileName, &rebuilt.Index},
                                 std::pair{kStrongestLinesFileName, &rebuilt.StrongestLines},
                                 std::pair{kCrystalIndexFileName, &rebuilt.Crystal}}) {
        WriteWholeFile(folder_.Path(name), *content);
        ReleaseText(*content);
    }
}

void TIndexMaintenance::WriteRebuiltTextIndexes(TRebuiltIndexes& rebuilt)
{
    // Read back and sorted in memory two at a time, side by side (each sort
    // touches only its own index), then written in sort order,
    // ReferenceCode.PDB last (see kSortTextIndexOrder): no more than two
    // indexes wait to be written.
    for (std::size_t first = 0; first < kSortTextIndexOrder.size(); first += 2)
        WriteRebuiltTextIndexPair(rebuilt, first);
}

void TIndexMaintenance::WriteRebuiltTextIndexPair(TRebuiltIndexes& rebuilt, std::size_t first)
{
    const std::size_t count = std::min<std::size_t>(2, kSortTextIndexOrder.size() - first);
    std::array<std::optional<TIndexes>, 2> sorted;
    for (std::size_t k = 0; k < count; ++k) {
        const TextIndex index = kSortTextIndexOrder[first + k];
        std::string& content = rebuilt.Texts[TextIndexSlot(index)];
        try {
            sorted[k] = ParseTextIndex(content, folder_.FilePath(TextIndexFileName(index)));
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
        const TextIndex index = kSortTextIndexOrder[first + k];
        if (failures[k])
            std::rethrow_exception(failures[k]);
        if (!sorted[k]) {
            WriteWholeFile(folder_.Path(TextIndexFileName(index)), rebuilt.Texts[TextIndexSlot(index)]);
            continue;
        }
        WriteTextIndex(*sorted[k], index);
        textIndexCache_.Set(index, std::move(*sorted[k]));
    }
}

} // namespace norrvik
