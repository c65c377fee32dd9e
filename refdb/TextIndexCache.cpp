// Text index files on disk, step by step, and held in memory.
#include "refdb/TextIndexCache.h"

#include "common/Exceptions.h"
#include "common/Files.h"
#include "common/Text.h"
#include "refdb/RecordFile.h"

#include <cstddef>

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

TIndexes* TTextIndexCache::Find(TextIndex index)
{
    std::optional<TIndexes>& slot = slots_[TextIndexSlot(index)];
    return slot ? &*slot : nullptr;
}

void TTextIndexCache::Set(TextIndex index, TIndexes entries)
{
    slots_[TextIndexSlot(index)] = std::move(entries);
}

void TTextIndexCache::Forget(TextIndex index)
{
    slots_[TextIndexSlot(index)].reset();
}

void TTextIndexCache::Clear()
{
    for (std::optional<TIndexes>& slot : slots_)
        slot.reset();
}

} // namespace norrvik
