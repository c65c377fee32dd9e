// Veltro user databases for the tests, built from the file layouts.
#include "support/VeltroWriter.h"

#include "common/ByteOrder.h"
#include "common/Elements.h"
#include "support/TempFolder.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace norrvik::test {

namespace {

constexpr std::size_t kBlock = 512;
constexpr std::size_t kRecord = 64;
constexpr std::size_t kLinesPerBlock = 51;

// The group codes 229..255 in code order.
constexpr std::array<std::string_view, 27> kGroups = {
    "H2O", "OH", "SO4", "IO3", "PO3", "NH4", "PO4", "NO3", "NO2", "CO3", "CN", "AsO4", "P2O7", "NH3",
    "VO4", "BO3", "NH2", "CrO4", "MoO4", "UO2", "SeO4", "ClO4", "WO4", "BeF4", "SeO3", "SiO4", "ReO4",
};

void Require(bool condition, const std::string& what)
{
    if (!condition)
        throw std::invalid_argument("VeltroWriter: " + what);
}

std::size_t RoundUpToBlocks(std::size_t size)
{
    return (size + kBlock - 1) / kBlock * kBlock;
}

} // namespace

std::array<std::uint8_t, 4> VaxWordBytes(std::uint16_t high, std::uint16_t low)
{
    std::array<std::uint8_t, 4> bytes{};
    WriteU16LE(bytes, 0, high);
    WriteU16LE(bytes, 2, low);
    return bytes;
}

std::array<std::uint8_t, 4> VaxFloatBytes(double value)
{
    if (value == 0.0)
        return {};
    int exponent = 0;
    const double significand = std::frexp(std::fabs(value), &exponent); // in [0.5, 1)
    auto fraction = static_cast<std::uint32_t>(std::nearbyint((significand - 0.5) * 16777216.0));
    if (fraction == (1u << 23)) { // rounded up to 1.0
        fraction = 0;
        ++exponent;
    }
    const int biased = exponent + 128;
    Require(biased >= 1 && biased <= 255, "value outside the VAX F_floating range");
    const auto high = static_cast<std::uint16_t>((value < 0 ? 0x8000u : 0u) | (static_cast<unsigned>(biased) << 7) |
                                                 (fraction >> 16));
    return VaxWordBytes(high, static_cast<std::uint16_t>(fraction & 0xFFFFu));
}

std::uint8_t VeltroElementCode(std::string_view symbol)
{
    const int number = ElementNumber(symbol);
    Require(number >= 1 && number <= 100, "no formula code for element " + std::string(symbol));
    return static_cast<std::uint8_t>(128 + number);
}

std::uint8_t VeltroGroupCode(std::string_view group)
{
    const auto it = std::find(kGroups.begin(), kGroups.end(), group);
    Require(it != kGroups.end(), "no formula code for group " + std::string(group));
    return static_cast<std::uint8_t>(229 + (it - kGroups.begin()));
}

VeltroPiece Element(std::string_view symbol)
{
    return VeltroPiece(VeltroElementCode(symbol));
}

VeltroPiece Group(std::string_view group)
{
    return VeltroPiece(VeltroGroupCode(group));
}

std::vector<std::uint8_t> VeltroFormula(std::initializer_list<VeltroPiece> pieces)
{
    std::vector<std::uint8_t> bytes;
    for (const VeltroPiece& piece : pieces)
        bytes.insert(bytes.end(), piece.bytes.begin(), piece.bytes.end());
    return bytes;
}

std::vector<std::uint8_t> VeltroLogBytes(const std::vector<VeltroLogEntry>& entries,
                                         std::optional<std::int16_t> declaredCount, std::int16_t headerValue8,
                                         std::int16_t headerValue10)
{
    std::vector<std::uint8_t> log(RoundUpToBlocks((entries.size() + 1) * kRecord));
    const MutableBytes bytes(log);
    WriteI16LE(bytes, 6, declaredCount.value_or(static_cast<std::int16_t>(entries.size())));
    WriteI16LE(bytes, 8, headerValue8);
    WriteI16LE(bytes, 10, headerValue10);
    for (std::size_t e = 0; e < entries.size(); ++e) {
        const VeltroLogEntry& entry = entries[e];
        const MutableBytes record = bytes.subspan((e + 1) * kRecord, kRecord);
        WriteI16LE(record, 0, entry.Value1);
        WriteI16LE(record, 2, entry.Value2);
        Require(entry.PatternFile.size() <= 24, "pattern file field longer than 24 bytes");
        WriteStringBytes(record, 4, entry.PatternFile);
        // Formula at 28 (it may fill the record), its zero byte, then the
        // name, zero-ended when room is left.
        const std::size_t nameOffset = 28 + entry.Formula.size() + 1;
        Require(28 + entry.Formula.size() <= kRecord, "formula longer than 36 bytes");
        Require(entry.Name.empty() || nameOffset + entry.Name.size() <= kRecord, "name does not fit the record");
        std::copy(entry.Formula.begin(), entry.Formula.end(), record.begin() + 28);
        if (!entry.Name.empty())
            WriteStringBytes(record, nameOffset, entry.Name);
    }
    return log;
}

std::vector<std::uint8_t> VeltroPatternBytes(std::array<std::uint8_t, 4> wavelength,
                                             const std::vector<VeltroLineEntry>& lines)
{
    const std::size_t lineBlocks = (lines.size() + kLinesPerBlock - 1) / kLinesPerBlock;
    std::vector<std::uint8_t> file((1 + lineBlocks) * kBlock);
    const MutableBytes bytes(file);
    std::copy(wavelength.begin(), wavelength.end(), file.begin() + 14);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::size_t block = kBlock * (1 + i / kLinesPerBlock);
        const std::size_t entry = block + 2 + 10 * (i % kLinesPerBlock);
        WriteI16LE(bytes, block, static_cast<std::int16_t>(ReadI16LE(bytes, block) + 1));
        WriteI16LE(bytes, entry, lines[i].TwoThetaCode);
        WriteI16LE(bytes, entry + 4, lines[i].P);
        WriteI16LE(bytes, entry + 6, lines[i].B);
    }
    return file;
}

std::vector<std::uint8_t> VeltroPatternBytes(double wavelength, const std::vector<VeltroLineEntry>& lines)
{
    return VeltroPatternBytes(VaxFloatBytes(wavelength), lines);
}

std::vector<std::uint8_t> WithBlockEnds(const std::vector<std::uint8_t>& blocks, VeltroBlockEnds ends)
{
    if (ends == VeltroBlockEnds::None)
        return blocks;
    std::vector<std::uint8_t> result;
    for (std::size_t start = 0; start < blocks.size(); start += kBlock) {
        const std::size_t end = std::min(start + kBlock, blocks.size());
        result.insert(result.end(), blocks.begin() + static_cast<std::ptrdiff_t>(start),
                      blocks.begin() + static_cast<std::ptrdiff_t>(end));
        if (end - start < kBlock)
            break;
        if (ends == VeltroBlockEnds::CarriageReturnLineFeed)
            result.push_back(13);
        result.push_back(10);
    }
    return result;
}

void WriteVeltroFile(const std::filesystem::path& folder, const std::string& name,
                     const std::vector<std::uint8_t>& bytes, VeltroBlockEnds ends)
{
    WriteFile(folder / name, WithBlockEnds(bytes, ends));
}

} // namespace norrvik::test
