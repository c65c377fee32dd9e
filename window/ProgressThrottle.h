// How often a window shows a run's progress: by time, not by count, so that
// drawing costs the same whether a source has ten entries or a million.
#pragma once

#include "common/Progress.h"

#include <chrono>
#include <functional>

namespace norrvik {

class TProgressThrottle {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    // 25 updates a second: the bar moves smoothly, the run hardly notices.
    static constexpr std::chrono::milliseconds kInterval{40};

    // Without a clock the steady clock is used.
    explicit TProgressThrottle(Clock clock = {});

    // True when this report is to be shown: the first one, the first of a
    // new stage, the last of a stage, and otherwise once kInterval has passed
    // since the last one shown.
    bool Due(const TProgress& progress);

private:
    Clock clock_;
    bool shownAny_ = false;
    TProgress::Stage stage_ = TProgress::Stage::Converting;
    std::chrono::steady_clock::time_point lastShown_{};
};

} // namespace norrvik
