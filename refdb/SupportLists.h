// The two supporting list files of a database, Subfiles.PDB and Codes.PDB
// ("code=description" lines): the rules the store, the checker and the
// salvage share.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norrvik {

// The name after the "=" of the first line whose code equals `code` without
// regard to ASCII letter case; empty when no line lists the code.
std::string JournalNameInCodeList(const std::vector<std::string>& codeLines, std::string_view code);

// The code of a "code=description" line, upper-cased; empty without "=".
std::string SubfileCode(std::string_view line);

// The index of the first subfile line whose code differs from the code of
// the subfile table's row of that index (ASCII case ignored); nothing when
// all agree. Lines beyond the table's rows have no row to compare with.
std::optional<std::size_t> FirstWrongSubfileLine(const std::vector<std::string>& subfileLines);

} // namespace norrvik
