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

ConversionDriver TessalyDriver(const CarryOverOptions& options)
{
    return [options](const std::string& oldFolder, const std::string& newFolder, bool& success,
                     const ProgressCallback& progress, ConversionSummary* summary) {
        ConvertTessalyDatabase(oldFolder, newFolder, success, progress, summary, options);
    };
}

bool ConversionOutcome::Cancelled() const
{
    if (!failure)
        return false;
    try {
        std::rethrow_exception(failure);
    } catch (const ConversionCancelled&) {
        return true;
    } catch (...) {
        return false;
    }
}

std::string ConversionOutcome::FailureText() const
{
    if (!failure)
        return {};
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "Unknown error";
    }
}

ConversionOutcome RunConversion(const TConversionDrivers& drivers, const ConversionRequest& request)
{
    ConversionOutcome outcome;
    if (request.format == nullptr)
        return outcome;
    const ConversionDriver& driver = drivers[static_cast<std::size_t>(FormatIndex(*request.format))];
    if (!driver)
        return outcome;
    try {
        driver(request.oldFolder, request.newFolder, outcome.success, request.progress, &outcome.summary);
    } catch (...) {
        outcome.success = false;
        outcome.failure = std::current_exception();
    }
    return outcome;
}

} // namespace norrvik
