// Conversion of a Veltro user database (uplog.pdf and its pattern files) into
// a Tessaly reference database: every entry becomes a user pattern with the
// next user code; there is no test for duplicates.
#include "convert/Conversion.h"

#include "convert/ConversionSupport.h"
#include "sources/veltro/VeltroUserDB.h"

namespace norrvik {

void ConvertVeltroDatabase(const std::string& oldFolder, const std::string& newFolder, bool& success,
                           const ProgressCallback& progress, TConversionSummary* summary)
{
    ResumeVeltroConversion(oldFolder, newFolder, success, progress, summary, TResumePoint{});
}

void ResumeVeltroConversion(const std::string& oldFolder, const std::string& newFolder, bool& success,
                           const ProgressCallback& progress, TConversionSummary* summary, const TResumePoint& resume)
{
    ConvertUserDatabase<TVeltroUserDB, TVeltroReferencePattern>(oldFolder, newFolder, success, progress, summary, SourceFormat::Veltro,
                                      resume);
}

} // namespace norrvik
