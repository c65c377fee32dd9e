// Texts of progress reports and conversion results for the front ends.
#include "common/ProgressText.h"

#include "common/Format.h"

namespace norrvik {

namespace {

// "N thing" or "N things".
std::string Counted(long count, const char* singular, const char* plural)
{
    return Format("%ld %s", count, count == 1 ? singular : plural);
}

} // namespace

std::string ProgressText(const TProgress& progress)
{
    const bool converting = progress.CurrentStage == TProgress::Stage::Converting;
    std::string text = converting ? Format("Converting entry %ld", progress.Done)
                                  : Format("Writing indexes: %ld", progress.Done);
    if (progress.Total > 0)
        text += Format(" of %ld", progress.Total);
    return text;
}

bool CanStopAt(const TProgress& progress)
{
    return progress.CurrentStage == TProgress::Stage::Converting;
}

std::string CancelledText(const TProgress& progress)
{
    return Format("Conversion cancelled after %ld of %ld entries", progress.Done, progress.Total);
}

std::string ConversionResultText(long added, long skipped, long targetPatternCount)
{
    return Counted(added, "pattern", "patterns") + " added, " + Format("%ld", skipped) +
           " skipped as already present; the target database now holds " +
           Counted(targetPatternCount, "pattern", "patterns");
}

} // namespace norrvik
