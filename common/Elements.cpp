// The element-symbol table.
#include "Elements.h"

namespace norrvik {

const std::array<std::string_view, kElementCount> kElementSymbols = {
    "?",
    "H",  "He", "Li", "Be", "B",  "C",  "N",  "O",  "F",  "Ne",
    "Na", "Mg", "Al", "Si", "P",  "S",  "Cl", "Ar", "K",  "Ca",
    "Sc", "Ti", "V",  "Cr", "Mn", "Fe", "Co", "Ni", "Cu", "Zn",
    "Ga", "Ge", "As", "Se", "Br", "Kr", "Rb", "Sr", "Y",  "Zr",
    "Nb", "Mo", "Tc", "Ru", "Rh", "Pd", "Ag", "Cd", "In", "Sn",
    "Sb", "Te", "I",  "Xe", "Cs", "Ba", "La", "Ce", "Pr", "Nd",
    "Pm", "Sm", "Eu", "Gd", "Tb", "Dy", "Ho", "Er", "Tm", "Yb",
    "Lu", "Hf", "Ta", "W",  "Re", "Os", "Ir", "Pt", "Au", "Hg",
    "Tl", "Pb", "Bi", "Po", "At", "Rn", "Fr", "Ra", "Ac", "Th",
    "Pa", "U",  "Np", "Pu", "Am", "Cm", "Bk", "Cf", "Es", "Fm",
    "Md", "No", "Lr",
    "?",  "?",  "?",  "?",
    "D",  "T",  "Ln", "A"};

std::string_view ElementSymbol(int n)
{
    if (n < 0 || n >= kElementCount)
        return "?";
    return kElementSymbols[static_cast<std::size_t>(n)];
}

int ElementNumber(std::string_view symbol)
{
    if (symbol == "?")
        return -1;
    for (int n = 0; n < kElementCount; ++n)
        if (kElementSymbols[static_cast<std::size_t>(n)] == symbol)
            return n;
    return -1;
}

} // namespace norrvik
