// The journal code list of a database (Codes.PDB, "code=name" lines): the
// look-up the store and the checker share.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace norrvik {

// The name after the "=" of the first line whose code equals `code` without
// regard to ASCII letter case; empty when no line lists the code.
std::string JournalNameInCodeList(const std::vector<std::string>& codeLines, std::string_view code);

} // namespace norrvik
