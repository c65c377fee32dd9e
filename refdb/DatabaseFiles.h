// The files of a target database folder, in one table: each file's name, its
// role, whether Open requires it (and what Open then says is missing), and
// its record size where it has fixed-size records. Also the marker file that
// exists while a run of this program is writing the database, and the folder
// of the last run's undo point.
#pragma once

#include "refdb/PatternDatabaseLink.h"
#include "refdb/PatternLayout.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace norrvik {

inline constexpr std::string_view kMainDataFileName = "ReferenceDatabase.PDB";
inline constexpr std::string_view kCommentFileName = "Comment.PDB";
inline constexpr std::string_view kLiteratureFileName = "Literature.PDB";
inline constexpr std::string_view kSubfilesFileName = "Subfiles.PDB";
inline constexpr std::string_view kCodesFileName = "Codes.PDB";
inline constexpr std::string_view kReferenceCodeFileName = "ReferenceCode.PDB";
inline constexpr std::string_view kNameFileName = "Name.PDB";
inline constexpr std::string_view kMineralNameFileName = "MineralName.PDB";
inline constexpr std::string_view kFormulaFileName = "Formula.PDB";
inline constexpr std::string_view kColorFileName = "Color.PDB";
inline constexpr std::string_view kAuthorFileName = "Author.PDB";
inline constexpr std::string_view kJournalFileName = "Journal.PDB";
inline constexpr std::string_view kIndexFileName = "Index.PDB";
inline constexpr std::string_view kStrongestLinesFileName = "StrongestLines.PDB";
inline constexpr std::string_view kCrystalIndexFileName = "CrystalIndex.PDB";

// Exists exactly while a run of this program is changing the database: the
// next open for writing finds it after a run that stopped half-way and
// recovers the last committed state (see ReferenceDatabase.h).
inline constexpr std::string_view kRunMarkerFileName = "Norrvik.run";
// The folder holding what undoing the last run needs (see UndoPoint.h).
inline constexpr std::string_view kUndoFolderName = "Norrvik.undo";

// The record of every conversion run into the database, appended and never
// rewritten (convert/ImportLog.h). The search software reads only the
// fifteen files above; this one is ours.
inline constexpr std::string_view kImportLogFileName = "Norrvik.imports";

// The file holding the text lines of one side.
constexpr std::string_view TextLineFileName(TextSideFile side)
{
    return side == TextSideFile::Comment ? kCommentFileName : kLiteratureFileName;
}

// Bytes of one line record of Comment.PDB and Literature.PDB.
inline constexpr std::size_t kTextLineSize = 70;
// Bytes of the records of the three binary indexes.
inline constexpr std::size_t kIndexRecordSize = 31;
inline constexpr std::size_t kCrystalIndexRecordSize = 52;
inline constexpr std::size_t kStrongestLinesRecordSize = 40;

enum class DatabaseFileRole { MainData, TextLines, TextIndex, BinaryIndex, SubfileList, CodeList };

struct TDatabaseFileInfo {
    std::string_view Name;
    DatabaseFileRole Role;
    // What Open says the folder lacks ("Folder %s doesn't contain <this>.");
    // empty for a file Open does not require.
    std::string_view MissingText;
    // Bytes per record; 0 for a text file.
    std::size_t RecordSize;

    constexpr bool Required() const { return !MissingText.empty(); }
};

// Every file of a database, in the order they are deleted. The required
// files come in the order Open tests them.
inline constexpr std::array<TDatabaseFileInfo, 15> kDatabaseFiles = {{
    {kMainDataFileName, DatabaseFileRole::MainData, "a reference database", kPatternRecordSize},
    {kLiteratureFileName, DatabaseFileRole::TextLines, "", kTextLineSize},
    {kCommentFileName, DatabaseFileRole::TextLines, "", kTextLineSize},
    {kReferenceCodeFileName, DatabaseFileRole::TextIndex, "an index file for the reference codes", 0},
    {kNameFileName, DatabaseFileRole::TextIndex, "an index file for the names", 0},
    {kMineralNameFileName, DatabaseFileRole::TextIndex, "an index file for the mineral names", 0},
    {kFormulaFileName, DatabaseFileRole::TextIndex, "an index file for the formulas", 0},
    {kColorFileName, DatabaseFileRole::TextIndex, "an index file for the colors", 0},
    {kIndexFileName, DatabaseFileRole::BinaryIndex, "", kIndexRecordSize},
    {kSubfilesFileName, DatabaseFileRole::SubfileList, "", 0},
    {kCodesFileName, DatabaseFileRole::CodeList, "", 0},
    {kStrongestLinesFileName, DatabaseFileRole::BinaryIndex, "an index file for the strongest lines",
     kStrongestLinesRecordSize},
    {kAuthorFileName, DatabaseFileRole::TextIndex, "an index file for the authors", 0},
    {kJournalFileName, DatabaseFileRole::TextIndex, "an index file for the journals", 0},
    {kCrystalIndexFileName, DatabaseFileRole::BinaryIndex, "", kCrystalIndexRecordSize},
}};

inline constexpr std::size_t kRequiredDatabaseFileCount = [] {
    std::size_t count = 0;
    for (const TDatabaseFileInfo& file : kDatabaseFiles)
        count += file.Required() ? 1 : 0;
    return count;
}();

// The names of the required files, in the order Open tests them.
inline constexpr std::array<std::string_view, kRequiredDatabaseFileCount> RequiredDatabaseFileNames()
{
    std::array<std::string_view, kRequiredDatabaseFileCount> names{};
    std::size_t next = 0;
    for (const TDatabaseFileInfo& file : kDatabaseFiles)
        if (file.Required())
            names[next++] = file.Name;
    return names;
}

} // namespace norrvik
