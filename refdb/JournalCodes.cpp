// The journal code look-up.
#include "refdb/JournalCodes.h"

#include "common/Text.h"

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

} // namespace norrvik
