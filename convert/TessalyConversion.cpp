// Carrying the patterns of a Tessaly database into another Tessaly database:
// user patterns under the target's next user codes, reference patterns the
// target lacks under their own codes, each copied as the source holds it.
#include "convert/TessalyConversion.h"

#include "convert/Conversion.h"
#include "convert/ConversionSupport.h"
#include "refdb/DatabaseLock.h"
#include "refdb/ReferenceCodes.h"

#include <algorithm>

namespace norrvik {

namespace {

// The record with the fields that name its place in a database zeroed.
PatternRecord PlaceFreeRecord(const TReferencePattern& pattern)
{
    PatternRecord record = pattern.Record();
    const auto zero = [&record](std::size_t from, std::size_t to) {
        std::fill(record.begin() + static_cast<std::ptrdiff_t>(from), record.begin() + static_cast<std::ptrdiff_t>(to),
                  std::uint8_t{0});
    };
    zero(pattern_layout::ReferenceCode, pattern_layout::RecordNumber + 4);
    zero(pattern_layout::ReferencesStart, pattern_layout::CommentsCount + 2);
    return record;
}

// FNV-1a over the place-free record.
std::size_t ContentHash(const TReferencePattern& pattern)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (const std::uint8_t byte : PlaceFreeRecord(pattern))
        hash = (hash ^ byte) * 1099511628211ull;
    return static_cast<std::size_t>(hash);
}

// The source pattern, its text lists loaded, cut off from the source database.
void CopyOut(const TReferencePattern& held, TReferencePattern& pattern)
{
    pattern.Assign(held);
    pattern.SetDatabaseLink(nullptr);
    pattern.SetPreferences(nullptr);
}

// Entries are named in the import log by their code in the source.
void CarryUserPattern(long entry, TReferencePattern& pattern, TConversionTarget& target, TCarriedPatterns& carried)
{
    const std::string oldCode = pattern.GetReferenceCode();
    if (const std::optional<std::string> present = carried.TakeMatch(pattern)) {
        target.EntrySkipped(entry, oldCode, *present);
        target.RecordMapping({oldCode, *present, true});
        return;
    }
    pattern.SetReferenceCode(NextUserCode(target.Database()));
    target.Database().CopyPattern(pattern);
    target.EntryStored(entry, oldCode, pattern.GetReferenceCode());
    target.RecordMapping({oldCode, pattern.GetReferenceCode(), false});
}

void CarryReferencePattern(long entry, TReferencePattern& pattern, TConversionTarget& target)
{
    const std::string code = pattern.GetReferenceCode();
    if (TargetHoldsCode(target.Database(), code)) {
        target.EntrySkipped(entry, code, code);
        return;
    }
    target.Database().CopyPattern(pattern);
    target.EntryStored(entry, code, code);
}

} // namespace

bool SameCarriedPattern(const TReferencePattern& first, const TReferencePattern& second)
{
    if (PlaceFreeRecord(first) != PlaceFreeRecord(second))
        return false;
    return std::all_of(kAllTextLists.begin(), kAllTextLists.end(), [&](TextList list) {
        return first.GetTextList(list) == second.GetTextList(list);
    });
}

TCarriedPatterns::TCarriedPatterns(TReferenceDatabase& target) : target_(target)
{
    const std::int32_t userPatterns = target_.UserPatternCount();
    for (std::int32_t k = 1; k <= std::min(userPatterns, kMaxUserCodeNumber); ++k) {
        const std::optional<std::int32_t> record = target_.LookUpRecordNumber(UserDisplayCode(k));
        if (!record)
            continue;
        const TReferencePattern& held = target_.GetPattern(*record);
        if (held.IsUserPattern())
            recordsByContent_.emplace(ContentHash(held), *record);
    }
}

std::optional<std::string> TCarriedPatterns::TakeMatch(const TReferencePattern& pattern)
{
    const auto [first, last] = recordsByContent_.equal_range(ContentHash(pattern));
    for (auto candidate = first; candidate != last; ++candidate) {
        const TReferencePattern& held = target_.GetPattern(candidate->second);
        if (!SameCarriedPattern(pattern, held))
            continue;
        std::string code = held.GetReferenceCode();
        recordsByContent_.erase(candidate);
        return code;
    }
    return std::nullopt;
}

void ConvertTessalyDatabase(const std::string& oldFolder, const std::string& newFolder, bool& success,
                            const ProgressCallback& progress, TConversionSummary* summary,
                            const TCarryOverOptions& options)
{
    success = false;
    TConversionTarget target(oldFolder, newFolder, progress, summary, SourceFormat::Tessaly);
    target.Run([&] {
        // Read as dump reads: a writer of the source is refused, readers are not.
        const TDatabaseLock sourceLock = TDatabaseLock::Shared(TTypedFolder(oldFolder));
        TReferenceDatabase source;
        source.SetDatabaseName(oldFolder);
        source.Open();
        const std::int32_t count = source.PatternCount();
        target.SetEntryTotal(std::max<std::int32_t>(count, 0));
        TCarriedPatterns carried(target.Database());
        for (std::int32_t n = 1; n <= count; ++n) {
            {
                TReferencePattern pattern;
                CopyOut(source.GetPattern(n), pattern);
                if (pattern.IsUserPattern())
                    CarryUserPattern(n, pattern, target, carried);
                else if (!options.UserOnly)
                    CarryReferencePattern(n, pattern, target);
            }
            target.ReportProgress(n);
        }
    });
    success = true;
}

} // namespace norrvik
