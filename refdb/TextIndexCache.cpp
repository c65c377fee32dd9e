// Text index files on disk, step by step, and held in memory.
#include "refdb/TextIndexCache.h"

#include "common/Exceptions.h"
#include "common/Files.h"
#include "common/LargeBuffers.h"
#include "common/Text.h"
#include "refdb/RecordFile.h"
#include "refdb/Recovery.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <limits>

namespace norrvik {

namespace {

// The number at the start of a text index (blanks and line ends before it
// skipped, an optional sign), as a text-file read of an integer takes it,
// and where its digits end.
struct TLeadingCount {
    std::int64_t Value = 0;
    std::size_t End = 0;
};

std::optional<TLeadingCount> ReadLeadingCount(std::string_view content)
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
    return TLeadingCount{negative ? -value : value, i};
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
    const std::string content = ReadWholeFile(path).value_or(std::string());
    const std::optional<TLeadingCount> count = ReadLeadingCount(content);
    if (!count || count->Value < 0)
        throw EInOutError(FileErrorMessage("Cannot update the entry count of", PathText(path),
                                           "the file does not start with an entry count" +
                                               std::string(kRepairWithRecover)));
    const std::string newCount = FormatIndexCount(static_cast<std::size_t>(count->Value + 1));
    // The new count goes over the old one in place when both are as wide;
    // otherwise written over a count of another width it would leave a
    // digit of the old one behind or cut into the line after it.
    if (count->End == newCount.size())
        OverwriteFileStart(path, newCount);
    else
        WriteWholeFile(path, newCount + content.substr(count->End));
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

// A key: the entry's rank (upper 32 bits) and its place among the entries.
constexpr std::uint64_t kRankEnd = std::uint64_t{1} << 32; // ranks are 1 .. kRankEnd - 1
std::uint64_t RankOfKey(std::uint64_t key) { return key >> 32; }
std::size_t PlaceOfKey(std::uint64_t key) { return static_cast<std::size_t>(key & (kRankEnd - 1)); }
std::uint64_t MakeKey(std::uint64_t rank, std::size_t place) { return (rank << 32) | place; }

// Gives the sorted keys evenly spaced ranks with `room` free ranks at least
// between neighbours; false when the ranks do not reach that far.
bool SpreadRanks(std::vector<std::uint64_t>& keys, std::size_t room)
{
    std::size_t distinct = 0;
    for (std::size_t k = 0; k < keys.size(); ++k)
        distinct += k == 0 || RankOfKey(keys[k]) != RankOfKey(keys[k - 1]) ? 1 : 0;
    const std::uint64_t stride = (kRankEnd - 1) / (distinct + 1);
    if (stride <= room)
        return false;
    std::uint64_t rank = 0;
    std::uint64_t previous = 0; // ranks start at 1
    for (std::uint64_t& key : keys) {
        if (RankOfKey(key) != previous)
            rank += stride;
        previous = RankOfKey(key);
        key = MakeKey(rank, PlaceOfKey(key));
    }
    return true;
}

// Keys for entries in ascending text order as they stand; nothing when they
// are not (or too many to rank).
std::optional<std::vector<std::uint64_t>> KeysOfSortedEntries(const TIndexes& entries)
{
    if (entries.size() >= kRankEnd)
        return std::nullopt;
    std::vector<std::uint64_t> keys;
    ReserveLarge(keys, IndexCapacityFor(entries.size()));
    keys.resize(entries.size());
    std::uint64_t rank = 0;
    for (std::size_t n = 0; n < entries.size(); ++n) {
        if (n > 0 && IndexTextLess(entries[n].Text, entries[n - 1].Text))
            return std::nullopt;
        if (n == 0 || entries[n - 1].Text != entries[n].Text)
            ++rank;
        keys[n] = MakeKey(rank, n);
    }
    if (!SpreadRanks(keys, 1))
        return std::nullopt;
    return keys;
}

// Ranks for the appended entries (places first .. end): a text the sorted
// keys hold takes its rank, new texts take free ranks between their sorted
// neighbours, in text order. Nothing when a gap has too few free ranks.
std::optional<std::vector<std::uint64_t>> RanksOfAppended(const TIndexes& entries,
                                                          const std::vector<std::uint64_t>& sorted)
{
    const std::size_t first = sorted.size();
    std::vector<std::size_t> appended;
    for (std::size_t n = first; n < entries.size(); ++n)
        appended.push_back(n);
    std::sort(appended.begin(), appended.end(), [&entries](std::size_t a, std::size_t b) {
        return IndexTextLess(entries[a].Text, entries[b].Text);
    });
    const auto textAt = [&](std::size_t k) -> const std::string& { return entries[PlaceOfKey(sorted[k])].Text; };
    std::vector<std::uint64_t> ranks(appended.size());
    for (std::size_t a = 0; a < appended.size();) {
        const std::string& text = entries[appended[a]].Text;
        const auto gap = static_cast<std::size_t>(
            std::partition_point(sorted.begin(), sorted.end(),
                                 [&](std::uint64_t key) { return IndexTextLess(entries[PlaceOfKey(key)].Text, text); }) -
            sorted.begin());
        if (gap < first && textAt(gap) == text) {
            ranks[appended[a++] - first] = RankOfKey(sorted[gap]);
            continue;
        }
        // The new texts of this gap, each once, share out its free ranks.
        const std::uint64_t low = gap > 0 ? RankOfKey(sorted[gap - 1]) : 0;
        const std::uint64_t high = gap < first ? RankOfKey(sorted[gap]) : kRankEnd;
        std::size_t end = a;
        std::size_t texts = 0;
        while (end < appended.size() && (gap == first || IndexTextLess(entries[appended[end]].Text, textAt(gap)))) {
            texts += end == a || entries[appended[end]].Text != entries[appended[end - 1]].Text ? 1 : 0;
            ++end;
        }
        if (high - low <= texts)
            return std::nullopt;
        std::uint64_t nth = 0;
        for (std::size_t e = a; e < end; ++e) {
            nth += e == a || entries[appended[e]].Text != entries[appended[e - 1]].Text ? 1 : 0;
            ranks[appended[e] - first] = low + nth * (high - low) / (texts + 1);
        }
        a = end;
    }
    return ranks;
}

// The keys after `sorts` sorts, each of which makes the same exchanges as
// the one that turned `before` into `after` (their ranks are in the same
// order): every cycle of that permutation is turned `sorts` steps at once.
std::vector<std::uint64_t> RepeatedPermutation(const std::vector<std::uint64_t>& before,
                                               const std::vector<std::uint64_t>& after, std::uint64_t sorts)
{
    const std::size_t count = before.size();
    std::vector<std::uint32_t> positionBefore(count);
    for (std::size_t k = 0; k < count; ++k)
        positionBefore[PlaceOfKey(before[k])] = static_cast<std::uint32_t>(k);
    // One sort puts the key at `from(k)` at position k.
    const auto from = [&](std::size_t k) { return positionBefore[PlaceOfKey(after[k])]; };
    std::vector<std::uint64_t> result(count);
    std::vector<bool> done(count, false);
    std::vector<std::size_t> cycle;
    for (std::size_t start = 0; start < count; ++start) {
        if (done[start])
            continue;
        cycle.clear();
        for (std::size_t k = start; !done[k]; k = from(k)) {
            done[k] = true;
            cycle.push_back(k);
        }
        const std::uint64_t turn = sorts % cycle.size();
        for (std::size_t i = 0; i < cycle.size(); ++i)
            result[cycle[i]] = before[cycle[static_cast<std::size_t>((i + turn) % cycle.size())]];
    }
    return result;
}

} // namespace

bool TTextIndexCache::Holds(TextIndex index) const
{
    return slots_[TextIndexSlot(index)].has_value();
}

std::size_t TTextIndexCache::HeldEntries() const
{
    std::size_t entries = 0;
    for (TextIndex index : kSortTextIndexOrder)
        entries += HeldEntries(index);
    return entries;
}

std::size_t TTextIndexCache::HeldEntries(TextIndex index) const
{
    const std::optional<TSlot>& slot = slots_[TextIndexSlot(index)];
    return slot ? slot->Entries.size() : 0;
}

TTextIndexCache::TSlot& TTextIndexCache::Settled(TSlot& slot)
{
    if (slot.RepeatedSorts == 0)
        return slot;
    const std::vector<std::uint64_t> before = slot.Keys;
    if (QuickSortRankedKeys(slot.Keys, slot.Marks)) {
        slot.Changed = true;
        if (slot.RepeatedSorts > 1) {
            slot.Keys = RepeatedPermutation(before, slot.Keys, slot.RepeatedSorts);
            slot.Marks.Reset();
        }
    }
    slot.RepeatedSorts = 0;
    return slot;
}

TIndexes TTextIndexCache::Entries(TextIndex index)
{
    std::optional<TSlot>& slot = slots_[TextIndexSlot(index)];
    if (!slot)
        return {};
    Settled(*slot);
    TIndexes entries;
    ReserveLarge(entries, slot->Entries.size());
    for (std::uint64_t key : slot->Keys)
        entries.push_back(slot->Entries[PlaceOfKey(key)]);
    for (std::size_t n = slot->Keys.size(); n < slot->Entries.size(); ++n)
        entries.push_back(slot->Entries[n]);
    return entries;
}

std::string TTextIndexCache::FileContent(TextIndex index)
{
    std::optional<TSlot>& slot = slots_[TextIndexSlot(index)];
    if (!slot)
        return FormatTextIndex({});
    Settled(*slot);
    std::string content;
    ReserveLarge(content, TextIndexFileBytesAtMost(slot->Entries));
    content.append(FormatIndexCount(slot->Entries.size()));
    content.append("\r\n");
    const auto append = [&content](const TIndexedString& entry) {
        AppendIndexEntryLine(content, entry.RecordNumber, entry.Text);
    };
    for (std::uint64_t key : slot->Keys)
        append(slot->Entries[PlaceOfKey(key)]);
    for (std::size_t n = slot->Keys.size(); n < slot->Entries.size(); ++n)
        append(slot->Entries[n]);
    return content;
}

void TTextIndexCache::Set(TextIndex index, TIndexes entries)
{
    // Entries in upper case and ascending order (as this program writes
    // them) are ranked at once, so that entries appended before the first
    // sort need not have all others sorted with them.
    const bool upperCase = std::none_of(entries.begin(), entries.end(), [](const TIndexedString& entry) {
        return std::any_of(entry.Text.begin(), entry.Text.end(), [](char c) { return c >= 'a' && c <= 'z'; });
    });
    std::optional<std::vector<std::uint64_t>> keys;
    if (upperCase)
        keys = KeysOfSortedEntries(entries);
    slots_[TextIndexSlot(index)] =
        TSlot{std::move(entries), keys ? std::move(*keys) : std::vector<std::uint64_t>(), 0, false, {}};
}

void TTextIndexCache::Append(TextIndex index, std::vector<TIndexedString> entries)
{
    std::optional<TSlot>& slot = slots_[TextIndexSlot(index)];
    NORRVIK_ASSERT(slot.has_value(), "Text index not held");
    Settled(*slot); // the counted sorts came before these entries
    for (TIndexedString& entry : entries)
        slot->Entries.push_back(std::move(entry));
    slot->Changed = slot->Changed || !entries.empty();
}

bool TTextIndexCache::Sort(TextIndex index)
{
    std::optional<TSlot>& slot = slots_[TextIndexSlot(index)];
    if (!slot)
        return false;
    TSlot& held = *slot;
    const std::size_t first = held.Keys.size();
    if (first == held.Entries.size()) {
        ++held.RepeatedSorts;
        return true;
    }
    for (std::size_t n = first; n < held.Entries.size(); ++n) {
        std::string upper = UpperCaseAscii(held.Entries[n].Text);
        held.Changed = held.Changed || upper != held.Entries[n].Text;
        held.Entries[n].Text = std::move(upper);
    }
    if (first == 0) {
        // Entries as read from a file, usually in order already.
        if (std::optional<std::vector<std::uint64_t>> keys = KeysOfSortedEntries(held.Entries)) {
            held.Keys = std::move(*keys);
            held.Marks.Reset();
            held.Changed = QuickSortRankedKeys(held.Keys, held.Marks) || held.Changed;
            return true;
        }
    }
    std::optional<std::vector<std::uint64_t>> ranks = RanksOfAppended(held.Entries, held.Keys);
    if (!ranks && SpreadRanks(held.Keys, held.Entries.size() - first)) {
        held.Marks.Reset();
        ranks = RanksOfAppended(held.Entries, held.Keys);
    }
    if (!ranks || held.Entries.size() >= kRankEnd) {
        // Beyond what ranks can tell apart: the plain sort, once.
        TIndexes entries = Entries(index);
        SortIndexes(entries);
        Set(index, std::move(entries));
        slots_[TextIndexSlot(index)]->Changed = true;
        return true;
    }
    for (std::size_t n = first; n < held.Entries.size(); ++n)
        held.Keys.push_back(MakeKey((*ranks)[n - first], n));
    held.Changed = QuickSortRankedKeys(held.Keys, held.Marks) || held.Changed;
    return true;
}

bool TTextIndexCache::Changed(TextIndex index)
{
    std::optional<TSlot>& slot = slots_[TextIndexSlot(index)];
    return slot && Settled(*slot).Changed;
}

void TTextIndexCache::MarkWritten(TextIndex index)
{
    if (std::optional<TSlot>& slot = slots_[TextIndexSlot(index)])
        slot->Changed = false;
}

void TTextIndexCache::Forget(TextIndex index)
{
    slots_[TextIndexSlot(index)].reset();
}

void TTextIndexCache::Clear()
{
    for (std::optional<TSlot>& slot : slots_)
        slot.reset();
}

void TPendingTextEntries::Add(std::int32_t recordNumber, const Texts& texts)
{
    NORRVIK_ASSERT(arena_.size() < std::numeric_limits<std::uint32_t>::max() / 2 &&
                       texts_.size() < std::numeric_limits<std::uint32_t>::max() / 2,
                   "Too many pending index entries");
    patterns_.push_back({recordNumber, static_cast<std::uint32_t>(texts_.size())});
    for (std::size_t index = 0; index < texts.size(); ++index)
        for (const std::string& text : texts[index]) {
            arena_.append(text);
            texts_.push_back({static_cast<std::uint32_t>(arena_.size()), static_cast<std::uint32_t>(index)});
        }
}

TPendingTextEntries::Texts TPendingTextEntries::TextsOf(std::size_t pattern) const
{
    const std::size_t first = patterns_[pattern].FirstText;
    const std::size_t end = pattern + 1 < patterns_.size() ? patterns_[pattern + 1].FirstText : texts_.size();
    Texts texts;
    for (std::size_t t = first; t < end; ++t) {
        const std::size_t start = t > 0 ? texts_[t - 1].End : 0;
        texts[texts_[t].Index].push_back(arena_.substr(start, texts_[t].End - start));
    }
    return texts;
}

void TPendingTextEntries::Clear()
{
    patterns_ = {};
    texts_ = {};
    arena_ = {};
}

} // namespace norrvik
