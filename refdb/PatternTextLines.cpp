// The four text lists of a reference pattern, loaded from the database's
// side files on first request, and the readers of their 70-column lines:
// coded comments (the colour), journal and authors of reference lines.
#include "refdb/ReferencePattern.h"

#include "common/Text.h"

#include <string_view>

namespace norrvik {

namespace {

// Columns of a coded line, counted from 1.
constexpr std::size_t kTextColumns = 67;      // 1-67: the text
constexpr std::size_t kCodeColumn = 68;       // 68-69: the two-character code
constexpr std::size_t kContinueColumn = 70;   // 70: "C" when the next line continues
constexpr std::string_view kUncoded = "  ";
constexpr std::string_view kColorCode = "CL";

// The trimmed characters of columns first..last (from 1) of a line; the part
// beyond the end of a short line is simply absent.
std::string Columns(const std::string& line, std::size_t first, std::size_t last)
{
    if (line.size() < first)
        return {};
    return Trim(std::string_view(line).substr(first - 1, last - first + 1));
}

// A line without a code: shorter than 68 characters, or blanks in columns
// 68-69. A line of exactly 68 characters is neither coded nor uncoded.
bool IsUncoded(const std::string& line)
{
    if (line.size() < kCodeColumn)
        return true;
    return line.size() > kCodeColumn && line.compare(kCodeColumn - 1, 2, kUncoded) == 0;
}

bool IsSelected(const std::string& line, std::string_view code)
{
    if (line.size() > kCodeColumn && line.compare(kCodeColumn - 1, 2, code) == 0)
        return true;
    return code == kUncoded && IsUncoded(line);
}

// True when line i carries the continuation mark and a next line exists.
bool ContinuesOnNextLine(const std::vector<std::string>& lines, std::size_t i)
{
    return lines[i].size() >= kContinueColumn && lines[i][kContinueColumn - 1] == 'C' &&
           i + 1 < lines.size();
}

// Reference line columns.
constexpr std::size_t kJournalLast = 6;
constexpr std::size_t kAuthorsFirst = 22;

} // namespace

std::vector<std::string>& TReferencePattern::ListFor(TextList list) const
{
    return lists_[static_cast<std::size_t>(list)];
}

void TReferencePattern::LoadOnDemand(TextList list) const
{
    std::vector<std::string>& lines = ListFor(list);
    if (!lines.empty() || link_ == nullptr)
        return;
    const TextRange range = GetTextRange(list);
    link_->ReadTextLines(SideFileOf(list), range.First, lines, range.Count);
}

const std::vector<std::string>& TReferencePattern::GetTextList(TextList list) const
{
    LoadOnDemand(list);
    return ListFor(list);
}

void TReferencePattern::SetTextList(TextList list, const std::vector<std::string>& lines)
{
    ListFor(list) = lines; // safe when `lines` is the list itself
}

void TReferencePattern::AddTextLine(TextList list, std::string line)
{
    LoadOnDemand(list);
    ListFor(list).push_back(std::move(line));
}

const std::vector<std::string>& TReferencePattern::GetCodedComments() const
{
    return GetTextList(TextList::CodedComments);
}

const std::vector<std::string>& TReferencePattern::GetComments() const
{
    return GetTextList(TextList::Comments);
}

const std::vector<std::string>& TReferencePattern::GetReferences() const
{
    return GetTextList(TextList::References);
}

const std::vector<std::string>& TReferencePattern::GetSupplementLines() const
{
    return GetTextList(TextList::SupplementLines);
}

void TReferencePattern::SetCodedComments(const std::vector<std::string>& lines)
{
    SetTextList(TextList::CodedComments, lines);
}

void TReferencePattern::SetComments(const std::vector<std::string>& lines)
{
    SetTextList(TextList::Comments, lines);
}

void TReferencePattern::SetReferences(const std::vector<std::string>& lines)
{
    SetTextList(TextList::References, lines);
}

void TReferencePattern::SetSupplementLines(const std::vector<std::string>& lines)
{
    SetTextList(TextList::SupplementLines, lines);
}

std::string TReferencePattern::GetCodedComment(std::string_view code) const
{
    const std::vector<std::string>& lines = GetCodedComments();
    std::string result;
    bool first = true;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!IsSelected(lines[i], code))
            continue;
        std::string text = Columns(lines[i], 1, kTextColumns);
        while (ContinuesOnNextLine(lines, i)) {
            ++i;
            text += ' ';
            text += Columns(lines[i], 1, kTextColumns);
        }
        if (!first)
            result += '\n';
        result += text;
        first = false;
    }
    return result;
}

std::string TReferencePattern::GetColor() const
{
    return GetCodedComment(kColorCode);
}

std::optional<TReferenceLineFields> TReferencePattern::GetReference(std::string_view code) const
{
    const std::vector<std::string>& lines = GetReferences();
    std::size_t i = 0;
    while (i < lines.size() && !IsSelected(lines[i], code))
        ++i;
    if (i == lines.size())
        return std::nullopt;

    TReferenceLineFields fields;
    const std::string journalCode = Columns(lines[i], 1, kJournalLast);
    if (!journalCode.empty() && link_ != nullptr)
        fields.Journal = link_->JournalName(journalCode);
    fields.Field7to10 = Columns(lines[i], 7, 10);
    fields.Field11to15 = Columns(lines[i], 11, 15);
    fields.Field17to20 = Columns(lines[i], 17, 20);
    fields.Authors = Columns(lines[i], kAuthorsFirst, kTextColumns);
    while (ContinuesOnNextLine(lines, i)) {
        ++i;
        fields.Authors += ' ';
        fields.Authors += Columns(lines[i], kAuthorsFirst, kTextColumns);
    }
    return fields;
}

std::string TReferencePattern::GetJournal() const
{
    const std::optional<TReferenceLineFields> fields = GetReference(kUncoded);
    return fields ? fields->Journal : std::string();
}

std::string TReferencePattern::GetAuthors() const
{
    const std::optional<TReferenceLineFields> fields = GetReference(kUncoded);
    return fields ? fields->Authors : std::string();
}

} // namespace norrvik
