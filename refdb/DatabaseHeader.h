// Record 0 of ReferenceDatabase.PDB: the version, the two pattern counts and
// the title, in a record of the size of a pattern record.
#pragma once

#include "refdb/PatternLayout.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace norrvik {

namespace header_layout {
inline constexpr std::size_t Version = 0;           // length-prefixed, capacity 5
inline constexpr std::size_t kVersionCapacity = 5;
inline constexpr std::size_t PatternCount = 6;      // int32
inline constexpr std::size_t UserPatternCount = 10; // int32
inline constexpr std::size_t Title = 14;            // length-prefixed, capacity 30
inline constexpr std::size_t kTitleCapacity = 30;
inline constexpr std::size_t Reserved = 45;         // zero up to the end of the record
} // namespace header_layout

// The version this program writes; files of a version below 2.0 have the
// older, 3307-byte pattern records.
inline constexpr std::string_view kCurrentDatabaseVersion = "2.0";

class DatabaseHeader {
public:
    using Bytes = std::array<std::uint8_t, kPatternRecordSize>;

    // All bytes zero.
    void Clear() { bytes_.fill(0); }
    // A new database's header: version 2.0, no patterns, the title's first 30 characters.
    static DatabaseHeader NewDatabase(std::string_view title);

    const Bytes& Record() const { return bytes_; }
    Bytes& Record() { return bytes_; }

    std::string Version() const;
    std::int32_t PatternCount() const;
    std::int32_t UserPatternCount() const;
    std::string Title() const;
    void SetCounts(std::int32_t patternCount, std::int32_t userPatternCount);

    // True when the version, read as a decimal number, is below 2.0. Raises
    // EConvertError naming `filePath` when it is not a number.
    bool IsOlderRecordFormat(const std::string& filePath) const;

private:
    Bytes bytes_{};
};

static_assert(header_layout::Reserved == header_layout::Title + header_layout::kTitleCapacity + 1);

} // namespace norrvik
