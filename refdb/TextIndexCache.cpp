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

bool SortAppendedIndexes(TIndexes& entries, std::size_t sortedCount, std::vector<std::uint32_t>* groups)
{
    const std::size_t count = entries.size();
    sortedCount = std::min(sortedCount, count);
    bool changed = sortedCount < count; // entries were appended
    for (std::size_t n = sortedCount; n < count; ++n)
        entries[n].Text = UpperCaseAscii(entries[n].Text);
    const auto fullSort = [&] {
        SortIndexes(entries);
        if (groups != nullptr)
            groups->clear();
        return true;
    };

    // The first entry of each distinct text of the sorted part, ascending;
    // from the groups of the last sort when they are known.
    std::vector<std::size_t> distinct;
    if (groups != nullptr && groups->size() == sortedCount) {
        for (std::size_t n = 0; n < sortedCount; ++n)
            if (n == 0 || (*groups)[n] != (*groups)[n - 1])
                distinct.push_back(n);
    } else {
        for (std::size_t n = 0; n < sortedCount; ++n) {
            if (n > 0 && IndexTextLess(entries[n].Text, entries[n - 1].Text))
                return fullSort(); // not sorted after all: no ranks to rely on
            if (n == 0 || IndexTextLess(entries[n - 1].Text, entries[n].Text))
                distinct.push_back(n);
        }
    }
    bool allDistinct = distinct.size() == sortedCount;

    // A text of the sorted part has rank (d + 1) * stride; appended texts
    // between two of them take the ranks in between, in their own order.
    // Rank and position share one 64-bit value; ranks that do not fit 32
    // bits (a long unsorted tail) leave the work to the plain sort.
    const std::uint64_t stride = count - sortedCount + 2;
    if (count > 0xffffffffu || (distinct.size() + 1) * stride > 0xffffffffu)
        return fullSort();
    std::vector<std::uint64_t> keyed(count);
    const auto keyOf = [](std::uint64_t rank, std::size_t n) { return (rank << 32) | n; };
    for (std::size_t d = 0; d < distinct.size(); ++d) {
        const std::size_t end = d + 1 < distinct.size() ? distinct[d + 1] : sortedCount;
        for (std::size_t n = distinct[d]; n < end; ++n)
            keyed[n] = keyOf((d + 1) * stride, n);
    }
    std::vector<std::size_t> appended;
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
            allDistinct = false;
        } else {
            const bool sameAsPrevious = k > 0 && gap == previousGap && entries[appended[k - 1]].Text == text;
            allDistinct = allDistinct && !sameAsPrevious;
            if (gap != previousGap)
                offset = 1;
            else if (!sameAsPrevious)
                ++offset;
            previousGap = gap;
            rank = gap * stride + offset;
        }
        keyed[appended[k]] = keyOf(rank, appended[k]);
    }

    if (allDistinct) {
        // The unique ascending order: the appended entries (in text order
        // already) merged with the sorted part.
        if (groups != nullptr) {
            groups->resize(count);
            for (std::size_t n = 0; n < count; ++n)
                (*groups)[n] = static_cast<std::uint32_t>(n);
        }
        if (appended.empty())
            return changed;
        TIndexes tail;
        tail.reserve(appended.size());
        for (std::size_t n : appended)
            tail.push_back(std::move(entries[n]));
        entries.resize(sortedCount);
        TIndexes merged;
        merged.reserve(count);
        std::merge(std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()),
                   std::make_move_iterator(tail.begin()), std::make_move_iterator(tail.end()),
                   std::back_inserter(merged), [](const TIndexedString& a, const TIndexedString& b) {
                       return IndexTextLess(a.Text, b.Text);
                   });
        entries = std::move(merged);
        return true;
    }

    IndexQuickSort(keyed, [](std::uint64_t a, std::uint64_t b) { return (a >> 32) < (b >> 32); });
    TIndexes sorted;
    sorted.reserve(count);
    if (groups != nullptr)
        groups->resize(count);
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const auto n = static_cast<std::size_t>(keyed[k] & 0xffffffffu);
        changed = changed || n != k;
        if (k > 0 && (keyed[k] >> 32) != (keyed[k - 1] >> 32))
            ++group;
        if (groups != nullptr)
            (*groups)[k] = group;
        sorted.push_back(std::move(entries[n]));
    }
    entries = std::move(sorted);
    return changed;
}

TIndexes* TTextIndexCache::Find(TextIndex index)
{
    std::optional<Slot>& slot = slots_[TextIndexSlot(index)];
    return slot ? &slot->Entries : nullptr;
}

void TTextIndexCache::Set(TextIndex index, TIndexes entries)
{
    slots_[TextIndexSlot(index)] = Slot{std::move(entries), 0, {}};
}

void TTextIndexCache::SetSorted(TextIndex index, TIndexes entries)
{
    const std::size_t count = entries.size();
    slots_[TextIndexSlot(index)] = Slot{std::move(entries), count, {}};
}

TIndexes* TTextIndexCache::Sort(TextIndex index, bool& changed)
{
    std::optional<Slot>& slot = slots_[TextIndexSlot(index)];
    if (!slot)
        return nullptr;
    changed = SortAppendedIndexes(slot->Entries, slot->SortedCount, &slot->Groups);
    slot->SortedCount = slot->Entries.size();
    return &slot->Entries;
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
