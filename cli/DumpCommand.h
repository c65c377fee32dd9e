// `dump`: prints a Tessaly reference database for people: the header, then
// every pattern (or the one with a given reference code) with its names,
// formula line, status, subfiles, diffraction lines and text lines. The
// database's 8-bit texts are shown as UTF-8. `--json` gives the same fields
// as one JSON document.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace norrvik {

class TReferenceDatabase;
class TReferencePattern;

// Opens the database in `folder` for reading and prints it, as text or as
// one JSON document with the same fields; with `code` only that pattern.
// Errors (a missing folder or file, an unknown code) leave as exceptions
// with their messages.
void DumpDatabase(const std::string& folder, const std::optional<std::string>& code, bool json,
                  std::ostream& out);

// Appends pattern n to `text`, reading it through reader 0 or 1.
using TPatternAppender = std::function<void(std::string& text, std::size_t reader, std::int32_t n)>;

// Writes patterns 1 .. count as `append` makes each, in order. They are made
// in pieces of up to 512 patterns (two pieces for two patterns or more),
// two pieces side by side, one through each reader on its own thread, and
// the two written before the next two are made; the writes stay on the
// calling thread (a closed pipe stops it there). A pattern that cannot be
// made ends the output after what the patterns before it made, and its
// error goes on.
void WritePatternsSideBySide(std::int32_t count, std::ostream& out, const TPatternAppender& append);

// True for a reference code in one of the two forms a look-up takes: nine
// digits (000020318) or eleven characters with dashes (00-002-0318).
bool IsReferenceCodeForm(const std::string& code);
std::string ReferenceCodeFormMessage(const std::string& code);

void DumpHeader(TReferenceDatabase& database, std::ostream& out);
void DumpPattern(const TReferencePattern& pattern, std::ostream& out);
// The fields DumpPattern prints, as JSON (texts as UTF-8).
nlohmann::json PatternJson(const TReferencePattern& pattern);

} // namespace norrvik
