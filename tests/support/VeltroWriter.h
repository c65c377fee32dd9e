// Builds Veltro user databases from plain data, for tests, fuzz seeds and
// the bundled samples: the log uplog.pdf of 64-byte records and the pattern
// files of 512-byte blocks, with VAX F_floating wavelengths, formulas in the
// Veltro formula code, and the block terminators a copy to a PC may add.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norrvik::test {

// The 4 bytes of a VAX F_floating number: value = 0.1f x 2^(e - 128), stored
// as two little-endian words, the first holding sign, exponent and the high
// 7 fraction bits. `value` must be 0 or within the format's range.
std::array<std::uint8_t, 4> VaxFloatBytes(double value);
// The 4 bytes of the two words as they stand (for reserved or odd patterns).
std::array<std::uint8_t, 4> VaxWordBytes(std::uint16_t high, std::uint16_t low);

// Codes of the Veltro formula code: an element symbol ("Fe" -> 154) and a
// group ("SO4" -> 231).
std::uint8_t VeltroElementCode(std::string_view symbol);
std::uint8_t VeltroGroupCode(std::string_view group);

// Formula bytes from pieces: plain text is copied, Element/Group pieces give
// their code byte. Example: VeltroFormula({Element("Fe"), "2", Group("SO4"), "3"}).
struct VeltroPiece {
    VeltroPiece(std::string_view text) : bytes(text.begin(), text.end()) {}
    VeltroPiece(const char* text) : VeltroPiece(std::string_view(text)) {}
    explicit VeltroPiece(std::uint8_t code) : bytes{code} {}
    std::vector<std::uint8_t> bytes;
};
VeltroPiece Element(std::string_view symbol);
VeltroPiece Group(std::string_view group);
std::vector<std::uint8_t> VeltroFormula(std::initializer_list<VeltroPiece> pieces);

// One entry record of the log.
struct VeltroLogEntry {
    std::string PatternFile;               // the 24-byte name field, e.g. "[USER.DB]quartz"
    std::vector<std::uint8_t> Formula;     // formula code bytes, without the ending zero
    std::string Name;                      // written after the formula's zero byte
    std::int16_t Value1 = 0;
    std::int16_t Value2 = 0;
};

// The log: header (entry count at 6, the values of 8 and 10), one record per
// entry, zero records up to a whole number of 512-byte blocks.
// `declaredCount` replaces the header's count when given.
std::vector<std::uint8_t> VeltroLogBytes(const std::vector<VeltroLogEntry>& entries,
                                         std::optional<std::int16_t> declaredCount = std::nullopt,
                                         std::int16_t headerValue8 = 0, std::int16_t headerValue10 = 0);

// One line entry of a pattern file.
struct VeltroLineEntry {
    std::int16_t TwoThetaCode = 0;
    std::int16_t P = 0; // first intensity value
    std::int16_t B = 0; // second intensity value
};

// A pattern file: block 0 with the wavelength at offset 14, then blocks of 51
// lines, each starting with its line count.
std::vector<std::uint8_t> VeltroPatternBytes(std::array<std::uint8_t, 4> wavelength,
                                             const std::vector<VeltroLineEntry>& lines);
std::vector<std::uint8_t> VeltroPatternBytes(double wavelength, const std::vector<VeltroLineEntry>& lines);

// What a copy to a PC added after every 512-byte block.
enum class VeltroBlockEnds { None, LineFeed, CarriageReturnLineFeed };

// The content with the terminator after every block (a trailing piece shorter
// than a block gets none).
std::vector<std::uint8_t> WithBlockEnds(const std::vector<std::uint8_t>& blocks, VeltroBlockEnds ends);

// Writes `bytes` with the given block ends as `folder/name`.
void WriteVeltroFile(const std::filesystem::path& folder, const std::string& name,
                     const std::vector<std::uint8_t>& bytes, VeltroBlockEnds ends = VeltroBlockEnds::None);

} // namespace norrvik::test
