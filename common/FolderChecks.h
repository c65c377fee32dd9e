// The checks both front ends make on the folder texts a user gives before a
// conversion starts, with their messages: the old folder must exist, the
// target text must not be blank (a target folder that does not exist yet is
// fine: the conversion creates it).
#pragma once

#include <string>
#include <string_view>

namespace norrvik {

// True when `typed` is not blank and names an existing folder once a
// trailing path delimiter is added.
bool OldFolderExists(std::string_view typed);

// "Folder with the old reference database (<typed>) doesn't exist.", with
// the text exactly as typed; for a path longer than the system takes, the
// message that says so (PathTooLongMessage).
std::string OldFolderMissingMessage(std::string_view typed);

// True when the target folder text is blank.
bool TargetFolderBlank(std::string_view typed);

// True when `typed` names something that exists but is not a folder (a
// file given where a folder is expected); a trailing delimiter is ignored.
bool NamesAFile(std::string_view typed);

// "<what> (<typed>) is a file, not a folder. Choose the folder that holds it."
std::string NotAFolderMessage(std::string_view what, std::string_view typed);

inline constexpr std::string_view kOldFolderWhat = "Folder with the old reference database";
inline constexpr std::string_view kNewFolderWhat = "Folder with the Tessaly reference database";

inline constexpr std::string_view kEmptyTargetMessage =
    "Empty string for: Folder with the Tessaly reference database.";

} // namespace norrvik
