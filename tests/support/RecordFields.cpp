// Readers of records and text lines of a Tessaly database for the tests.
#include "support/RecordFields.h"

#include "support/TempFolder.h"

#include <stdexcept>

namespace norrvik::test {

ConstBytes RecordOf(const std::vector<std::uint8_t>& mainFile, std::size_t n)
{
    if (mainFile.size() < (n + 1) * kRecordSize)
        throw std::out_of_range("the main data file holds no record " + std::to_string(n));
    return ConstBytes(mainFile).subspan(n * kRecordSize, kRecordSize);
}

std::vector<std::uint8_t> ReadMainDataFile(const std::filesystem::path& folder)
{
    return ReadFile(folder / "ReferenceDatabase.PDB");
}

std::string PaddedTextLine(const std::string& line)
{
    return (line + std::string(kTextLineSize, ' ')).substr(0, kTextLineSize);
}

std::string CommentLineOf(const std::filesystem::path& folder, std::size_t n)
{
    const std::string text = ReadFileText(folder / "Comment.PDB");
    if (text.size() < (n + 1) * kTextLineSize)
        throw std::out_of_range("Comment.PDB holds no line " + std::to_string(n));
    return text.substr(n * kTextLineSize, kTextLineSize);
}

} // namespace norrvik::test
