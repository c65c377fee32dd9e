// The console's width on Windows: the visible window of the console's
// screen buffer.
#include "common/TerminalSize.h"

#include <windows.h>

namespace norrvik {

std::optional<int> TerminalColumns(TStandardStream stream)
{
    const HANDLE handle = GetStdHandle(stream == TStandardStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr || !GetConsoleScreenBufferInfo(handle, &info))
        return std::nullopt;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    if (columns <= 0)
        return std::nullopt;
    return columns;
}

} // namespace norrvik
