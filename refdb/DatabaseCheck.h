// The database checker: reads a target database folder, changes nothing, and
// lists every way in which its files disagree with each other. The main data
// file is the reference: the header must count whole records, every counted
// record must load, the text ranges must lie inside Comment.PDB and
// Literature.PDB, and every index must hold exactly the entries its records
// give, the text indexes counted and sorted. A database that passes can be
// opened, searched and added to safely; one that fails in its indexes only is
// mended by rebuilding them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace norrvik {

struct DatabaseCheckOptions {
    // Beyond this many problems in one file, the rest are summed up in one
    // line ("... and 12 more problems in Name.PDB").
    std::size_t MaxProblemsPerFile = 20;
};

// The problems of the database in `folder`, one line each, in the order the
// files are checked: the required files, ReferenceDatabase.PDB (header and
// records), the text ranges, Subfiles.PDB, the seven text indexes, the three
// binary indexes. Empty when the database is sound. Never throws for damaged
// files: what cannot be read is itself a problem.
std::vector<std::string> CheckReferenceDatabase(const std::string& folder,
                                                const DatabaseCheckOptions& options = {});

} // namespace norrvik
