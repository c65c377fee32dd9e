// Tessaly databases built through the store for the tests and benchmarks:
// a "release" of reference patterns under given codes and user patterns,
// each with 8-bit names, a formula line, lines with Miller indices,
// subfiles, crystal data and all four text lists (colour, comments,
// literature, supplement lines), the texts varied by the pattern's number.
#pragma once

#include "refdb/ReferencePattern.h"

#include <string>
#include <vector>

namespace norrvik::test {

// Pattern number `k` of a generated release (no code, reference status).
TReferencePattern ReleasePattern(int k);

// Creates the database in `folder`: the reference patterns appended under
// `referenceCodes`, then `userPatterns` user patterns added: patterns
// numbered from `firstNumber` on.
void WriteTessalyRelease(const std::string& folder, const std::vector<std::string>& referenceCodes,
                         int userPatterns, int firstNumber = 1);

} // namespace norrvik::test
