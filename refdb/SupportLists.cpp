// The journal code look-up and the subfile list check.
#include "refdb/SupportLists.h"

#include "common/Text.h"
#include "refdb/ReferencePattern.h"

#include <algorithm>

namespace norrvik {

std::string JournalNameInCodeList(const std::vector<std::string>& codeLines, std::string_view code)
{
    for (const std::string& line : codeLines) {
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos && SameTextAscii(std::string_view(line).substr(0, equals), code))
            return line.substr(equals + 1);
    }
    return {};
}

std::string SubfileCode(std::string_view line)
{
    const std::size_t equals = line.find('=');
    return equals == std::string_view::npos ? std::string() : UpperCaseAscii(line.substr(0, equals));
}

std::optional<std::size_t> FirstWrongSubfileLine(const std::vector<std::string>& subfileLines)
{
    const std::size_t compared = std::min(subfileLines.size(), kSubfileTable.size());
    for (std::size_t i = 0; i < compared; ++i)
        if (SubfileCode(subfileLines[i]) != SubfileCode(kSubfileTable[i]))
            return i;
    return std::nullopt;
}

} // namespace norrvik
