// Running norrvik-cli in-process for the command-line tests: the exit status
// and what reached stdout and stderr.
#pragma once

#include "cli/Cli.h"
#include "common/Files.h"

#include <sstream>
#include <string>
#include <vector>

namespace norrvik::test {

struct CliResult {
    int Status = -1;
    std::string Out;
    std::string Err;
};

// `out` replaces the captured stdout when given (its text is then not kept).
inline CliResult RunCommand(const std::vector<std::string>& args, const TCliOptions& options = {},
                            std::ostream* out = nullptr)
{
    std::vector<const char*> argv{"norrvik-cli"};
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    std::ostringstream text;
    std::ostringstream err;
    CliResult result;
    result.Status =
        RunCli(static_cast<int>(argv.size()), argv.data(), out != nullptr ? *out : text, err, options);
    result.Out = text.str();
    result.Err = err.str();
    return result;
}

// A driver that reports ten entries and the index writing, adding ten patterns.
inline void ReportTenEntries(const std::string&, const std::string&, bool& success, const ProgressCallback& progress,
                             TConversionSummary* summary)
{
    summary->Added = 10;
    for (long entry = 1; entry <= 10; ++entry)
        progress(TProgress{TProgress::Stage::Converting, entry, 10});
    progress(TProgress{TProgress::Stage::WritingIndexes, 10, 10});
    success = true;
}

// Options whose drivers are all `driver`.
inline TCliOptions WithDriver(const ConversionDriver& driver, bool drawProgress = false)
{
    TCliOptions options;
    options.Drivers = {driver, driver, driver};
    options.DrawProgress = drawProgress;
    return options;
}

// A bundled sample's folder in the absolute form the command line records
// (on Windows the build's "/x/samples" becomes "Z:\x\samples" under Wine).
inline std::string Sample(const std::string& format)
{
    return AbsoluteFolderText(std::string(NORRVIK_SAMPLES_DIR) + "/" + format);
}

} // namespace norrvik::test
