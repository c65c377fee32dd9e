// Progress reports of long operations (a conversion, the index rebuild). The
// core has no user interface: the front ends pass a callback that shows the
// report and lets their event loop run.
#pragma once

#include <functional>

namespace norrvik {

struct TProgress {
    enum class Stage {
        Converting,     // entry `Done` of `Total` source entries
        WritingIndexes, // pattern `Done` of `Total` during the index rebuild
    };
    Stage CurrentStage = Stage::Converting;
    long Done = 0;
    long Total = 0;
};

// May throw to stop a conversion between entries (the drivers let it pass);
// it must not throw for Stage::WritingIndexes, which always runs to the end.
using ProgressCallback = std::function<void(const TProgress&)>;

} // namespace norrvik
