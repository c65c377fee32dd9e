// Putting files and folder entries on the disk (fsync), the system calls the
// store's commit points need.
#pragma once

#include <filesystem>

namespace norrvik {

// Puts the folder's entries (new names, renames, removals) on the disk.
void SyncFolder(const std::filesystem::path& folder);
// Puts the file's data on the disk.
void SyncFileData(const std::filesystem::path& path);

} // namespace norrvik
