// `convert` and `detect` share how they speak of what an old folder holds:
// no old database, more than one, or a Tessaly database given as the source.
#pragma once

#include "convert/Formats.h"

#include <string>
#include <vector>

namespace norrvik {

// The folder holds none of the three formats. `nameFormat` adds the advice
// to name one with --format (for convert, where that is a way out).
std::string NoFormatFoundMessage(const std::string& oldFolder, bool nameFormat);
std::string SeveralFormatsMessage(const std::string& oldFolder, const std::vector<const TFormatInfo*>& found,
                                  bool nameFormat);

} // namespace norrvik
