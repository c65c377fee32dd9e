// What a window's busy indicator shows while a run goes on: its line, its
// bar (without a known end until a report gives one) and whether its Cancel
// button may be pressed. Every view draws this state as it stands.
#pragma once

#include "window/WindowView.h"

#include <string>

namespace norrvik {

struct TBusyPanelState {
    std::string Line;
    int Range = 0; // the bar's end; 0: no known end, the bar just moves
    int Position = 0;
    bool CancelEnabled = true;
};

class TBusyPanel {
public:
    // A run begins: "Converting...", no known end, Cancel enabled.
    void Start();
    // Cancel was pressed: it is asked once, and the line says "Cancelling..."
    // until the run stops.
    void Cancel();
    void Show(const TProgressDisplay& display);
    const TBusyPanelState& State() const { return state_; }

private:
    TBusyPanelState state_;
};

} // namespace norrvik
