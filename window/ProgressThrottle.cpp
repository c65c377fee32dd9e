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
    const bool last = progress.total > 0 && progress.done >= progress.total;
    const bool newStage = !shownAny_ || progress.stage != stage_;
    const auto now = clock_();
    if (!newStage && !last && now - lastShown_ < kInterval)
        return false;
    shownAny_ = true;
    stage_ = progress.stage;
    lastShown_ = now;
    return true;
}

} // namespace norrvik
