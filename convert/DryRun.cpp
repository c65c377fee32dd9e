// The dry run of a conversion and the count of earlier imports.
#include "convert/DryRun.h"

#include "common/Files.h"
#include "convert/ConversionSupport.h"
#include "convert/ImportHistory.h"
#include "convert/TessalyConversion.h"
#include "refdb/DatabaseLock.h"
#include "refdb/ReferenceCodes.h"
#include "sources/kandor/KandorUserDB.h"
#include "sources/quorvane/Pdf1.h"
#include "sources/veltro/VeltroUserDB.h"

#include <algorithm>
#include <memory>
#include <optional>

namespace norrvik {

namespace {

// The target database opened for reading, or nothing when the folder holds
// none (a run would create one; the folder is left as it is).
std::unique_ptr<TReferenceDatabase> OpenTargetForReading(const TTypedFolder& newFolder)
{
    if (!IsReferenceDatabaseFolder(newFolder))
        return nullptr;
    auto database = std::make_unique<TReferenceDatabase>();
    database->SetDatabaseName(newFolder.Text);
    database->Open();
    return database;
}

// The comment lines an earlier run gave the patterns of `oldFolder`, the
// folder typed with or without a trailing delimiter.
std::vector<std::string> ImportCommentLines(const std::string& oldFolder)
{
    std::string bare = oldFolder;
    while (bare.size() > 1 && bare.back() == '/')
        bare.pop_back();
    std::vector<std::string> lines{ImportCommentLine(bare)};
    const std::string withDelimiter = ImportCommentLine(IncludeTrailingPathDelimiter(bare));
    if (withDelimiter != lines.front())
        lines.push_back(withDelimiter);
    return lines;
}

long CountImportsIn(TReferenceDatabase& database, const std::string& oldFolder)
{
    const std::vector<std::string> lines = ImportCommentLines(oldFolder);
    long count = 0;
    const std::int32_t patterns = database.PatternCount();
    for (std::int32_t n = 1; n <= patterns; ++n) {
        // Imports of user databases are user patterns; the text lines of
        // reference patterns (most of a licensed collection) are not read.
        const TReferencePattern& pattern = database.GetPattern(n);
        if (!pattern.IsUserPattern())
            continue;
        const std::vector<std::string>& comments = pattern.GetTextList(TextList::Comments);
        if (std::find_first_of(comments.begin(), comments.end(), lines.begin(), lines.end()) != comments.end())
            ++count;
    }
    return count;
}

// Kandor and Veltro: every entry is added under a new user code.
template <typename TSource>
void PreviewUserEntries(const std::string& oldFolder, TConversionPreview& preview)
{
    TSource source;
    source.SetDBName(oldFolder);
    preview.Entries = std::max<long>(static_cast<long>(source.EntryCount()), 0);
    preview.WouldAdd = preview.Entries;
}

// Quorvane: present records only; a pattern whose code the target already
// holds is skipped, as the run does. (Reference patterns appended by the run
// itself reach the code index only when the target closes, so a number that
// repeats within the old database is added each time, here as in the run.)
void PreviewQuorvane(const std::string& oldFolder, TReferenceDatabase* target, TConversionPreview& preview)
{
    pdf1::TReferenceDatabase source;
    source.SetDatabaseName(oldFolder);
    source.Open();
    preview.UserDatabase = !source.IsReferenceDatabase();
    const std::int32_t userBefore = target != nullptr ? target->UserPatternCount() : 0;
    for (std::int32_t i = 1; i <= source.PatternCount(); ++i) {
        pdf1::TReferencePattern from;
        source.ReadPattern(i, from);
        if (!from.Present())
            continue;
        ++preview.Entries;
        if (preview.UserDatabase && userBefore + preview.WouldAdd >= kMaxUserPatterns) {
            ++preview.WouldAdd; // beyond the last user code: the run stops there
            continue;
        }
        TReferencePattern pattern;
        pattern.SetReferenceCode(source.IsReferenceDatabase()
                                     ? ConvertOldReferenceCode(from.PatternNumber())
                                     : UserDisplayCode(userBefore + static_cast<std::int32_t>(preview.WouldAdd) + 1));
        if (target != nullptr && TargetHoldsCode(*target, pattern.GetReferenceCode()))
            ++preview.WouldSkip;
        else
            ++preview.WouldAdd;
    }
}

// Tessaly: user patterns not carried over before would be added, reference
// patterns whose code the target lacks appended (unless user patterns alone
// are copied); the run stops at the target's last user code.
void PreviewTessaly(const std::string& oldFolder, TReferenceDatabase* target, const TCarryOverOptions& options,
                    TConversionPreview& preview)
{
    const TDatabaseLock sourceLock = TDatabaseLock::Shared(TTypedFolder(oldFolder));
    TReferenceDatabase source;
    source.SetDatabaseName(oldFolder);
    source.Open();
    std::optional<TCarriedPatterns> carried;
    if (target != nullptr)
        carried.emplace(*target);
    long userAdds = 0;
    for (std::int32_t n = 1; n <= source.PatternCount(); ++n) {
        TReferencePattern pattern;
        pattern.Assign(source.GetPattern(n));
        pattern.SetDatabaseLink(nullptr);
        ++preview.Entries;
        const bool user = pattern.IsUserPattern();
        if (!user && options.UserOnly)
            continue;
        const bool present = user ? carried && carried->TakeMatch(pattern).has_value()
                                  : target != nullptr && TargetHoldsCode(*target, pattern.GetReferenceCode());
        if (present)
            ++preview.WouldSkip;
        else
            ++(user ? userAdds : preview.WouldAdd);
    }
    const long userCodesLeft = std::max(kMaxUserPatterns - (target != nullptr ? target->UserPatternCount() : 0), 0L);
    preview.UserLimitReached = userAdds > userCodesLeft;
    preview.WouldAdd += std::min(userAdds, userCodesLeft);
}

} // namespace

TConversionPreview PreviewConversion(const TFormatInfo& format, const std::string& oldFolder,
                                    const std::string& typedNewFolder, const TCarryOverOptions& options)
{
    const TTypedFolder newFolder(typedNewFolder);
    RefuseSourceAsTarget(oldFolder, newFolder);
    TConversionPreview preview;
    std::unique_ptr<TReferenceDatabase> target = OpenTargetForReading(newFolder);
    if (target == nullptr)
        CheckTargetCanBeCreated(newFolder);
    preview.TargetExists = target != nullptr;
    preview.TargetBefore = target != nullptr ? target->PatternCount() : 0;
    preview.UserDatabase = format.AlwaysUserDatabase;
    switch (format.Format) {
    case SourceFormat::Quorvane: PreviewQuorvane(oldFolder, target.get(), preview); break;
    case SourceFormat::Kandor: PreviewUserEntries<TKandorUserDB>(oldFolder, preview); break;
    case SourceFormat::Veltro: PreviewUserEntries<TVeltroUserDB>(oldFolder, preview); break;
    case SourceFormat::Tessaly: PreviewTessaly(oldFolder, target.get(), options, preview); break;
    }
    if (target != nullptr && preview.UserDatabase)
        preview.EarlierImports = FindEarlierImports(newFolder, oldFolder).Patterns;
    const long userBefore = target != nullptr ? target->UserPatternCount() : 0;
    if (preview.UserDatabase && userBefore + preview.WouldAdd > kMaxUserPatterns) {
        preview.UserLimitReached = true;
        preview.WouldAdd = std::max(kMaxUserPatterns - userBefore, 0L);
    }
    preview.TargetAfter = preview.TargetBefore + preview.WouldAdd;
    return preview;
}

bool IsUserDatabaseConversion(const TFormatInfo& format, const std::string& oldFolder)
{
    if (format.AlwaysUserDatabase)
        return true;
    // A carry-over recognises the patterns it carried before and skips them.
    if (format.Format == SourceFormat::Tessaly)
        return false;
    try {
        pdf1::TReferenceDatabase source;
        source.SetDatabaseName(oldFolder);
        source.Open();
        return !source.IsReferenceDatabase();
    } catch (const Exception&) {
        return false;
    }
}

long CountEarlierImports(const std::string& newFolder, const std::string& oldFolder)
{
    std::unique_ptr<TReferenceDatabase> target = OpenTargetForReading(TTypedFolder(newFolder));
    return target != nullptr ? CountImportsIn(*target, oldFolder) : 0;
}

} // namespace norrvik
