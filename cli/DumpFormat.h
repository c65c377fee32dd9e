// The texts `dump` prints for one pattern, made in one string each (a large
// database prints millions of lines): the text form people read and the
// pattern's JSON object, byte for byte what printf-style formatting and the
// JSON library give, made without either on the common path.
#pragma once

#include <string>

namespace norrvik {

class TReferencePattern;

// Appends `value` as printf's "%*.*f" with `width` and `precision` gives it.
void AppendFixed(std::string& out, double value, int width, int precision);

// The same for a single-precision value (a d-spacing): the same characters
// as AppendFixed of the value as a double, made by the program's own digit
// writer for every finite value below 2^46 at 5 decimals (a smaller bound
// at more decimals, precision 0 to 9).
void AppendFixedFloat(std::string& out, float value, int width, int precision);

// Appends a d-spacing as dump --json gives it: the JSON library's text of
// the double nearest to the shortest decimal that reads back as the same
// float (the texts of the values met last kept); null for NaN and
// infinities, which JSON lacks.
void AppendJsonDSpacing(std::string& out, float value);

// Appends the pattern as the text form shows it: a blank line, its code,
// names, formula, status, subfiles, lines and text lists.
void AppendPatternText(std::string& out, const TReferencePattern& pattern);

// Appends the pattern's JSON object, as the JSON library writes it compact
// (members in name order, invalid UTF-8 replaced).
void AppendPatternJson(std::string& out, const TReferencePattern& pattern);

} // namespace norrvik
