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

// Appends the pattern as the text form shows it: a blank line, its code,
// names, formula, status, subfiles, lines and text lists.
void AppendPatternText(std::string& out, const TReferencePattern& pattern);

// Appends the pattern's JSON object, as the JSON library writes it compact
// (members in name order, invalid UTF-8 replaced).
void AppendPatternJson(std::string& out, const TReferencePattern& pattern);

} // namespace norrvik
