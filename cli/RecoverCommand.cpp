// `recover DB`: salvages a damaged Tessaly database under the folder's
// exclusive lock, prints what it did, and checks the result.
#include "cli/RecoverCommand.h"

#include "cli/Command.h"
#include "cli/CommandSupport.h"
#include "cli/TerminalProgress.h"
#include "refdb/DatabaseCheck.h"
#include "refdb/DatabaseLock.h"
#include "refdb/Recovery.h"

#include <CLI/CLI.hpp>

#include <vector>

namespace norrvik {

int RunRecover(const std::string& folder, std::ostream& out, const ProgressCallback& progress)
{
    const TDatabaseLock lock = TDatabaseLock::Exclusive(TTypedFolder(folder));
    const TRecoveryReport report = RecoverReferenceDatabase(folder, progress);
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

namespace {

class TRecoverCommand : public TCommand {
public:
    std::string_view Name() const override { return "recover"; }
    std::string_view Summary() const override
    {
        return "Salvage a damaged Tessaly database: keep every whole pattern with its own text lines, rebuild the "
               "rest; the replaced files are copied into recover-backup-<time> inside DB first";
    }
    std::string_view Example() const override { return "norrvik-cli recover ./tessaly-db"; }
    std::string_view ExitStatuses() const override
    {
        return "0: the salvaged database is sound\n1: it still has problems (printed), or it could not be "
               "salvaged\n2: wrong arguments";
    }

    void DeclareOptions(CLI::App& command) override
    {
        command.add_option("DB", folder_, "Folder of the Tessaly database")->required();
    }

    int Run(const TCommandContext& context) override
    {
        RefuseFileAsDatabaseFolder(folder_);
        // As for rebuild, Ctrl-C does not stop the salvage half-way.
        TInterruptGuard interrupt;
        TTerminalProgress progress(context.Err, context.Options.DrawProgress, context.Options.ColumnsOf);
        const int status = RunRecover(folder_, context.Out, progress.Callback());
        progress.Finish();
        return status;
    }

private:
    std::string folder_;
};

} // namespace

std::unique_ptr<TCommand> MakeRecoverCommand()
{
    return std::make_unique<TRecoverCommand>();
}

} // namespace norrvik
