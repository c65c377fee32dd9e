// Printing a target database for people.
#include "cli/DumpCommand.h"

#include "common/Format.h"
#include "common/Text.h"
#include "refdb/DatabaseLock.h"
#include "refdb/ReferenceDatabase.h"
#include "refdb/ReferencePattern.h"

#include <utility>

namespace norrvik {

namespace {

// The database's texts are Windows-1252; the terminal wants UTF-8.
std::string Shown(std::string_view bytes)
{
    return Windows1252ToUtf8(bytes);
}

std::string SubfileCodes(std::uint32_t mask)
{
    std::string codes;
    for (std::size_t bit = 0; bit < kSubfileCount; ++bit) {
        if ((mask & (std::uint32_t{1} << bit)) == 0)
            continue;
        const std::string_view row = SubfileTable[bit];
        if (!codes.empty())
            codes += ' ';
        codes += row.substr(0, row.find('='));
    }
    return codes.empty() ? "none" : codes;
}

void DumpNames(const TReferencePattern& pattern, std::ostream& out)
{
    const int count = pattern.GetNameCount();
    if (count == 0)
        out << "  Names:    none\n";
    for (int i = 0; i < count; ++i) {
        const PatternName name = pattern.GetNameAt(i);
        out << (i == 0 ? "  Names:    " : "            ") << name.TypeLetter << ' ' << Shown(name.Text) << '\n';
    }
}

void DumpLines(const TReferencePattern& pattern, std::ostream& out)
{
    const int count = pattern.GetLineCount();
    out << "  Lines:    " << count << '\n';
    if (count == 0)
        return;
    out << "           d (A)      I     h     k     l\n";
    for (int i = 0; i < count; ++i)
        out << Format("      %10.5f %6d %5d %5d %5d\n", static_cast<double>(pattern.GetD(i)),
                      pattern.GetIntensity(i), pattern.GetH(i), pattern.GetK(i), pattern.GetL(i));
}

void DumpTextLists(const TReferencePattern& pattern, std::ostream& out)
{
    const std::pair<TextList, const char*> lists[] = {
        {TextList::Comments, "Comments"},
        {TextList::CodedComments, "Coded comments"},
        {TextList::References, "References"},
        {TextList::SupplementLines, "Supplementary lines"},
    };
    for (const auto& [list, title] : lists) {
        const std::vector<std::string>& lines = pattern.GetTextList(list);
        if (lines.empty())
            continue;
        out << "  " << title << ":\n";
        for (const std::string& line : lines)
            out << "    " << Shown(line) << '\n';
    }
}

} // namespace

void DumpHeader(TReferenceDatabase& database, std::ostream& out)
{
    out << "Database:  " << database.DatabaseName() << '\n';
    out << "Version:   " << Shown(database.Version()) << '\n';
    out << "Title:     " << Shown(database.Title()) << '\n';
    out << "Patterns:  " << database.PatternCount() << " (" << database.UserPatternCount() << " user patterns)\n";
}

void DumpPattern(const TReferencePattern& pattern, std::ostream& out)
{
    out << '\n' << "Pattern " << pattern.GetRecordNumber() << ": " << Shown(pattern.GetReferenceCode()) << '\n';
    DumpNames(pattern, out);
    out << "  Formula:  " << Shown(pattern.GetFormulaLine()) << '\n';
    out << "  Status:   " << pattern.GetStatus() << (pattern.IsUserPattern() ? " (user pattern)" : "") << '\n';
    out << "  Subfiles: " << SubfileCodes(pattern.GetSubfiles()) << '\n';
    DumpLines(pattern, out);
    DumpTextLists(pattern, out);
}

void DumpDatabase(const std::string& folder, const std::optional<std::string>& code, std::ostream& out)
{
    const TDatabaseLock lock = TDatabaseLock::Shared(folder);
    TReferenceDatabase database;
    database.SetDatabaseName(folder);
    database.Open();
    DumpHeader(database, out);
    if (code) {
        DumpPattern(database.FindPattern(*code), out);
        return;
    }
    const std::int32_t count = database.PatternCount();
    for (std::int32_t n = 1; n <= count; ++n)
        DumpPattern(database.GetPattern(n), out);
}

} // namespace norrvik
