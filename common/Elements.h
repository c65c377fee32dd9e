// The element-symbol table: 112 symbols indexed by element number.
// 0 "?", 1..103 the chemical elements "H".."Lr" by atomic number,
// 104..107 "?", 108 "D", 109 "T", 110 "Ln", 111 "A".
#pragma once

#include <array>
#include <string_view>

namespace norrvik {

inline constexpr int kElementCount = 112;

extern const std::array<std::string_view, kElementCount> kElementSymbols;

// The symbol of element number n, or "?" when n is outside 0..111.
std::string_view ElementSymbol(int n);

// The element number of a symbol (exact, case-sensitive), or -1 when the
// table does not hold it. "?" is not looked up (it stands for several numbers).
int ElementNumber(std::string_view symbol);

} // namespace norrvik
