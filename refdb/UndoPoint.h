// The undo point of the last run: what a run keeps, in the folder
// kUndoFolderName inside the database folder, so that `undo` can put the
// fifteen database files back byte for byte as they were before it, and the
// undo itself.
//
// What is kept, per file (the manifest names each one's way back):
// - cut: ReferenceDatabase.PDB, Comment.PDB and Literature.PDB, to which a run
//   only appends (the main file's header aside): their lengths, the main
//   file's header record, and the bytes past the last whole record a run may
//   write over (a torn tail, records past the header's count);
// - copy: every other file that exists (the index files, replaced whole or
//   appended to; Subfiles.PDB and Codes.PDB), copied whole; for a run that
//   creates the database, every file that exists;
// - absent: a file that does not exist (undo deletes what the run made).
//
// Crash rules: a run writes its marker first, then its undo point, then its
// changes; the manifest is written last, so a half-made point has none and is
// never used. Any later run of ours that changes the database (a conversion
// that keeps none, a rebuild, a recovery) drops the point before its first
// change, its manifest first. The run's final commit seals the point: a
// record of the state the run left (each file's size and modification time,
// and a hash of the main file's header and of the small files), so that undo
// refuses when another program changed the database since.
//
// Undo marks its changes as a run does (the marker with the counts before
// the run), writes the old header (its commit point), cuts the appended
// files, puts the copies back (each replaced whole), and removes the marker;
// a stop half-way leaves a database the next open recovers, to the patterns
// before the run once the old header is on the disk.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace norrvik {

class TDatabaseFolder;
struct TRunStart;

// Makes the undo point of the run that begins with `start` under the number
// `runNumber` (the import log's), dropping any earlier one first; raises
// EInOutError naming the file that could not be kept.
void MakeUndoPoint(const TDatabaseFolder& folder, int runNumber, const TRunStart& start);
// Drops the undo point, if any; raises EInOutError when its manifest stays.
void DropUndoPoint(const TDatabaseFolder& folder);
// Records the state the run leaves (see above).
void SealUndoPoint(const TDatabaseFolder& folder);

// What an undo did.
struct TUndoResult {
    int RunNumber = 0;
    std::int32_t PatternsRemoved = 0;
    // The run had created the database: its files were deleted, the folder
    // left.
    bool DatabaseRemoved = false;
};

// Undoes the last run into the database in `folder` under the folder's
// exclusive lock, and calls `undone` (when given) before the lock goes.
// Refuses (Exception, nothing changed) with a message naming why: nothing to
// undo, a run that never finished, or a file another program changed since.
TUndoResult UndoLastRun(const std::string& folder, const std::function<void(const TUndoResult&)>& undone = {});

} // namespace norrvik
