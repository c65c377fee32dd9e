// The width of the terminal that standard output or standard error goes to,
// asked of the system each time (a window resized meanwhile answers with its
// new width). The one place of that system call.
#pragma once

#include <optional>

namespace norrvik {

enum class TStandardStream { Output, Error };

// The terminal's width in columns; nothing when the stream goes to a file, a
// pipe or a terminal that does not say.
std::optional<int> TerminalColumns(TStandardStream stream);

} // namespace norrvik
