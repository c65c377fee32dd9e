// Sends a console control event to a process that has a console of its own,
// as a key pressed in that console does, for the console event tests (a
// test program may have no console to share: Wine gives none to a program
// whose output is not a terminal).
//
//   console_event_sender PID EVENT   EVENT 0 (Ctrl-C) or 1 (Ctrl-Break)
//
// Exit status 0 when the system took the event, 2 when the console could not
// be joined, 3 with the system's error number on stderr when it refused.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

// The sender is one of the console's processes while it sends: it ignores what it sends.
BOOL WINAPI IgnoreEvent(DWORD)
{
    return TRUE;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const DWORD process = std::strtoul(argv[1], nullptr, 10);
    const DWORD event = std::strtoul(argv[2], nullptr, 10);
    ::FreeConsole();
    if (!::AttachConsole(process))
        return 2;
    ::SetConsoleCtrlHandler(IgnoreEvent, TRUE);
    // Group 0: every process of the console, the sender and the one it was started for.
    if (!::GenerateConsoleCtrlEvent(event, 0)) {
        std::fprintf(stderr, "%lu\n", ::GetLastError());
        return 3;
    }
    return 0;
}
