// The stop signals on POSIX systems: sigaction without SA_RESTART, a
// lock-free flag and a self-pipe that wakes an event loop.
#include "common/StopSignals.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace norrvik {

namespace {

constexpr std::array<int, 3> kStopSignals = {SIGINT, SIGTERM, SIGHUP};

std::atomic<int> requested{0};
std::atomic<int> wakeWrite{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free values");

extern "C" void OnStopSignal(int signal)
{
    const int savedErrno = errno;
    int expected = 0;
    requested.compare_exchange_strong(expected, signal); // the first signal is the one reported
    if (const int descriptor = wakeWrite.load(); descriptor >= 0) {
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write(descriptor, &byte, 1); // a full pipe is awake already
    }
    errno = savedErrno;
}

bool MakePipe(int& readEnd, int& writeEnd)
{
    int ends[2];
    if (::pipe(ends) != 0)
        return false;
    for (const int end : ends) {
        ::fcntl(end, F_SETFD, FD_CLOEXEC);
        ::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK);
    }
    readEnd = ends[0];
    writeEnd = ends[1];
    return true;
}

} // namespace

struct TStopSignals::SavedHandlers {
    std::array<struct sigaction, kStopSignals.size()> previous{};
};

TStopSignals::TStopSignals() : saved_(std::make_unique<SavedHandlers>())
{
    requested.store(0);
    if (MakePipe(wakeRead_, wakeWrite_))
        wakeWrite.store(wakeWrite_);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a blocked read or open returns with EINTR
    for (std::size_t i = 0; i < kStopSignals.size(); ++i)
        ::sigaction(kStopSignals[i], &action, &saved_->previous[i]);
}

TStopSignals::~TStopSignals()
{
    for (std::size_t i = 0; i < kStopSignals.size(); ++i)
        ::sigaction(kStopSignals[i], &saved_->previous[i], nullptr);
    wakeWrite.store(-1);
    if (wakeRead_ >= 0)
        ::close(wakeRead_);
    if (wakeWrite_ >= 0)
        ::close(wakeWrite_);
}

const char* StopExitStatusesText()
{
    return "129, 130, 143: stopped by SIGHUP, Ctrl-C or SIGTERM";
}

int TStopSignals::Requested()
{
    return requested.load();
}

void TStopSignals::Drain() const
{
    char buffer[64];
    while (wakeRead_ >= 0 && ::read(wakeRead_, buffer, sizeof buffer) > 0) {
    }
}

} // namespace norrvik
