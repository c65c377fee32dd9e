// The one call both front ends make to convert: a request (format, the two
// folders, the progress callback) goes in, an outcome (the summary, whether
// the run succeeded, and the exception that ended it) comes out. Under it,
// the drivers of the formats sit in an array indexed by the format's
// place in the table of formats; the programs use the real drivers, tests
// put their own in.
#pragma once

#include "common/Progress.h"
#include "convert/Conversion.h"
#include "convert/Formats.h"

#include <array>
#include <exception>
#include <functional>
#include <string>

namespace norrvik {

// One conversion driver, shaped as ConvertQuorvaneDatabase and its kin:
// (old folder, new folder, out success, progress callback, summary).
using ConversionDriver = std::function<void(const std::string&, const std::string&, bool&,
                                            const ProgressCallback&, TConversionSummary*)>;

// The drivers, at the positions of their formats in kFormats.
using TConversionDrivers = std::array<ConversionDriver, kFormats.size()>;

// The drivers of the conversion library (only programs that link it call this).
TConversionDrivers RealConversionDrivers();

// The driver of a Tessaly source with these options.
ConversionDriver TessalyDriver(const TCarryOverOptions& options);

struct TConversionRequest {
    const TFormatInfo* Format = nullptr; // nullptr: no format chosen
    std::string OldFolder;
    std::string NewFolder;
    ProgressCallback Progress;
    // A run that finishes a stopped one (FindStoppedRun); it runs the
    // library's own driver of the format, which passes over what the stopped
    // run stored.
    TResumePoint Resume;
};

struct TConversionOutcome {
    // What the run did, right also when it stopped early.
    TConversionSummary Summary;
    // True only when the driver finished and said so.
    bool Success = false;
    // The exception that ended the run (EConversionCancelled for a stop on
    // request), or null.
    std::exception_ptr Failure;

    bool Cancelled() const;
    // The message of `Failure`; empty when there is none.
    std::string FailureText() const;
};

// Runs the driver of the request's format. An exception of the driver is
// kept in the outcome, never raised; no format, or no driver for it, is a
// run that did not succeed.
TConversionOutcome RunConversion(const TConversionDrivers& drivers, const TConversionRequest& request);

} // namespace norrvik
