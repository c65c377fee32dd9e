// The one conversion call of the front ends, over the drivers' array.
#include "convert/ConversionDrivers.h"

#include "convert/FormatDetection.h"

namespace norrvik {

TConversionDrivers RealConversionDrivers()
{
    TConversionDrivers drivers;
    drivers[FormatPosition(SourceFormat::Quorvane)] = ConvertQuorvaneDatabase;
    drivers[FormatPosition(SourceFormat::Kandor)] = ConvertKandorDatabase;
    drivers[FormatPosition(SourceFormat::Veltro)] = ConvertVeltroDatabase;
    drivers[FormatPosition(SourceFormat::Tessaly)] = TessalyDriver({});
    return drivers;
}

ConversionDriver TessalyDriver(const TCarryOverOptions& options)
{
    return [options](const std::string& oldFolder, const std::string& newFolder, bool& success,
                     const ProgressCallback& progress, TConversionSummary* summary) {
        ConvertTessalyDatabase(oldFolder, newFolder, success, progress, summary, options);
    };
}

bool TConversionOutcome::Cancelled() const
{
    if (!Failure)
        return false;
    try {
        std::rethrow_exception(Failure);
    } catch (const EConversionCancelled&) {
        return true;
    } catch (...) {
        return false;
    }
}

std::string TConversionOutcome::FailureText() const
{
    return Failure ? ExceptionMessage(Failure) : std::string();
}

namespace {

// The driver of a run that finishes a stopped one. A carry-over needs none of
// its own: it recognises the patterns it carried before and skips them.
ConversionDriver ResumingDriver(SourceFormat format, const TResumePoint& resume)
{
    using Resuming = void (*)(const std::string&, const std::string&, bool&, const ProgressCallback&,
                              TConversionSummary*, const TResumePoint&);
    Resuming resuming = nullptr;
    switch (format) {
    case SourceFormat::Quorvane: resuming = ResumeQuorvaneConversion; break;
    case SourceFormat::Kandor: resuming = ResumeKandorConversion; break;
    case SourceFormat::Veltro: resuming = ResumeVeltroConversion; break;
    case SourceFormat::Tessaly: return TessalyDriver({});
    }
    return [resuming, resume](const std::string& oldFolder, const std::string& newFolder, bool& success,
                              const ProgressCallback& progress, TConversionSummary* summary) {
        resuming(oldFolder, newFolder, success, progress, summary, resume);
    };
}

} // namespace

TConversionOutcome RunConversion(const TConversionDrivers& drivers, const TConversionRequest& request)
{
    TConversionOutcome outcome;
    if (request.Format == nullptr)
        return outcome;
    const ConversionDriver driver = request.Resume.Run != 0
                                        ? ResumingDriver(request.Format->Format, request.Resume)
                                        : drivers[static_cast<std::size_t>(FormatIndex(*request.Format))];
    if (!driver)
        return outcome;
    try {
        driver(request.OldFolder, request.NewFolder, outcome.Success, request.Progress, &outcome.Summary);
    } catch (...) {
        outcome.Success = false;
        outcome.Failure = std::current_exception();
    }
    return outcome;
}

} // namespace norrvik
