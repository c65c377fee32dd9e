// Patterns and file helpers shared by the database store tests.
#pragma once

#include "refdb/ReferencePattern.h"
#include "support/TempFolder.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace norrvik::test {

// A coded comment line: the text in columns 1-67, the code in 68-69.
inline std::string CodedLine(const std::string& text, const std::string& code)
{
    std::string line = text;
    line.resize(67, ' ');
    return line + code;
}

// An uncoded reference line: journal code in columns 1-6, authors from 22.
inline std::string ReferenceLine(const std::string& journal, const std::string& authors)
{
    std::string line = journal;
    line.resize(21, ' ');
    return line + authors;
}

// A user pattern without a code, as the drivers hand them over.
inline TReferencePattern SimplePattern(const std::string& name)
{
    TReferencePattern pattern;
    if (!name.empty())
        pattern.AddName(name, 0);
    pattern.SetFormulaLine("Fe2O3");
    pattern.AddLine(2.0f, 100, 1, 0, 0);
    pattern.AddLine(4.0f, 50, 0, 1, 0);
    pattern.AddLine(1.0f, 25, 0, 0, 1);
    pattern.SetComments({"Imported from somewhere"});
    return pattern;
}

// The file of a database folder as bytes or text.
inline std::vector<std::uint8_t> Bytes(const TempFolder& folder, const std::string& name)
{
    return ReadFile(folder.Path() / name);
}
inline std::string Text(const TempFolder& folder, const std::string& name)
{
    return ReadFileText(folder.Path() / name);
}

} // namespace norrvik::test
