// The stop requests on Windows: a console control handler. Ctrl-C and
// Ctrl-Break are recorded as SIGINT and SIGBREAK; closing the console
// window, logging off and shutting down as SIGTERM. For those three the
// system ends the process as soon as the handler returns, so the handler
// waits there: the run stops after its current entry, completes the indexes
// and ends the process itself (Windows waits a few seconds before it ends
// the process regardless).
#include "common/StopSignals.h"

#include <windows.h>

#include <atomic>
#include <csignal>

namespace norrvik {

namespace {

std::atomic<int> requested{0};
std::atomic<bool> handlerInstalled{false};
// Set while a handler waits for the program's end. The system runs the
// handlers holding the lock that SetConsoleCtrlHandler takes, so removing
// the handler then would wait for ever.
std::atomic<bool> handlerWaiting{false};

int SignalFor(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
        return SIGINT;
    case CTRL_BREAK_EVENT:
        return SIGBREAK;
    default:
        return SIGTERM;
    }
}

BOOL WINAPI OnControlEvent(DWORD event)
{
    const bool waits = event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
    if (waits)
        handlerWaiting.store(true); // before the check below, which the destructor does the other way round
    if (!handlerInstalled.load()) {
        handlerWaiting.store(false);
        return FALSE;
    }
    int expected = 0;
    requested.compare_exchange_strong(expected, SignalFor(event)); // the first request is the one reported
    if (waits)
        ::Sleep(INFINITE); // the program's end ends this thread
    return TRUE;
}

} // namespace

struct TStopSignals::SavedHandlers {};

TStopSignals::TStopSignals() : saved_(std::make_unique<SavedHandlers>())
{
    requested.store(0);
    handlerInstalled.store(true);
    ::SetConsoleCtrlHandler(OnControlEvent, TRUE);
}

TStopSignals::~TStopSignals()
{
    handlerInstalled.store(false);
    // A waiting handler holds the system's lock; it stays registered and,
    // seeing no TStopSignals, lets the next event take its course.
    if (!handlerWaiting.load())
        ::SetConsoleCtrlHandler(OnControlEvent, FALSE);
}

const char* StopExitStatusesText()
{
    return "130, 143, 149: stopped by Ctrl-C, a closed console window (or a logoff, a shutdown) or Ctrl-Break";
}

int TStopSignals::Requested()
{
    return requested.load();
}

void TStopSignals::Drain() const {}

} // namespace norrvik
