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
    if (!handlerInstalled.load())
        return FALSE;
    int expected = 0;
    requested.compare_exchange_strong(expected, SignalFor(event)); // the first request is the one reported
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
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
