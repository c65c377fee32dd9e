// Conversion of a Veltro user database (uplog.pdf and its pattern files) into
// a Tessaly reference database: every entry becomes a user pattern with the
// next user code; there is no test for duplicates.
#include "convert/Conversion.h"

#include "convert/ConversionSupport.h"
#include "sources/veltro/VeltroUserDB.h"

#include <algorithm>
#include <cstdint>

namespace norrvik {

namespace {

// Miller indices are not known for Veltro lines.
constexpr std::int16_t kNoIndex = 0;

void FillPattern(TReferencePattern& pattern, const TVeltroReferencePattern& entry, TReferenceDatabase& target,
                 const std::string& oldFolder)
{
    FillConvertedPattern(pattern, entry.Formula, entry.Name, NextUserCode(target), kUserPatternStatus, oldFolder);
    const auto lineCount = static_cast<std::size_t>(std::max<std::int32_t>(entry.LineCount, 0));
    for (std::size_t j = 0; j < lineCount && j < entry.Lines.size(); ++j)
        AddConvertedLine(pattern, entry.Lines[j].D, RoundedIntensity(entry.Lines[j].Intensity), kNoIndex, kNoIndex,
                         kNoIndex);
}

} // namespace

void ConvertVeltroDatabase(const std::string& oldFolder, const std::string& newFolder, bool& success,
                           const ProgressCallback& progress, ConversionSummary* summary)
{
    success = false;
    TConversionTarget target(newFolder, progress, summary);
    {
        TVeltroUserDB source;
        source.SetDBName(oldFolder);
        const std::int32_t count = source.EntryCount();
        target.SetEntryTotal(std::max<std::int32_t>(count, 0));
        TVeltroReferencePattern entry; // kept for the whole loop, overwritten by every entry
        for (std::int32_t i = 0; i < count; ++i) {
            source.GetEntry(i, entry);
            {
                TReferencePattern pattern;
                FillPattern(pattern, entry, target.Database(), oldFolder);
                target.Database().AddPattern(pattern);
                target.CountAdded();
                target.ReportProgress(i + 1);
            }
            // Once more after the pattern is freed, as the window expects two
            // chances per entry to keep its animation moving.
            target.ReportProgress(i + 1);
        }
    }
    target.Finish();
    success = true;
}

} // namespace norrvik
