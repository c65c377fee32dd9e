// The recover command.
#include "cli/RecoverCommand.h"

#include "refdb/DatabaseCheck.h"
#include "refdb/DatabaseLock.h"
#include "refdb/Recovery.h"

#include <vector>

namespace norrvik {

int RunRecover(const std::string& folder, std::ostream& out, const ProgressCallback& progress)
{
    const TDatabaseLock lock = TDatabaseLock::Exclusive(folder);
    const RecoveryReport report = RecoverReferenceDatabase(folder, progress);
    for (const std::string& line : report.Lines)
        out << line << '\n';
    out << "Kept " << report.PatternsKept << (report.PatternsKept == 1 ? " pattern" : " patterns");
    if (report.BackupFolder.empty())
        out << "; nothing had to be replaced.\n";
    else
        out << "; the replaced files are kept in " << report.BackupFolder << ".\n";
    const std::vector<std::string> problems = CheckReferenceDatabase(folder);
    for (const std::string& problem : problems)
        out << problem << '\n';
    return problems.empty() ? 0 : 1;
}

} // namespace norrvik
