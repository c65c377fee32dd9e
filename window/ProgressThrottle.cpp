// The time-based throttle of a window's progress display.
#include "window/ProgressThrottle.h"

#include <utility>

namespace norrvik {

TProgressThrottle::TProgressThrottle(Clock clock) : clock_(std::move(clock))
{
    if (!clock_)
        clock_ = [] { return std::chrono::steady_clock::now(); };
}

bool TProgressThrottle::Due(const TProgress& progress)
{
    const bool last = progress.Total > 0 && progress.Done >= progress.Total;
    const bool newStage = !shownAny_ || progress.CurrentStage != stage_;
    const auto now = clock_();
    if (!newStage && !last && now - lastShown_ < kInterval)
        return false;
    shownAny_ = true;
    stage_ = progress.CurrentStage;
    lastShown_ = now;
    return true;
}

} // namespace norrvik
