// What a reference pattern asks of the database it was read from: its text
// lists are loaded on demand from the two side files, and a journal code of a
// reference line is looked up in the database's journal code list. The
// database store implements it; a pattern built in memory has no link.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace norrvik {

// The two side files of 70-character text lines.
enum class TextSideFile {
    Comment,    // Comment.PDB: coded comments and free comments
    Literature, // Literature.PDB: references and supplementary lines
};

class TPatternDatabaseLink {
public:
    virtual ~TPatternDatabaseLink() = default;

    // Appends to `lines` up to `count` lines starting at record `first` of the
    // side file (each with trailing blanks and control characters removed);
    // count <= 0 or first < 0 empties `lines` and reads nothing.
    virtual void ReadTextLines(TextSideFile file, std::int32_t first,
                               std::vector<std::string>& lines, std::int32_t count) = 0;

    // The journal name listed for `code` in the journal code list ("code=name"
    // lines), or the empty string when the code is not listed.
    virtual std::string JournalName(const std::string& code) = 0;

protected:
    TPatternDatabaseLink() = default;
    TPatternDatabaseLink(const TPatternDatabaseLink&) = default;
    TPatternDatabaseLink& operator=(const TPatternDatabaseLink&) = default;
};

} // namespace norrvik
