// The folder texts typed into a window, made into the folders a run uses: a
// leading "~" is the user's home folder, as a shell reads it, and the old
// folder is made absolute once, so that the comment line of every converted
// pattern names a folder a lab can find again.
#pragma once

#include <string>

namespace norrvik {

// "~" and "~/rest" with the home folder ($HOME) in place of "~"; any other
// text (also "~name", and any text while no home folder is known) as typed.
std::string ExpandHomeFolder(const std::string& typed);

// The text expanded, then made absolute against the working folder; an
// absolute text stays exactly as typed.
std::string AbsoluteFolderText(const std::string& typed);

// Where a folder picker opens for a typed folder text: the folder itself, or
// its nearest existing parent; empty when nothing of it exists.
std::string PickerStartFolder(const std::string& typed);

} // namespace norrvik
