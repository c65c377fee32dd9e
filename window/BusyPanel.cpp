// The state of the busy indicator.
#include "window/BusyPanel.h"

#include "window/WindowTexts.h"

#include <algorithm>
#include <climits>

namespace norrvik {

namespace {

// Progress bars count in int; a count beyond its range is shown clamped.
int BarValue(long value)
{
    return static_cast<int>(std::clamp(value, 0L, static_cast<long>(INT_MAX)));
}

} // namespace

void TBusyPanel::Start()
{
    state_ = {windowtext::kConverting, 0, 0, true};
}

void TBusyPanel::Cancel()
{
    state_.cancelEnabled = false;
    state_.line = windowtext::kCancelling;
}

void TBusyPanel::Show(const TProgressDisplay& display)
{
    state_.range = display.total > 0 ? BarValue(display.total) : 0;
    state_.position = display.total > 0 ? BarValue(std::min(display.done, display.total)) : 0;
    // After Cancel the line keeps saying "Cancelling..." until the run stops.
    if (state_.cancelEnabled || !display.canCancel)
        state_.line = display.text;
    if (!display.canCancel)
        state_.cancelEnabled = false;
}

} // namespace norrvik
