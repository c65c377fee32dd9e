// The layout of one record of ReferenceDatabase.PDB: its size (and that of
// the older 3307-byte variant), the record types, and the byte offsets of
// the pattern record's fields. The header record has the same size.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace norrvik {

inline constexpr std::size_t kPatternRecordSize = 3310;
inline constexpr std::size_t kOldPatternRecordSize = 3307;

// The record bytes exactly as stored in ReferenceDatabase.PDB.
using PatternRecord = std::array<std::uint8_t, kPatternRecordSize>;
// The record of a main data file of a version below 2.0: a six-character old
// code at 0..5, then every field of PatternRecord three bytes earlier.
using OldPatternRecord = std::array<std::uint8_t, kOldPatternRecordSize>;

// Set of element numbers 0..111: bit n of byte n / 8, least significant first.
using ElementSet = std::array<std::uint8_t, 14>;

// Byte offsets and sizes of the fields of PatternRecord (little-endian).
namespace pattern_layout {
inline constexpr std::size_t ReferenceCode = 0;          // char[9]
inline constexpr std::size_t kReferenceCodeSize = 9;
inline constexpr std::size_t RecordNumber = 9;           // int32
inline constexpr std::size_t Unused = 13;                // 4 bytes carried as they are
inline constexpr std::size_t Status = 17;                // int16
inline constexpr std::size_t StatusByte = 19;            // uint8
inline constexpr std::size_t ReferencesStart = 20;       // int32
inline constexpr std::size_t CodedCommentsStart = 24;    // int32
inline constexpr std::size_t SupplementLinesStart = 28;  // int32
inline constexpr std::size_t CommentsStart = 32;         // int32
inline constexpr std::size_t ReferencesCount = 36;       // int16
inline constexpr std::size_t CodedCommentsCount = 38;    // int16
inline constexpr std::size_t SupplementLinesCount = 40;  // int16
inline constexpr std::size_t CommentsCount = 42;         // int16
inline constexpr std::size_t CrystalValue1 = 44;         // float
inline constexpr std::size_t CrystalValue2 = 48;         // float[6]: values 2..7
inline constexpr std::size_t CrystalClassByte = 72;      // uint8
inline constexpr std::size_t CrystalText = 73;           // char[10]
inline constexpr std::size_t kCrystalTextSize = 10;
inline constexpr std::size_t CrystalNumber = 83;         // int32
inline constexpr std::size_t CrystalValue8 = 87;         // float
inline constexpr std::size_t CrystalValue9 = 91;         // float
inline constexpr std::size_t CrystalValue10 = 95;        // float
inline constexpr std::size_t CrystalValue11 = 99;        // float
inline constexpr std::size_t Elements = 103;             // ElementSet
inline constexpr std::size_t Subfiles = 117;             // uint32
inline constexpr std::size_t NameCount = 121;            // uint8
inline constexpr std::size_t NameTypes = 122;            // char[5]
inline constexpr std::size_t NameOffsets = 127;          // int16[5]
inline constexpr std::size_t NameText = 137;             // char[400]
inline constexpr std::size_t kNameTextSize = 400;
inline constexpr std::size_t FormulaCount = 537;         // uint8
inline constexpr std::size_t FormulaOffsets = 538;       // int16[2]
inline constexpr std::size_t FormulaText = 542;          // char[250]
inline constexpr std::size_t kFormulaTextSize = 250;
inline constexpr std::size_t FormulaLine = 792;          // char[67]
inline constexpr std::size_t kFormulaLineSize = 67;
inline constexpr std::size_t LineCount = 859;            // uint8
inline constexpr std::size_t D = 860;                    // float[204]
inline constexpr std::size_t Intensity = 1676;           // int16[204]
inline constexpr std::size_t H = 2084;                   // int16[204]
inline constexpr std::size_t K = 2492;                   // int16[204]
inline constexpr std::size_t L = 2900;                   // int16[204]
inline constexpr std::size_t MaxIntensity = 3308;        // int16
inline constexpr std::size_t End = 3310;

inline constexpr std::size_t kMaxNames = 5;
inline constexpr std::size_t kMaxFormulas = 2;
inline constexpr std::size_t kMaxLines = 204;

// The offsets of the fields of line i (0-based).
constexpr std::size_t DOffset(std::size_t i) { return D + 4 * i; }
constexpr std::size_t IntensityOffset(std::size_t i) { return Intensity + 2 * i; }
constexpr std::size_t HOffset(std::size_t i) { return H + 2 * i; }
constexpr std::size_t KOffset(std::size_t i) { return K + 2 * i; }
constexpr std::size_t LOffset(std::size_t i) { return L + 2 * i; }
} // namespace pattern_layout

} // namespace norrvik
