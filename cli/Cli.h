// The command-line front end, norrvik-cli: the commands of CommandTable.cpp
// (convert, detect, dump, verify, rebuild, recover, search, show), `help [COMMAND]`,
// --help and --version. RunCli takes the program's arguments and its two
// output streams, so tests run it in-process; it returns the exit status.
#pragma once

#include "common/TerminalSize.h"
#include "convert/ConversionDrivers.h"

#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace norrvik {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;   // failed conversion, error, problems found
inline constexpr int kExitUsage = 2;     // wrong arguments
inline constexpr int kExitVerifyNotChecked = 2; // verify: the database could not be checked
inline constexpr int kExitFolderMissing = 2; // dump, detect, verify: the folder given is not there
inline constexpr int kExitCancelled = 130; // stopped with Ctrl-C, as shells report SIGINT

struct TCliOptions {
    TConversionDrivers Drivers = RealConversionDrivers();
    // Draw a progress bar on `err` (the program sets it when stderr is a terminal).
    bool DrawProgress = false;
    // The width of the terminal a stream goes to, asked again at every
    // redraw of the bar; tests put their own in.
    std::function<std::optional<int>(TStandardStream)> ColumnsOf = TerminalColumns;
};

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           const TCliOptions& options = {});

} // namespace norrvik
