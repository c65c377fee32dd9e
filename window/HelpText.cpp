// The help dialog's text: what the utility does, what the target folder may
// be, the formats and the files read of each, and a warning.
#include "window/WindowTexts.h"

namespace norrvik::windowtext {

namespace {

constexpr const char* kRule = "-----------------------------------";

// What the utility does and what the target folder may be.
std::vector<std::string> IntroductionLines()
{
    return {
        "=========================",
        "   Norrvik.EXE  ",
        "=========================",
        "",
        "This is a tool to convert existing (Kandor, Veltro, Quorvane) user reference patterns databases into "
        "reference databases in ",
        "the Orvel Tessaly format.",
        "",
        "You first need to select the format and the folder of one old user reference patterns database. Then you "
        "select a target folder for ",
        "the new database in Orvel Tessaly format.",
        "",
        "The target folder is either:",
        "- a new folder name;",
        "  (in this case a new user reference patterns database is generated);",
        "- an existing folder with an Orvel Tessaly reference database in it",
        "  (in this case the user reference patterns are added to the existing database, make sure you are allowed "
        "to write to this drive.)",
        "",
        "NOTES:",
        "- The old folder must exist; a target folder that does not exist yet is created by this utility.",
        "- Make sure there is enough space available on the target disk. Disk space is not checked by this utility.",
        kRule,
        "",
    };
}

// The formats and the files the conversion reads of each.
std::vector<std::string> FormatLines()
{
    return {
        "The following formats can be converted:",
        "- Veltro (VAX-VMS) format:",
        "  (Uplog.PDF file plus a series of *.DI files)",
        "- Kandor format:",
        "  (Pddatabs.DAT file plus a series of *.RP or *.DI files)",
        "- Quorvane / Orvel Selvane format:",
        "  (eight files per database, of which QUORVANE.DIS, QUORVANE.FRM, QUORVANE.IND and QUORVANE.NAM are read;",
        "  QUORVANE.IA0, QUORVANE.IA5, QUORVANE.IB0 and QUORVANE.IB5 are not needed)",
        "- PDF1 reference database in Vantrel (!) format (NOT the original ICDD-PDF1 database):",
        "  (ten files per database, of which QUORVANE.DIS, QUORVANE.FRM, QUORVANE.IND, QUORVANE.NAM and QUORVANE.ILS",
        "  are read; QUORVANE.IA0, QUORVANE.IA5, QUORVANE.IB0, QUORVANE.IB5 and QUORVANE.SBF are not needed)",
        // The carry-over of a lab's own patterns from an older Tessaly release.
        "- Tessaly reference database (for example the previous release of a licensed database):",
        "  (ReferenceDatabase.PDB and the other .PDB files; every user pattern is added under the next free user code "
        "of the target,",
        "  with all of its lines and texts as they are; a reference pattern is added only when the target lacks its "
        "code)",
    };
}

} // namespace

std::vector<std::string> HelpLines()
{
    std::vector<std::string> lines = IntroductionLines();
    for (std::string& line : FormatLines())
        lines.push_back(std::move(line));
    for (const char* line :
         {kRule, "", "ATTENTION:", "",
          "Do not convert \"Tarnwell\", the example reference database delivered with the Orvel Selvane software.",
          "",
          "(This database consists of a few patterns, but is \"completed\" with empty patterns up to a total of 9999 "
          "entries.)",
          "", kRule})
        lines.emplace_back(line);
    return lines;
}

} // namespace norrvik::windowtext
