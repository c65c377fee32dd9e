// Text helpers shared by the readers and the store: trimming of blanks and
// control characters, ASCII-only upper-casing, the one rule for splitting a
// text file into lines, and the conversion of texts typed by the user
// (UTF-8) into the 8-bit code page of the target files.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace norrvik {

// True for the characters trimming removes: every byte whose code is 32 or less.
constexpr bool IsBlankOrControl(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

// Removes every character with code <= 32 at both ends.
std::string Trim(std::string_view text);
// The part of the text Trim keeps, without a copy.
std::string_view TrimmedView(std::string_view text);
// Removes every character with code <= 32 at the start only.
std::string TrimLeft(std::string_view text);
// Removes every character with code <= 32 at the end only.
std::string TrimRight(std::string_view text);

// Changes only the ASCII letters a..z into A..Z; every other byte stays.
std::string UpperCaseAscii(std::string_view text);
// The same, in the text itself.
void MakeUpperCaseAscii(std::string& text);
// Changes only the ASCII letters A..Z into a..z; every other byte stays.
std::string LowerCaseAscii(std::string_view text);
// True when the two texts are equal after ASCII upper-casing.
bool SameTextAscii(std::string_view a, std::string_view b);

// The line rule of every text file of a database (Subfiles.PDB, Codes.PDB,
// the text indexes), for the store and the checker alike: CR LF, LF alone
// and CR alone each end a line; a line end at the end of the content gives
// no extra empty line; a last line without a line end counts.
// NextTextLine puts the line that starts at `position` (without its line
// end) into `line` and moves `position` past its line end; false when the
// content is used up.
bool NextTextLine(std::string_view content, std::size_t& position, std::string_view& line);
std::vector<std::string> SplitTextLines(std::string_view content);

// Converts UTF-8 into Windows-1252; a character without a Windows-1252 byte,
// and any malformed UTF-8 sequence, becomes "?".
std::string Utf8ToWindows1252(std::string_view utf8);
// Converts Windows-1252 bytes into UTF-8 (for showing 8-bit texts to people);
// the five bytes that have no character in the code page become U+FFFD.
std::string Windows1252ToUtf8(std::string_view bytes);
// The same, appended to `out` (a long listing converts many texts into one
// string).
void AppendWindows1252AsUtf8(std::string& out, std::string_view bytes);
// Makes a text that mixes UTF-8 (paths, typed texts) and Windows-1252 (texts
// read from records) valid UTF-8 for people: every well-formed UTF-8
// sequence stays, every other byte is read as Windows-1252. Every message of
// the program's exceptions passes through it.
std::string ValidUtf8(std::string_view text);

// The text with every line feed and carriage return changed into a blank, so
// that it stays one line of a text file.
std::string LineBreaksAsBlanks(std::string text);
// Empties `text` and gives its memory back: assigning an empty string to it
// would keep the memory for the text to grow into again.
void ReleaseText(std::string& text);

} // namespace norrvik
