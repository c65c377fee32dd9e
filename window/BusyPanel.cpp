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
    state_.CancelEnabled = false;
    state_.Line = windowtext::kCancelling;
}

void TBusyPanel::Show(const TProgressDisplay& display)
{
    state_.Range = display.Total > 0 ? BarValue(display.Total) : 0;
    state_.Position = display.Total > 0 ? BarValue(std::min(display.Done, display.Total)) : 0;
    // After Cancel the line keeps saying "Cancelling..." until the run stops.
    if (state_.CancelEnabled || !display.CanCancel)
        state_.Line = display.Text;
    if (!display.CanCancel)
        state_.CancelEnabled = false;
}

} // namespace norrvik
