// The table of conversion drivers the two front ends call, one per format
// in the order of the window's format list. The programs use the real
// drivers; tests put their own in.
#pragma once

#include "common/Progress.h"
#include "convert/Conversion.h"

#include <functional>
#include <string>

namespace norrvik {

// One conversion driver: (old folder, new folder, out success, progress
// callback, summary).
using ConversionDriver = std::function<void(const std::string&, const std::string&, bool&,
                                            const ProgressCallback&, ConversionSummary*)>;

struct TConversionDrivers {
    ConversionDriver quorvane; // format list index 0
    ConversionDriver kandor;   // index 1
    ConversionDriver veltro;   // index 2
};

// The drivers of the conversion library (only programs that link it call this).
inline TConversionDrivers RealConversionDrivers()
{
    return {ConvertQuorvaneDatabase, ConvertKandorDatabase, ConvertVeltroDatabase};
}

} // namespace norrvik
