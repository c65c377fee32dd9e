// The checker's view of a text index: its entries by record number, each
// text as the sorted index holds it, and the texts a pattern gives brought
// into the same form, so that the two compare as lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace norrvik {

// The entries of one text index by record number, after its own checks,
// each text as the sorted index holds it (upper case, trimmed; empty ones
// left out). Kept compact, as the seven indexes of a large database are
// held at once: the texts one after another in one string, and per entry
// its record and where its text lies, ordered by record, then by text.
class TTextIndexContent {
public:
    bool readable = false;

    // Room for `entries` entries and `textBytes` bytes of their texts, taken
    // before they are added: the index's own file bounds both.
    void Reserve(std::size_t entries, std::size_t textBytes);
    void Add(std::int32_t record, std::string_view text);
    // Orders the entries for TakeRecord, once all are added.
    void Seal();

    // The entries of one record, first to end, held by the content.
    struct TRecordEntries {
        std::size_t First = 0;
        std::size_t End = 0;
    };

    // The entries of `record`, their texts in ascending order; each reader
    // (its cursor `next`, 0 at first) takes records in ascending order, each
    // once (the entries of records passed over are never taken).
    TRecordEntries TakeRecord(std::int32_t record, std::size_t& next) const;
    // Whether the entries' texts are `texts`, one for one.
    bool SameTexts(TRecordEntries taken, const std::vector<std::string>& texts) const;
    std::vector<std::string> Texts(TRecordEntries taken) const;

private:
    // Orders the entries by record, keeping their order within a record, in
    // time linear in their count; false, and nothing changed, where their
    // records span too many numbers for that (a damaged index).
    bool OrderByRecord();
    // Lays the texts out in the entries' order: the records are checked in
    // order, and each text's memory then follows the last one's.
    void TextsInEntryOrder();

    struct TEntry {
        std::int32_t Record;
        std::size_t Size;
        std::size_t Offset;
    };
    std::string_view TextOf(const TEntry& entry) const
    {
        return std::string_view(texts_).substr(entry.Offset, entry.Size);
    }

    std::string texts_;
    std::vector<TEntry> entries_;
};

// Texts as the sorted index holds them: upper case, trimmed, in a fixed order
// so that two lists compare as multisets.
std::vector<std::string> Normalised(std::vector<std::string> texts);

} // namespace norrvik
