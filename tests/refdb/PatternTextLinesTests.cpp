// Tests of the text lists of a pattern: loading from the database on first
// request, coded comments (the colour), and journal and authors of
// literature reference lines.
#include "refdb/PatternDatabaseLink.h"
#include "refdb/ReferencePattern.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace norrvik;

namespace {

// A line with its text in columns 1-67, a code in 68-69 and a continuation
// mark in 70 (an empty mark leaves the line 69 characters long).
std::string CodedLine(const std::string& text, const std::string& code, const std::string& mark = "")
{
    std::string line = text;
    line.resize(67, ' ');
    return line + code + mark;
}

// A reference line: journal code in 1-6, short fields in 7-10, 11-15 and
// 17-20, authors in 22-67.
std::string ReferenceLine(const std::string& journal, const std::string& f7, const std::string& f11,
                          const std::string& f17, const std::string& authors,
                          const std::string& code = "  ", const std::string& mark = "")
{
    const auto column = [](std::string text, std::size_t width) {
        text.resize(width, ' ');
        return text;
    };
    return CodedLine(column(journal, 6) + column(f7, 4) + column(f11, 5) + "|" + column(f17, 4) +
                         "|" + authors,
                     code, mark);
}

// A database with two side files held in memory and a journal code list.
class FakeDatabase : public TPatternDatabaseLink {
public:
    std::map<TextSideFile, std::vector<std::string>> files;
    std::map<std::string, std::string> journals;
    int reads = 0;

    void ReadTextLines(TextSideFile file, std::int32_t first, std::vector<std::string>& lines,
                       std::int32_t count) override
    {
        ++reads;
        if (count <= 0 || first < 0) {
            lines.clear();
            return;
        }
        const std::vector<std::string>& records = files[file];
        for (std::int32_t i = first; i < first + count && i < static_cast<std::int32_t>(records.size()); ++i)
            lines.push_back(records[static_cast<std::size_t>(i)]);
    }

    std::string JournalName(const std::string& code) override
    {
        const auto found = journals.find(code);
        return found == journals.end() ? std::string() : found->second;
    }
};

} // namespace

TEST(PatternTextLines, ColourFromCodedComments)
{
    TReferencePattern pattern;
    pattern.SetCodedComments({
        CodedLine("Colour: CL is not a code here", "  "),
        CodedLine("Colourless", "CL"),
        CodedLine("Sample from a mine", "SS"),
        CodedLine("  pale", "CL", "C"),
        CodedLine("  yellow  ", "  "), // continues the colour, whatever its own code
        CodedLine("grey", "CL", "C"),   // a mark on the last line is ignored
    });
    EXPECT_EQ(pattern.GetColor(), "Colourless\npale yellow\ngrey");
    EXPECT_EQ(pattern.GetCodedComment("SS"), "Sample from a mine");
    EXPECT_EQ(pattern.GetCodedComment("  "), "Colour: CL is not a code here\nyellow");
    EXPECT_EQ(pattern.GetCodedComment("XX"), "");

    // Short lines are uncoded; a line of exactly 68 characters is neither.
    pattern.SetCodedComments({"short", std::string(67, 'a') + "C", CodedLine("x", "CL")});
    EXPECT_EQ(pattern.GetCodedComment("  "), "short");
    EXPECT_EQ(pattern.GetColor(), "x");

    pattern.SetCodedComments({});
    EXPECT_EQ(pattern.GetColor(), "");
}

TEST(PatternTextLines, JournalAndAuthorsOfTheFirstUncodedReference)
{
    FakeDatabase database;
    database.journals["JACS"] = "J. Am. Chem. Soc.";
    TReferencePattern pattern;
    pattern.SetDatabaseLink(&database);
    pattern.SetReferences({
        ReferenceLine("ACTA", "12", "345", "1999", "Coded, Skipped", "XY"),
        ReferenceLine(" JACS ", "  7 ", "100", "2001", "Smith, A., Jones, B.", "  ", "C"),
        ReferenceLine("", "", "", "", "  Miller, C.  ", "  "),
        ReferenceLine("ZKRI", "", "", "", "Second, reference", "  "),
    });
    EXPECT_EQ(pattern.GetJournal(), "J. Am. Chem. Soc.");
    EXPECT_EQ(pattern.GetAuthors(), "Smith, A., Jones, B. Miller, C.");
    const auto fields = pattern.GetReference("  ");
    ASSERT_TRUE(fields.has_value());
    EXPECT_EQ(fields->Field7to10, "7");
    EXPECT_EQ(fields->Field11to15, "100");
    EXPECT_EQ(fields->Field17to20, "2001");

    const auto coded = pattern.GetReference("XY");
    ASSERT_TRUE(coded.has_value());
    EXPECT_EQ(coded->Journal, ""); // ACTA is not in the code list
    EXPECT_EQ(coded->Authors, "Coded, Skipped");
    EXPECT_FALSE(pattern.GetReference("QQ").has_value());

    pattern.SetReferences({ReferenceLine("NOSUCH", "", "", "", "Author, Only")});
    EXPECT_EQ(pattern.GetJournal(), "");
    EXPECT_EQ(pattern.GetAuthors(), "Author, Only");

    pattern.SetReferences({ReferenceLine("JACS", "", "", "", "Coded", "AB")});
    EXPECT_EQ(pattern.GetJournal(), "");
    EXPECT_EQ(pattern.GetAuthors(), "");
}

TEST(PatternTextLines, UnlinkedPatternKeepsWhatWasSet)
{
    TReferencePattern pattern;
    const std::vector<std::string> references = {ReferenceLine("JACS", "", "", "", "Smith, A.")};
    pattern.SetReferences(references);
    pattern.AddTextLine(TextList::Comments, "Imported from /data/old");
    EXPECT_EQ(pattern.GetReferences(), references);
    EXPECT_EQ(pattern.GetComments(), (std::vector<std::string>{"Imported from /data/old"}));
    EXPECT_TRUE(pattern.GetSupplementLines().empty());
    EXPECT_EQ(pattern.GetJournal(), "");
    EXPECT_EQ(pattern.GetAuthors(), "Smith, A.");
}

TEST(PatternTextLines, ListsLoadFromTheirRangesOnFirstRequest)
{
    FakeDatabase database;
    database.files[TextSideFile::Comment] = {"free 0", CodedLine("red", "CL"), "free 2", "free 3"};
    database.files[TextSideFile::Literature] = {"supplement",
                                                ReferenceLine("JACS", "", "", "", "Loaded, L.")};
    database.journals["JACS"] = "J. Am. Chem. Soc.";
    TReferencePattern stored;
    stored.SetTextRange(TextList::CodedComments, {1, 1});
    stored.SetTextRange(TextList::Comments, {2, 2});
    stored.SetTextRange(TextList::References, {1, 1});
    stored.SetTextRange(TextList::SupplementLines, {-1, 0});
    stored.SetDatabaseLink(&database);

    EXPECT_EQ(stored.GetColor(), "red");
    EXPECT_EQ(stored.GetComments(), (std::vector<std::string>{"free 2", "free 3"}));
    EXPECT_EQ(stored.GetJournal(), "J. Am. Chem. Soc.");
    EXPECT_TRUE(stored.GetSupplementLines().empty());
    const int reads = database.reads;
    stored.GetComments(); // a loaded list is kept
    EXPECT_EQ(database.reads, reads);

    // A copy takes the lines the source loads, and the link.
    TReferencePattern fresh;
    fresh.SetDatabaseLink(&database);
    fresh.SetTextRange(TextList::References, {0, 1});
    fresh.AddTextLine(TextList::References, "added");
    EXPECT_EQ(fresh.GetReferences(), (std::vector<std::string>{"supplement", "added"}));

    TReferencePattern copy;
    TReferencePattern other;
    other.Record() = stored.Record();
    other.SetDatabaseLink(&database);
    copy.Assign(other);
    EXPECT_EQ(copy.DatabaseLink(), &database);
    EXPECT_EQ(copy.GetComments(), (std::vector<std::string>{"free 2", "free 3"}));
    copy.SetDatabaseLink(nullptr);
    EXPECT_EQ(copy.GetAuthors(), "Loaded, L.");
    EXPECT_EQ(copy.GetJournal(), "");
}
