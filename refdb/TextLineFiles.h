// Comment.PDB and Literature.PDB, the two files of 70-byte text lines of a
// target database: the lines of each added pattern appended, lines read
// back by record, each file opened on first use (made when missing, unless
// the store is open for reading), and the cut a recovery makes.
#pragma once

#include "refdb/PatternDatabaseLink.h"
#include "refdb/RecordFile.h"
#include "refdb/ReferencePattern.h"

#include <array>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace norrvik {

class TDatabaseFolder;

class TTextLineFiles {
public:
    // The folder and the store's mode are the store's; a database open for
    // reading is never changed.
    TTextLineFiles(const TDatabaseFolder& folder, const bool& readOnly);

    // Appends the lines to the side file; the range they now fill.
    TextRange Write(TextSideFile side, const std::vector<std::string>& lines);
    // Appends to `lines` the lines first..first + count - 1 the file holds
    // (trailing blanks and control characters removed).
    void Read(TextSideFile side, std::int32_t first, std::int32_t count, std::vector<std::string>& lines);

    // Puts the open files on the disk; lets the system start writing them.
    void Sync();
    void StartWriteback();
    // Cuts each file to keep[side] line records where it holds more.
    void CutTo(const std::array<std::int64_t, 2>& keep);
    // Closes both, keeping the first failure.
    void Close(std::exception_ptr& failure);

    static std::size_t Slot(TextSideFile side) { return side == TextSideFile::Comment ? 0 : 1; }

private:
    TRecordFile& Opened(TextSideFile side);

    const TDatabaseFolder& folder_;
    const bool& readOnly_;
    std::array<TRecordFile, 2> files_; // by Slot
};

} // namespace norrvik
