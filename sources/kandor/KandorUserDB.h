// A Kandor user database: the index file PDDATABS.DAT (entry names, formulas
// and pattern file base names) and one pattern file per entry (".di" or
// ".rp"). Each entry is delivered with up to 255 lines of d-spacing and
// intensity in percent of its strongest net intensity.
#pragma once

#include "common/SourceFolder.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace norrvik {

struct KandorLine {
    double D = 0.0;         // d-spacing, Angstrom
    double Intensity = 0.0; // percent of the entry's strongest net intensity, at least 1
};

// One entry as delivered to callers.
struct TKandorReferencePattern {
    static constexpr int kMaxLines = 255;

    std::string BaseName; // base name of the pattern file, at most 8 characters
    std::string Formula;  // at most 20 characters
    std::string Name;     // at most 20 characters
    int LineCount = 0;    // valid entries of Lines, 0 .. 255
    std::array<KandorLine, 256> Lines{}; // ascending 2-theta (descending d)
    bool Loaded = false;  // the lines have been determined
    // Loaded without lines because no pattern file could be read: none of
    // that name, something other than a file in its place, or a base name
    // that is not a file name (it holds a path delimiter).
    bool NoPatternFile = false;
};

// True when the entry was delivered without lines for want of a readable
// pattern file (a conversion counts these entries).
inline bool DeliveredWithoutPatternFile(const TKandorReferencePattern& entry)
{
    return entry.NoPatternFile;
}

// The entry's name in its database, as a conversion reports it: the base
// name of its pattern file.
inline const std::string& EntryName(const TKandorReferencePattern& entry)
{
    return entry.BaseName;
}

namespace kandor {

inline constexpr const char* kIndexFileName = "PDDATABS.DAT";
inline constexpr int kIndexHeaderSize = 4;
inline constexpr int kIndexEntryCountOffset = 2; // smallint
inline constexpr int kIndexEntrySize = 50;
inline constexpr int kEntryBaseNameOffset = 0;
inline constexpr int kEntryBaseNameSize = 8;
inline constexpr int kEntryNameOffset = 10;
inline constexpr int kEntryNameSize = 20;
inline constexpr int kEntryFormulaOffset = 30;
inline constexpr int kEntryFormulaSize = 20;

} // namespace kandor

class TKandorUserDB {
public:
    TKandorUserDB() = default;

    const std::string& DBName() const { return dbName_; }
    // Sets the database folder and opens its index file at once, reading
    // its entry count (no entry or pattern file is read then). Raises
    // EInOutError naming the index file when it is missing, unreadable, or
    // too short for the entries it announces.
    void SetDBName(const std::string& value);

    int EntryCount() const { return entryCount_; }

    // A copy of entry `index` (0-based) with its lines, read from the index
    // file and the entry's pattern file when it is asked for: only the last
    // entry delivered is held, so a repeated request for it reads nothing.
    // Raises norrvik::Exception "Index out of range" for a bad index. An
    // entry without a pattern file that can be read is delivered without
    // lines (NoPatternFile); a pattern file that is there but damaged
    // raises an error naming it.
    void GetEntry(int index, TKandorReferencePattern& entry);

private:
    void OpenIndexFile();
    // Reads `bytes.size()` bytes of the index file at `offset`, through the window.
    void ReadIndexBytes(std::uint64_t offset, std::vector<std::uint8_t>& bytes);
    void ReadEntry(int index, TKandorReferencePattern& entry);
    void LoadLines(TKandorReferencePattern& entry);
    std::optional<std::filesystem::path> FindPatternFile(const std::string& baseName);

    std::string dbName_;
    TSourceFolder folder_{std::filesystem::path()}; // the files of DBName
    std::string indexPath_;
    std::ifstream indexFile_;
    std::uintmax_t indexSize_ = 0;
    // A stretch of the index file read at once (entries are asked for in
    // order): at most kIndexWindow bytes from windowStart_.
    std::vector<std::uint8_t> window_;
    std::uint64_t windowStart_ = 0;
    int entryCount_ = 0;
    int heldIndex_ = -1; // the entry in held_, -1 for none
    TKandorReferencePattern held_;
};

} // namespace norrvik
