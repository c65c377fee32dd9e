// A folder as a command or a window is given it: the text exactly as typed,
// kept for what shows or records it (messages, the store's name, the
// refusals), and the path made from that text once, where the request is
// taken, for everything done in the folder.
#pragma once

#include "common/Platform.h"

#include <filesystem>
#include <string>

namespace norrvik {

struct TTypedFolder {
    explicit TTypedFolder(const std::string& typed) : Text(typed), Path(PathFromText(typed)) {}

    std::string Text;
    std::filesystem::path Path;
};

} // namespace norrvik
