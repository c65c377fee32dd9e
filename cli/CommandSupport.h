// What several commands of norrvik-cli share: an exception's message as the
// user sees it, and the checks on the database folder a command is given.
#pragma once

#include <exception>
#include <iosfwd>
#include <string>

namespace norrvik {

// The message of an exception; never empty.
std::string MessageOf(const std::exception& error);

// Raises the "is a file, not a folder" message for a database folder given
// as a file.
void RefuseFileAsDatabaseFolder(const std::string& folder);

// True, after printing "Folder <folder>/ doesn't exist." (or that its path
// is too long) on `err`, when the folder is not there (the commands then end with kExitFolderMissing).
bool ReportFolderMissing(const std::string& folder, std::ostream& err);

} // namespace norrvik
