// `rebuild DB`: rewrites every index file of a Tessaly database from its
// patterns, under the folder's exclusive lock, with a progress bar.
#include "cli/Command.h"
#include "cli/CommandSupport.h"
#include "cli/TerminalProgress.h"
#include "refdb/DatabaseLock.h"
#include "refdb/ReferenceDatabase.h"

#include <CLI/CLI.hpp>

namespace norrvik {

namespace {

class TRebuildCommand : public TCommand {
public:
    std::string_view Name() const override { return "rebuild"; }
    std::string_view Summary() const override
    {
        return "Rewrite every index file of a Tessaly database from its patterns";
    }
    std::string_view Example() const override { return "norrvik-cli rebuild ./tessaly-db"; }

    void DeclareOptions(CLI::App& command) override
    {
        command.add_option("DB", folder_, "Folder of the Tessaly database")->required();
    }

    int Run(const TCommandContext& context) override
    {
        RefuseFileAsDatabaseFolder(folder_);
        // Index files left half-written would be worse than waiting: Ctrl-C
        // does not stop a rebuild.
        const TDatabaseLock lock = TDatabaseLock::Exclusive(TTypedFolder(folder_));
        TInterruptGuard interrupt;
        TTerminalProgress progress(context.Err, context.Options.DrawProgress, context.Options.ColumnsOf);
        TReferenceDatabase database;
        database.SetDatabaseName(folder_);
        // The old index files need not be readable: they are all written anew.
        database.OpenForIndexRebuild();
        const std::int32_t count = database.PatternCount();
        database.SetProgressCallback(progress.Callback());
        database.RebuildIndexes();
        // Closed here, not by the destructor, so that a failure to write is seen.
        database.Close();
        progress.Finish();
        context.Out << "Rebuilt the indexes of " << count << (count == 1 ? " pattern.\n" : " patterns.\n");
        return kExitSuccess;
    }

private:
    std::string folder_;
};

} // namespace

std::unique_ptr<TCommand> MakeRebuildCommand()
{
    return std::make_unique<TRebuildCommand>();
}

} // namespace norrvik
