// The names of the temporary files this program makes beside the files it
// writes: "<file>.<random>.new" while a file is replaced whole, and the
// folder probe's "<probe>.<random>.new". A run that is stopped leaves them;
// the next run that writes the folder recognises and removes them.
#pragma once

#include "common/Text.h"

#include <string_view>

namespace norrvik {

// How every temporary name ends.
inline constexpr std::string_view kTemporaryNameEnd = ".new";

// The name the writability probe of a folder is made beside.
inline constexpr std::string_view kFolderProbeName = ".norrvik-probe";

// True when `name` is "<file>.new" or "<file>.<anything>.new", the file's
// name compared without regard to ASCII letter case (the file may stand
// under another case, see TSourceFolder).
inline bool IsTemporaryNameOf(std::string_view name, std::string_view file)
{
    if (name.size() < file.size() + kTemporaryNameEnd.size() || !name.ends_with(kTemporaryNameEnd) ||
        name[file.size()] != '.')
        return false;
    return UpperCaseAscii(name.substr(0, file.size())) == UpperCaseAscii(file);
}

} // namespace norrvik
