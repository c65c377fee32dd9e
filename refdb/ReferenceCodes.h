// Reference codes of the target database: the nine-digit stored form, the
// eleven-character display form with two dashes, the conversion of codes of
// the older six-digit numbering, the user codes the program hands out, and
// the test whether a folder already holds a reference database.
#pragma once

#include "common/TypedFolder.h"
#include "refdb/DatabaseFiles.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace norrvik {

// Lengths of the code forms.
inline constexpr std::size_t kStoredCodeLength = 9;   // "000020318"
inline constexpr std::size_t kDisplayCodeLength = 11; // "00-002-0318"

// The nine files whose presence marks a folder as a reference database, in
// the order IsReferenceDatabaseFolder tests them: the required files of the
// table in DatabaseFiles.h.
inline constexpr auto kReferenceDatabaseFileNames = RequiredDatabaseFileNames();

// Converts a code of the older numbering (six digits, or seven characters
// with a dash at the third position, e.g. "02-0318") into the stored form:
// "010" + digits for numbers from 700000 on, "000" + digits from 10000 to
// 699999, "990" + digits below 10000.
// Raises EAssertionFailed "Length of old reference code must be 6 or 7 (with "-")."
// for any other length, and norrvik::Exception "ReferenceCode not correct."
// when the digits are not an integer.
std::string ConvertOldReferenceCode(std::string_view oldCode);

// The three-character group prefix of a converted old code with number n
// ("010", "000" or "990"); shared with the conversion of old pattern records.
std::string_view OldCodeGroupPrefix(std::int64_t n);

// Parses a whole text as a decimal integer the way old codes are read:
// optional leading blanks, an optional sign, then digits only. Empty when
// the text is not such a number or does not fit 64 bits.
std::optional<std::int64_t> ParseOldCodeNumber(std::string_view text);

// True when the text is exactly nine characters, all of them digits 0..9.
bool IsNineDigitCode(std::string_view code);

// An eleven-character code with dashes at its third and seventh characters
// loses both dashes ("00-002-0318" -> "000020318"); any other text is
// returned unchanged. Used when storing a code and when looking one up.
std::string StoredCodeFromDisplayCode(std::string_view code);

// A nine-digit code gains its two dashes ("000020318" -> "00-002-0318");
// any other text is returned unchanged.
std::string DisplayCodeFromStoredCode(std::string_view code);

// The number of a nine-digit code (leading zeros dropped), or -1 when the
// text is not nine digits.
std::int32_t ReferenceNumberFromStoredCode(std::string_view code);

// User codes run from 99-000-0001 to 99-000-9999: a database holds at most
// this many user patterns that were given their code by the program.
inline constexpr std::int32_t kMaxUserCodeNumber = 9999;

// Why the database in `folder`, which already holds `userPatternCount` user
// patterns, takes no further pattern that needs a user code, what stays, and
// the way out (a new target).
std::string NoUserCodeLeftMessage(std::string_view folder, std::int32_t userPatternCount);

// The display code the drivers give to the n-th user pattern: "99-000-%4.4d".
std::string UserDisplayCode(std::int32_t n);

// The stored code the database gives to a user pattern stored without a
// code: "99000%4.4d".
std::string UserStoredCode(std::int32_t n);

// True when the folder (a trailing path delimiter added when missing) holds
// all nine files of kReferenceDatabaseFileNames; false at the first missing one.
bool IsReferenceDatabaseFolder(const TTypedFolder& folder);

} // namespace norrvik
