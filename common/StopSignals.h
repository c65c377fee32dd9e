// The signals that ask a run to stop: SIGINT (Ctrl-C), SIGTERM (a service
// stop, a shutdown) and SIGHUP (a closed terminal, a logout). While a
// TStopSignals lives they only record the request; the run looks at it
// between entries and stops there as a Cancel would, never inside the index
// writing. The handlers are installed without SA_RESTART, so a blocking
// system call returns (EINTR) instead of starting again for ever. On Windows
// the requests are the console's control events: Ctrl-C (SIGINT),
// Ctrl-Break (SIGBREAK), and a closed console window, a logoff or a shutdown
// (SIGTERM); there is no wake descriptor. The one place of the program's
// signal calls (part of the platform layer, common/Platform.h).
#pragma once

#include <memory>

namespace norrvik {

// The exit statuses of a run stopped by these requests, as a command's help
// lists them ("129, 130, 143: stopped by ...").
const char* StopExitStatusesText();

class TStopSignals {
public:
    // Clears any earlier request and installs the handlers; the previous
    // handlers come back when the object goes. One at a time.
    TStopSignals();
    ~TStopSignals();
    TStopSignals(const TStopSignals&) = delete;
    TStopSignals& operator=(const TStopSignals&) = delete;

    // The signal that asked to stop, 0 while none has.
    static int Requested();
    // A descriptor that becomes readable when a stop signal arrives, for an
    // event loop to watch (-1 when none could be made); Drain empties it.
    int WakeDescriptor() const { return wakeRead_; }
    void Drain() const;

private:
    struct SavedHandlers;
    std::unique_ptr<SavedHandlers> saved_;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
};

} // namespace norrvik
