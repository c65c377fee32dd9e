// Which of the three formats an old database folder holds, told by the files
// present (names compared without regard to letter case, as databases copied
// from Windows come in any case), and the messages about it that both front
// ends show.
#pragma once

#include "convert/Formats.h"

#include <string>
#include <vector>

namespace norrvik {

// The formats whose marker file the folder holds, in table order; empty for
// a folder that holds none (or cannot be listed).
std::vector<const TFormatInfo*> DetectFormats(const std::string& oldFolder);

// "Kandor (PDDATABS.DAT)", "Quorvane (QUORVANE.IND) and Veltro (uplog.pdf)".
std::string FormatsText(const std::vector<const TFormatInfo*>& formats);

// The format chosen is not among those found.
std::string FormatMismatchText(const std::string& oldFolder, const TFormatInfo& chosen,
                               const std::vector<const TFormatInfo*>& found);

} // namespace norrvik
