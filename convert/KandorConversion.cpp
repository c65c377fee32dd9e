// Conversion of a Kandor user database (PDDATABS.DAT and its pattern files)
// into a Tessaly reference database: every entry becomes a user pattern with
// the next user code; there is no test for duplicates.
#include "convert/Conversion.h"

#include "convert/ConversionSupport.h"
#include "sources/kandor/KandorUserDB.h"

#include <algorithm>
#include <cstdint>
#include <span>

namespace norrvik {

namespace {

// Kandor peak lists carry no Miller indices.
constexpr std::int16_t kNoMillerIndex = 0;

void FillPattern(TReferencePattern& pattern, const TKandorReferencePattern& entry, TReferenceDatabase& target,
                 const std::string& oldFolder)
{
    FillConvertedPattern(pattern, entry.Formula, entry.Name, NextUserCode(target), kUserPatternStatus, oldFolder);
    const int lineCount = std::clamp(entry.LineCount, 0, TKandorReferencePattern::MaxLines);
    for (const KandorLine& line : std::span(entry.Lines).first(static_cast<std::size_t>(lineCount)))
        AddConvertedLine(pattern, line.D, RoundedIntensity(line.Intensity), kNoMillerIndex, kNoMillerIndex,
                         kNoMillerIndex);
}

} // namespace

void ConvertKandorDatabase(const std::string& oldFolder, const std::string& newFolder, bool& success,
                           const ProgressCallback& progress, ConversionSummary* summary)
{
    success = false;
    TConversionTarget target(newFolder, progress, summary);
    {
        TKandorUserDB source;
        source.SetDBName(oldFolder);
        target.SetEntryTotal(source.EntryCount());
        TKandorReferencePattern entry; // kept for the whole loop, overwritten by every entry
        for (int i = 0; i < source.EntryCount(); ++i) {
            source.GetEntry(i, entry);
            {
                TReferencePattern pattern;
                FillPattern(pattern, entry, target.Database(), oldFolder);
                target.Database().AddPattern(pattern);
                target.CountAdded();
                target.ReportProgress(i + 1);
            }
            // Again once the pattern is freed: the window gets its two chances
            // per entry to keep its animation moving.
            target.ReportProgress(i + 1);
        }
    }
    target.Finish();
    success = true;
}

} // namespace norrvik
