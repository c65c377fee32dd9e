// Names of the files of a target database folder that the store itself
// handles (the index files are named in Indexes.h).
#pragma once

#include <cstddef>
#include <string_view>

namespace norrvik {

inline constexpr std::string_view kMainDataFileName = "ReferenceDatabase.PDB";
inline constexpr std::string_view kCommentFileName = "Comment.PDB";
inline constexpr std::string_view kLiteratureFileName = "Literature.PDB";
inline constexpr std::string_view kSubfilesFileName = "Subfiles.PDB";
inline constexpr std::string_view kCodesFileName = "Codes.PDB";

// Bytes of one line record of Comment.PDB and Literature.PDB.
inline constexpr std::size_t kTextLineSize = 70;

} // namespace norrvik
