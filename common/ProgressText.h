// How the window and the command line word what a conversion is doing: the
// progress line, the message of a conversion stopped on request, and the
// one-line result of a finished conversion.
#pragma once

#include "common/Progress.h"

#include <string>

namespace norrvik {

// "Converting entry 12 of 380" or "Writing indexes: 200 of 380"; without a
// known total the " of N" part is left out.
std::string ProgressText(const TProgress& progress);

// A conversion may be stopped between source entries only: the index rebuild
// at the end always runs to completion, so the target stays consistent.
bool CanStopAt(const TProgress& progress);

// "Conversion cancelled after 12 of 380 entries".
std::string CancelledText(const TProgress& progress);

// "3 patterns added, 1 skipped as already present; the target database now
// holds 17 patterns".
std::string ConversionResultText(long added, long skipped, long targetPatternCount);

} // namespace norrvik
