// Conversion of a Kandor user database (PDDATABS.DAT and its pattern files)
// into a Tessaly reference database: every entry becomes a user pattern with
// the next user code; there is no test for duplicates.
#include "convert/Conversion.h"

#include "convert/ConversionSupport.h"
#include "sources/kandor/KandorUserDB.h"

namespace norrvik {

void ConvertKandorDatabase(const std::string& oldFolder, const std::string& newFolder, bool& success,
                           const ProgressCallback& progress, TConversionSummary* summary)
{
    ResumeKandorConversion(oldFolder, newFolder, success, progress, summary, TResumePoint{});
}

void ResumeKandorConversion(const std::string& oldFolder, const std::string& newFolder, bool& success,
                           const ProgressCallback& progress, TConversionSummary* summary, const TResumePoint& resume)
{
    ConvertUserDatabase<TKandorUserDB, TKandorReferencePattern>(oldFolder, newFolder, success, progress, summary, SourceFormat::Kandor,
                                      resume);
}

} // namespace norrvik
