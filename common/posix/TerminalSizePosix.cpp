// The terminal's width on POSIX systems: the TIOCGWINSZ request.
#include "common/TerminalSize.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace norrvik {

std::optional<int> TerminalColumns(TStandardStream stream)
{
    const int descriptor = stream == TStandardStream::Output ? STDOUT_FILENO : STDERR_FILENO;
    winsize size{};
    if (ioctl(descriptor, TIOCGWINSZ, &size) != 0 || size.ws_col == 0)
        return std::nullopt;
    return static_cast<int>(size.ws_col);
}

} // namespace norrvik
