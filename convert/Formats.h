// The formats of old databases, in the order of the window's format
// list: the name the command line takes, the window's item, the name used in
// messages, the file whose presence marks a folder as holding such a
// database. The window and the command line both take their formats from
// this one table; the drivers sit at the same positions
// (convert/ConversionDrivers.h).
#pragma once

#include "refdb/DatabaseFiles.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace norrvik {

enum class SourceFormat { Quorvane, Kandor, Veltro, Tessaly };

struct TFormatInfo {
    SourceFormat Format;
    std::string_view CliName;     // "kandor"
    std::string_view WindowLabel; // "Kandor format"
    std::string_view DisplayName; // "Kandor"
    std::string_view MarkerFile;  // looked up without regard to letter case
    // Every entry becomes a new user pattern (no duplicate test); a Quorvane
    // database is one when its index header says so.
    bool AlwaysUserDatabase;
};

inline constexpr std::array<TFormatInfo, 4> kFormats{{
    {SourceFormat::Quorvane, "quorvane", "Quorvane (Orvel Selvane) format", "Quorvane", "QUORVANE.IND", false},
    {SourceFormat::Kandor, "kandor", "Kandor format", "Kandor", "PDDATABS.DAT", true},
    {SourceFormat::Veltro, "veltro", "Veltro (VAX VMS) format", "Veltro", "uplog.pdf", true},
    // An older release of a Tessaly database: its user patterns are carried over.
    {SourceFormat::Tessaly, "tessaly", "Tessaly database (carry over user patterns)", "Tessaly",
     kMainDataFileName, false},
}};

// The position of the format in the table.
constexpr std::size_t FormatPosition(SourceFormat format)
{
    std::size_t position = 0;
    while (position < kFormats.size() && kFormats[position].Format != format)
        ++position;
    return position;
}

// The format with this command-line name (any letter case), or nullptr.
const TFormatInfo* FormatByCliName(std::string_view name);

// The format at this position of the table (the window's list index), or
// nullptr for a position outside it.
const TFormatInfo* FormatAt(int index);

// The position of the format in the table.
int FormatIndex(const TFormatInfo& format);

} // namespace norrvik
