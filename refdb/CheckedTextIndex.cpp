// The checker's view of a text index and the texts of a pattern in its form.
#include "refdb/CheckedTextIndex.h"

#include "common/LargeBuffers.h"
#include "common/Text.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace norrvik {

void TTextIndexContent::Reserve(std::size_t entries, std::size_t textBytes)
{
    ReserveLarge(entries_, entries);
    ReserveLarge(texts_, textBytes);
}

void TTextIndexContent::Add(std::int32_t record, std::string_view text)
{
    // Trimmed before the case changes (no letter is ever trimmed): one
    // string made, not two, as every entry of every index passes here.
    std::string normalised(TrimmedView(text));
    if (normalised.empty())
        return;
    MakeUpperCaseAscii(normalised);
    entries_.push_back({record, normalised.size(), texts_.size()});
    texts_ += normalised;
}

void TTextIndexContent::Seal()
{
    // Room reserved and never written takes no memory: nothing is shrunk.
    const auto byText = [this](const TEntry& a, const TEntry& b) { return TextOf(a) < TextOf(b); };
    if (OrderByRecord()) {
        for (auto first = entries_.begin(); first != entries_.end();) {
            const auto end =
                std::find_if(first, entries_.end(), [&](const TEntry& e) { return e.Record != first->Record; });
            std::sort(first, end, byText);
            first = end;
        }
    } else {
        std::sort(entries_.begin(), entries_.end(), [&](const TEntry& a, const TEntry& b) {
            return a.Record != b.Record ? a.Record < b.Record : byText(a, b);
        });
    }
    TextsInEntryOrder();
}

void TTextIndexContent::TextsInEntryOrder()
{
    std::string ordered;
    ReserveLarge(ordered, texts_.size());
    for (TEntry& entry : entries_) {
        const std::string_view text = TextOf(entry);
        entry.Offset = ordered.size();
        ordered += text;
    }
    texts_ = std::move(ordered);
}

bool TTextIndexContent::OrderByRecord()
{
    if (entries_.empty())
        return true;
    const auto [lowest, highest] = std::minmax_element(
        entries_.begin(), entries_.end(), [](const TEntry& a, const TEntry& b) { return a.Record < b.Record; });
    const std::int32_t low = lowest->Record;
    const auto span = static_cast<std::size_t>(std::int64_t{highest->Record} - low + 1);
    if (span > 2 * entries_.size() + 1024)
        return false;
    // Where each record's entries begin, counted first.
    std::vector<std::size_t> starts;
    ResizeLarge(starts, span + 1);
    for (const TEntry& entry : entries_)
        ++starts[static_cast<std::size_t>(entry.Record - low) + 1];
    std::partial_sum(starts.begin(), starts.end(), starts.begin());
    std::vector<TEntry> ordered;
    ResizeLarge(ordered, entries_.size());
    for (const TEntry& entry : entries_)
        ordered[starts[static_cast<std::size_t>(entry.Record - low)]++] = entry;
    entries_ = std::move(ordered);
    return true;
}

TTextIndexContent::TRecordEntries TTextIndexContent::TakeRecord(std::int32_t record, std::size_t& next) const
{
    while (next < entries_.size() && entries_[next].Record < record)
        ++next;
    const std::size_t first = next;
    while (next < entries_.size() && entries_[next].Record == record)
        ++next;
    return {first, next};
}

bool TTextIndexContent::SameTexts(TRecordEntries taken, const std::vector<std::string>& texts) const
{
    return std::equal(entries_.begin() + static_cast<std::ptrdiff_t>(taken.First),
                      entries_.begin() + static_cast<std::ptrdiff_t>(taken.End), texts.begin(), texts.end(),
                      [this](const TEntry& entry, const std::string& text) { return TextOf(entry) == text; });
}

std::vector<std::string> TTextIndexContent::Texts(TRecordEntries taken) const
{
    std::vector<std::string> texts;
    for (std::size_t i = taken.First; i < taken.End; ++i)
        texts.emplace_back(TextOf(entries_[i]));
    return texts;
}

// Each text changed in its own string: the checker normalises every text
// of every pattern.
std::vector<std::string> Normalised(std::vector<std::string> texts)
{
    std::size_t count = 0;
    for (std::string& text : texts) {
        const std::string_view kept = TrimmedView(text);
        if (kept.empty())
            continue;
        const auto first = static_cast<std::size_t>(kept.data() - text.data());
        text.erase(first + kept.size());
        text.erase(0, first);
        MakeUpperCaseAscii(text);
        if (&texts[count] != &text)
            texts[count] = std::move(text);
        ++count;
    }
    texts.resize(count);
    std::sort(texts.begin(), texts.end());
    return texts;
}

} // namespace norrvik
