// Carrying the patterns of one Tessaly database (an older release, say) into
// another: which user patterns the target already holds from an earlier
// carry-over, so that carrying the same database over again adds nothing.
#pragma once

#include "refdb/ReferenceDatabase.h"
#include "refdb/ReferencePattern.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

namespace norrvik {

// True when the two patterns are one pattern wherever they are stored: the
// same record bytes but for the reference code, the record number and the
// text ranges (which name places in their own database), and the same four
// text lists.
bool SameCarriedPattern(const TReferencePattern& first, const TReferencePattern& second);

// The user patterns a target holds under its user codes (99-000-0001 up to
// its user pattern count) when the carry-over begins, found by content.
class TCarriedPatterns {
public:
    explicit TCarriedPatterns(TReferenceDatabase& target);

    // The code of a target user pattern that is the same pattern as
    // `pattern` and has not been matched before; nothing when there is none.
    // Each target pattern matches once, so a source that holds one pattern
    // twice finds both copies only when the target holds two.
    std::optional<std::string> TakeMatch(const TReferencePattern& pattern);

private:
    TReferenceDatabase& target_;
    std::unordered_multimap<std::size_t, std::int32_t> recordsByContent_;
};

} // namespace norrvik
