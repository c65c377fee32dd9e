// The database checker: reads a target database folder, changes nothing, and
// lists every way in which its files disagree with each other. The main data
// file is the reference: the header must count whole records, every counted
// record must load, the text ranges must lie inside Comment.PDB and
// Literature.PDB and belong to their record alone, and every index must hold
// exactly the entries its records give, the text indexes counted and sorted. A database that passes can be
// opened, searched and added to safely; one that fails in its indexes only is
// mended by rebuilding them.
#pragma once

#include "refdb/ReferencePattern.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace norrvik {

struct TDatabaseCheckOptions {
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
                                                const TDatabaseCheckOptions& options = {});

// What makes record n of the main data file no whole pattern, each as
// "holds the record number 0" or "counts 9 names, at most 5 fit"; empty
// for a whole one.
std::vector<std::string> RecordFieldProblems(const PatternRecord& record, std::int64_t n);

// "coded comments", "comments", "references" or "supplementary lines".
const char* TextListName(TextList list);

// One text list of one record: `count` lines from line `first` of its side file.
struct TTextRangeUse {
    std::int64_t Record = 0;
    TextList List = TextList::Comments;
    std::int64_t First = 0;
    std::int64_t Count = 0;
};

// For each use, in the order given: the record whose text lines it shares,
// or 0 when its lines are its own. Lines are appended in record order and a
// record's range starts at the end of its side file as it stood, so where
// two records' ranges overlap the lines are the later record's: it keeps
// them and the earlier record is the one that shares. The lists of one
// record may overlap each other.
std::vector<std::int64_t> SharedTextLineOwners(const std::vector<TTextRangeUse>& uses);

} // namespace norrvik
