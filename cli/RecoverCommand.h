// `recover DB`: salvages a damaged Tessaly database (refdb/Recovery.h) under
// the folder's exclusive lock, prints what it dropped, changed or re-created
// one line each, then checks the result as `verify` does.
#pragma once

#include "common/Progress.h"

#include <ostream>
#include <string>

namespace norrvik {

// The exit status: 0 when the salvaged database passes the check, 1 when it
// does not (its problems are printed). Errors leave as exceptions.
int RunRecover(const std::string& folder, std::ostream& out, const ProgressCallback& progress);

} // namespace norrvik
