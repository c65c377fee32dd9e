// How norrvik-cli answers a command line it cannot take: the name nearest
// to a mistyped command or option, and help text wrapped to the width of
// the terminal.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace norrvik {

// The name of `names` nearest to `typed`: the one it begins, or the one a
// few typing slips away (letters left out, added, changed or swapped, any
// letter case); empty when none is near.
std::string NearestName(std::string_view typed, const std::vector<std::string>& names);

// `text` with every line longer than `width` columns broken at blanks. The
// lines a line is broken into start under its description (the text after
// the first run of two blanks, as in a list of options) when that leaves
// room, otherwise under the line's own first character.
std::string WrapText(std::string_view text, int width);

} // namespace norrvik
