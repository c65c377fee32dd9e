// Decoding of the Veltro formula code.
#include "sources/veltro/VeltroFormula.h"

#include "common/Elements.h"
#include "common/Text.h"

namespace norrvik {

const std::array<std::string_view, kVeltroGroupCount> kVeltroGroups = {
    "H2O", "OH",   "SO4",  "IO3",  "PO3",  "NH4",  "PO4", "NO3",  "NO2",
    "CO3", "CN",   "AsO4", "P2O7", "NH3",  "VO4",  "BO3", "NH2",  "CrO4",
    "MoO4", "UO2", "SeO4", "ClO4", "WO4",  "BeF4", "SeO3", "SiO4", "ReO4",
};

namespace {

constexpr std::uint8_t kBlank = 32;

bool IsDigit(std::uint8_t byte)
{
    return byte >= '0' && byte <= '9';
}

// A blank before a decimal fraction (" .5") is dropped so that the fraction
// follows the preceding text directly.
bool BlankBeforeFraction(ConstBytes bytes, std::size_t position)
{
    return position + 2 < bytes.size() && bytes[position + 1] == '.' && IsDigit(bytes[position + 2]);
}

void AppendCode(std::string& formula, std::uint8_t code)
{
    formula += ' ';
    if (code <= kVeltroLastElementCode)
        formula += ElementSymbol(code - kVeltroFirstElementCode);
    else
        formula += kVeltroGroups[code - kVeltroFirstGroupCode];
}

} // namespace

TVeltroDecodedFormula DecodeVeltroFormula(ConstBytes bytes)
{
    std::string formula;
    std::size_t position = 0;
    for (; position < bytes.size() && bytes[position] != 0; ++position) {
        const std::uint8_t byte = bytes[position];
        if (byte >= kVeltroFirstElementCode)
            AppendCode(formula, byte);
        else if (byte != kBlank || !BlankBeforeFraction(bytes, position))
            formula += static_cast<char>(byte);
    }
    const std::size_t end = position < bytes.size() ? position + 1 : bytes.size();
    return {Trim(formula), end};
}

} // namespace norrvik
