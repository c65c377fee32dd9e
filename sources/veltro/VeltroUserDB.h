// The reader of a Veltro user database: the log uplog.pdf, whose 64-byte
// records list the user's reference patterns, and one pattern file per entry
// (the entry's name with the extension ".di") in the same folder. Both were
// written on VAX/VMS in 512-byte blocks and are block-repaired before use.
#pragma once

#include "common/SourceFolder.h"

#include <cstdint>
#include <string>
#include <vector>

namespace norrvik {

// One diffraction line of an entry: the d-spacing in the unit of the
// wavelength, and the intensity in percent of the strongest line.
struct TVeltroLine {
    double D = 0.0;
    double Intensity = 0.0;
};

// What an entry's lines are: not read yet, read, or without a pattern file.
enum : std::uint8_t {
    kVeltroLinesNotLoaded = 0,
    kVeltroLinesLoaded = 1,
    kVeltroNoPatternFile = 2,
};

// One entry of the log, handed out by value.
struct TVeltroReferencePattern {
    std::int16_t Value1 = 0; // entry offset 0, kept as read
    std::int16_t Value2 = 0; // entry offset 2, kept as read
    std::string PatternFile; // the pattern file's base name (upper case)
    std::string Formula;
    std::string Name;
    std::int32_t LineCount = 0;
    std::vector<TVeltroLine> Lines;
    std::uint8_t LoadState = kVeltroLinesNotLoaded;
};

// True when the entry was delivered without lines for want of a pattern
// file: it names none, none of that name is there, or something other than
// a file stands in its place (a conversion counts these entries).
inline bool DeliveredWithoutPatternFile(const TVeltroReferencePattern& entry)
{
    return entry.LoadState == kVeltroNoPatternFile;
}

// The entry's name in its database, as a conversion reports it: the base
// name of its pattern file.
inline const std::string& EntryName(const TVeltroReferencePattern& entry)
{
    return entry.PatternFile;
}

class TVeltroUserDB {
public:
    TVeltroUserDB() = default;

    const std::string& DBName() const { return dbName_; }
    // Setting a different folder reads its log (no log: no entries). Raises
    // "Incorrect length of file UPLOG.PDF." for a log that is not a whole
    // number of records, and EInOutError naming the log when its header
    // counts more entries than it holds or something other than a file has
    // its name. After an error the reader has no entries.
    void SetDBName(const std::string& folder);

    // Stored only; pattern files are always looked for in DBName.
    const std::string& FolderWithPatterns() const { return folderWithPatterns_; }
    void SetFolderWithPatterns(const std::string& folder) { folderWithPatterns_ = folder; }

    std::int32_t EntryCount() const { return entryCount_; }

    // Copies entry `index` (0-based) into `entry`, reading its pattern file
    // when its lines are not held: only the lines of the last entry read
    // are held, so a repeated request for it reads nothing. Raises "Index out of range" for an index outside the
    // entries, and an error naming the pattern file when it is damaged.
    void GetEntry(std::int32_t index, TVeltroReferencePattern& entry);

    // The header values of offsets 8 and 10, kept as read (-1 before a log is read).
    std::int32_t HeaderValue8() const { return headerValue8_; }
    std::int32_t HeaderValue10() const { return headerValue10_; }

private:
    void ReadLog();
    void LoadLines(TVeltroReferencePattern& entry);
    // Forgets the lines of the entry that holds them (read again on request).
    void ReleaseHeldLines();

    std::int32_t headerValue8_ = -1;
    std::string dbName_ = "<Unknown>";
    bool dbNameSet_ = false;
    TSourceFolder sourceFolder_{std::filesystem::path()}; // the files of DBName
    std::string folderWithPatterns_ = "<Unknown>";
    std::int32_t entryCount_ = 0;
    std::vector<TVeltroReferencePattern> entries_;
    std::int32_t linesHeldBy_ = -1; // the entry whose lines are held, -1 for none
    std::int32_t headerValue10_ = -1;
};

} // namespace norrvik
