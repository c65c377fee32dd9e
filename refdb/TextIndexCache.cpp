// Text index files on disk, step by step, and held in memory.
#include "refdb/TextIndexCache.h"

#include "common/Exceptions.h"
#include "common/Files.h"
#include "common/Text.h"
#include "refdb/RecordFile.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace norrvik {

namespace {

// The number at the start of a text index (blanks and line ends before it
// skipped, an optional sign), as a text-file read of an integer takes it.
std::optional<std::int64_t> LeadingCount(std::string_view content)
{
    std::size_t i = 0;
    while (i < content.size() && IsBlankOrControl(content[i]))
        ++i;
    bool negative = false;
    if (i < content.size() && (content[i] == '+' || content[i] == '-'))
        negative = content[i++] == '-';
    const std::size_t digitsStart = i;
    std::int64_t value = 0;
    while (i < content.size() && content[i] >= '0' && content[i] <= '9') {
        value = value * 10 + (content[i] - '0');
        if (value > 0x7fffffff)
            return std::nullopt;
        ++i;
    }
    if (i == digitsStart || (i < content.size() && !IsBlankOrControl(content[i])))
        return std::nullopt;
    return negative ? -value : value;
}

std::uint64_t RankOfKey(std::uint64_t key) { return key >> 32; }
std::size_t SourceOfKey(std::uint64_t key) { return static_cast<std::size_t>(key & 0xffffffffu); }

} // namespace

void AppendIndexEntryToFile(const std::filesystem::path& path, std::int32_t recordNumber,
                            const std::string& value)
{
    if (Trim(value).empty())
        return;
    const std::string line = FormatIndexEntryLine(recordNumber, value);
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        WriteWholeFile(path, FormatIndexCount(1) + "\r\n" + line);
        return;
    }
    AppendToFile(path, line);
    const std::optional<std::string> content = ReadWholeFile(path);
    const std::optional<std::int64_t> count = LeadingCount(content.value_or(std::string()));
    if (!count)
        throw EInOutError(FileErrorMessage("Cannot update the entry count of", PathText(path),
                                           "the file does not start with a number"));
    OverwriteFileStart(path, FormatIndexCount(static_cast<std::size_t>(*count + 1)));
}

std::optional<TIndexes> SortTextIndexFile(const std::filesystem::path& path)
{
    TIndexes entries;
    try {
        if (const std::optional<std::string> content = ReadWholeFile(path))
            entries = ParseTextIndex(*content, PathText(path));
    } catch (const Exception&) {
        return std::nullopt; // not a text index: left as it is, without a message
    }
    SortIndexes(entries);
    WriteWholeFile(path, FormatTextIndex(entries));
    return entries;
}

std::optional<TIndexedString> ReadBackIndexEntry(std::int32_t recordNumber,
                                                 const std::string& value)
{
    // The line is read back between a count line and a following entry: it
    // is one entry on its own exactly when the following entry is intact.
    static const std::string kNextLine = "0 NEXT\r\n";
    const auto readBack = [](const std::string& line) -> std::optional<TIndexedString> {
        try {
            TIndexes entries = ParseTextIndex(FormatIndexCount(2) + "\r\n" + line + kNextLine, "");
            if (entries.size() != 2 || entries[1].RecordNumber != 0 || entries[1].Text != "NEXT")
                return std::nullopt;
            return std::move(entries[0]);
        } catch (const Exception&) {
            return std::nullopt;
        }
    };
    std::optional<TIndexedString> entry = readBack(FormatIndexEntryLine(recordNumber, value));
    if (!entry)
        return std::nullopt;
    // Rewritten by a sort, the entry must read back unchanged.
    std::optional<TIndexedString> again = readBack(FormatIndexEntryLine(entry->RecordNumber, entry->Text));
    if (!again || again->Text != entry->Text || again->RecordNumber != entry->RecordNumber)
        return std::nullopt;
    return entry;
}

std::optional<TIndexes> ParseExactTextIndex(const std::string& content, const std::string& fullPath)
{
    try {
        TIndexes entries = ParseTextIndex(content, fullPath);
        if (FormatTextIndex(entries) != content)
            return std::nullopt;
        return entries;
    } catch (const Exception&) {
        return std::nullopt;
    }
}

namespace {

// The first entry of each distinct text of the sorted part, ascending; from
// the groups of the last sort when they are known. Nothing when the part is
// not in order after all (there are then no ranks to rely on).
std::optional<std::vector<std::size_t>> DistinctStarts(const TIndexes& entries, std::size_t sortedCount,
                                                       const std::vector<std::uint32_t>* groups)
{
    std::vector<std::size_t> distinct;
    if (groups != nullptr && groups->size() == sortedCount) {
        for (std::size_t n = 0; n < sortedCount; ++n)
            if (n == 0 || (*groups)[n] != (*groups)[n - 1])
                distinct.push_back(n);
        return distinct;
    }
    for (std::size_t n = 0; n < sortedCount; ++n) {
        if (n > 0 && IndexTextLess(entries[n].Text, entries[n - 1].Text))
            return std::nullopt;
        if (n == 0 || IndexTextLess(entries[n - 1].Text, entries[n].Text))
            distinct.push_back(n);
    }
    return distinct;
}

// Every entry as (rank << 32 | position): the ranks compare exactly as the
// texts do. A text of the sorted part has rank (d + 1) * stride; appended
// texts between two of them take the ranks in between, in their own order.
struct RankedEntries {
    std::vector<std::uint64_t> Keys;
    std::vector<std::size_t> AppendedInOrder; // appended positions, by text
    bool AllDistinct = true;
};

std::optional<RankedEntries> RankEntries(const TIndexes& entries, std::size_t sortedCount,
                                         const std::vector<std::size_t>& distinct)
{
    const std::size_t count = entries.size();
    // Ranks that do not fit 32 bits (a long unsorted tail) leave the work to
    // the plain sort.
    const std::uint64_t stride = count - sortedCount + 2;
    if (count > 0xffffffffu || (distinct.size() + 1) * stride > 0xffffffffu)
        return std::nullopt;
    RankedEntries ranked;
    ranked.AllDistinct = distinct.size() == sortedCount;
    ranked.Keys.resize(count);
    const auto keyOf = [](std::uint64_t rank, std::size_t n) { return (rank << 32) | n; };
    for (std::size_t d = 0; d < distinct.size(); ++d) {
        const std::size_t end = d + 1 < distinct.size() ? distinct[d + 1] : sortedCount;
        for (std::size_t n = distinct[d]; n < end; ++n)
            ranked.Keys[n] = keyOf((d + 1) * stride, n);
    }
    std::vector<std::size_t>& appended = ranked.AppendedInOrder;
    for (std::size_t n = sortedCount; n < count; ++n)
        appended.push_back(n);
    std::sort(appended.begin(), appended.end(), [&entries](std::size_t a, std::size_t b) {
        return IndexTextLess(entries[a].Text, entries[b].Text);
    });
    std::size_t previousGap = static_cast<std::size_t>(-1);
    std::uint64_t offset = 0;
    for (std::size_t k = 0; k < appended.size(); ++k) {
        const std::string& text = entries[appended[k]].Text;
        const auto found = std::lower_bound(distinct.begin(), distinct.end(), text,
                                            [&entries](std::size_t n, const std::string& value) {
                                                return IndexTextLess(entries[n].Text, value);
                                            });
        const auto gap = static_cast<std::size_t>(found - distinct.begin());
        std::uint64_t rank = 0;
        if (found != distinct.end() && entries[*found].Text == text) {
            rank = (gap + 1) * stride;
            ranked.AllDistinct = false;
        } else {
            const bool sameAsPrevious = k > 0 && gap == previousGap && entries[appended[k - 1]].Text == text;
            ranked.AllDistinct = ranked.AllDistinct && !sameAsPrevious;
            if (gap != previousGap)
                offset = 1;
            else if (!sameAsPrevious)
                ++offset;
            previousGap = gap;
            rank = gap * stride + offset;
        }
        ranked.Keys[appended[k]] = keyOf(rank, appended[k]);
    }
    return ranked;
}

// All texts differ: the unique ascending order, the appended entries (in
// text order already) merged with the sorted part.
void MergeAppended(TIndexes& entries, std::size_t sortedCount, const std::vector<std::size_t>& appended)
{
    TIndexes tail;
    tail.reserve(appended.size());
    for (std::size_t n : appended)
        tail.push_back(std::move(entries[n]));
    entries.resize(sortedCount);
    TIndexes merged;
    merged.reserve(sortedCount + tail.size());
    std::merge(std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()),
               std::make_move_iterator(tail.begin()), std::make_move_iterator(tail.end()),
               std::back_inserter(merged),
               [](const TIndexedString& a, const TIndexedString& b) { return IndexTextLess(a.Text, b.Text); });
    entries = std::move(merged);
}

// Puts the entries in the order of the sorted keys (moving only those whose
// place changed) and numbers the groups of equal texts. True when the order
// changed.
bool ApplyKeyOrder(TIndexes& entries, std::vector<std::uint64_t>& keys, std::vector<std::uint32_t>* groups)
{
    const std::size_t count = keys.size();
    if (groups != nullptr)
        groups->resize(count);
    bool changed = false;
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < count; ++k) {
        if (k > 0 && RankOfKey(keys[k]) != RankOfKey(keys[k - 1]))
            ++group;
        if (groups != nullptr)
            (*groups)[k] = group;
        changed = changed || SourceOfKey(keys[k]) != k;
    }
    // Each cycle of the permutation once; a key whose entry is in place
    // points at itself afterwards.
    for (std::size_t k = 0; k < count; ++k) {
        if (SourceOfKey(keys[k]) == k)
            continue;
        TIndexedString first = std::move(entries[k]);
        std::size_t to = k;
        for (std::size_t from = SourceOfKey(keys[to]); from != k; from = SourceOfKey(keys[to])) {
            entries[to] = std::move(entries[from]);
            keys[to] = (keys[to] & ~std::uint64_t{0xffffffffu}) | to;
            to = from;
        }
        entries[to] = std::move(first);
        keys[to] = (keys[to] & ~std::uint64_t{0xffffffffu}) | to;
    }
    return changed;
}

bool KnownAllDistinct(std::size_t count, const std::vector<std::uint32_t>* groups)
{
    return groups != nullptr && groups->size() == count && (count == 0 || groups->back() + 1 == count);
}

} // namespace

bool SortAppendedIndexes(TIndexes& entries, std::size_t sortedCount, std::vector<std::uint32_t>* groups)
{
    const std::size_t count = entries.size();
    sortedCount = std::min(sortedCount, count);
    if (sortedCount == count && KnownAllDistinct(count, groups))
        return false; // sorted, every text once: the sort leaves it as it is
    for (std::size_t n = sortedCount; n < count; ++n)
        entries[n].Text = UpperCaseAscii(entries[n].Text);
    const auto fullSort = [&] {
        SortIndexes(entries);
        if (groups != nullptr)
            groups->clear();
        return true;
    };
    const std::optional<std::vector<std::size_t>> distinct = DistinctStarts(entries, sortedCount, groups);
    if (!distinct)
        return fullSort();
    std::optional<RankedEntries> ranked = RankEntries(entries, sortedCount, *distinct);
    if (!ranked)
        return fullSort();
    if (ranked->AllDistinct) {
        if (groups != nullptr) {
            groups->resize(count);
            for (std::size_t n = 0; n < count; ++n)
                (*groups)[n] = static_cast<std::uint32_t>(n);
        }
        if (sortedCount == count)
            return false;
        MergeAppended(entries, sortedCount, ranked->AppendedInOrder);
        return true;
    }
    QuickSortRankedKeys(ranked->Keys);
    return ApplyKeyOrder(entries, ranked->Keys, groups) || sortedCount < count;
}

TIndexes* TTextIndexCache::Find(TextIndex index)
{
    std::optional<Slot>& slot = slots_[TextIndexSlot(index)];
    return slot ? &slot->Entries : nullptr;
}

void TTextIndexCache::Set(TextIndex index, TIndexes entries)
{
    slots_[TextIndexSlot(index)] = Slot{std::move(entries), 0, {}, false};
}

void TTextIndexCache::SetSorted(TextIndex index, TIndexes entries)
{
    const std::size_t count = entries.size();
    slots_[TextIndexSlot(index)] = Slot{std::move(entries), count, {}, false};
}

void TTextIndexCache::Append(TextIndex index, std::vector<TIndexedString> entries)
{
    std::optional<Slot>& slot = slots_[TextIndexSlot(index)];
    NORRVIK_ASSERT(slot.has_value(), "Text index not held");
    for (TIndexedString& entry : entries)
        slot->Entries.push_back(std::move(entry));
    slot->Changed = slot->Changed || !entries.empty();
}

TIndexes* TTextIndexCache::Sort(TextIndex index)
{
    std::optional<Slot>& slot = slots_[TextIndexSlot(index)];
    if (!slot)
        return nullptr;
    if (SortAppendedIndexes(slot->Entries, slot->SortedCount, &slot->Groups))
        slot->Changed = true;
    slot->SortedCount = slot->Entries.size();
    return &slot->Entries;
}

bool TTextIndexCache::Changed(TextIndex index) const
{
    const std::optional<Slot>& slot = slots_[TextIndexSlot(index)];
    return slot && slot->Changed;
}

void TTextIndexCache::MarkWritten(TextIndex index)
{
    if (std::optional<Slot>& slot = slots_[TextIndexSlot(index)])
        slot->Changed = false;
}

void TTextIndexCache::Forget(TextIndex index)
{
    slots_[TextIndexSlot(index)].reset();
}

void TTextIndexCache::Clear()
{
    for (std::optional<Slot>& slot : slots_)
        slot.reset();
}

} // namespace norrvik
