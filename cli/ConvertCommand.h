// `convert` and `detect`: the format of the old database named or found from
// its files, the re-import guard for user databases, the dry run, and the
// summary as text or JSON.
#pragma once

#include "cli/Cli.h"

#include <CLI/CLI.hpp>

#include <ostream>
#include <string>

namespace norrvik {

struct TConvertRequest {
    std::string format = "auto"; // a format's command-line name, or "auto"
    std::string oldFolder;
    std::string newFolder;
    bool dryRun = false;
    bool json = false;
    // Refuse, changing nothing, when the target already holds patterns
    // imported from the same old folder.
    bool skipReimport = false;
    // A Tessaly source: copy its user patterns alone; print each user
    // pattern's old and new code.
    bool userOnly = false;
    bool verbose = false;
};

// --user-only and --verbose on the convert command.
void AddCarryOverOptions(CLI::App& convert, TConvertRequest& request);

int RunConvert(const TConvertRequest& request, std::ostream& out, std::ostream& err, const TCliOptions& options);

// Prints the formats found in `oldFolder`; exit status 0 when exactly one.
int RunDetect(const std::string& oldFolder, bool json, std::ostream& out, std::ostream& err);

} // namespace norrvik
