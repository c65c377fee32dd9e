// The command-line front end, norrvik-cli:
//   convert [--format {auto|quorvane|kandor|veltro|tessaly}] [--dry-run] [--skip-reimport] [--json]
//           [--user-only] [--verbose] OLD NEW
//   detect [--json] OLD
//   dump [--json] DB [--code CODE]
//   verify [--json] DB
//   rebuild DB
//   recover DB
// RunCli takes the program's arguments and its two output streams, so tests
// run it in-process; it returns the exit status.
#pragma once

#include "convert/ConversionDrivers.h"

#include <ostream>

namespace norrvik {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;   // failed conversion, error, problems found
inline constexpr int kExitUsage = 2;     // wrong arguments
inline constexpr int kExitVerifyNotChecked = 2; // verify: the database could not be checked
inline constexpr int kExitCancelled = 130; // stopped with Ctrl-C, as shells report SIGINT

struct TCliOptions {
    TConversionDrivers drivers = RealConversionDrivers();
    // Draw a progress bar on `err` (the program sets it when stderr is a terminal).
    bool drawProgress = false;
};

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           const TCliOptions& options = {});

} // namespace norrvik
