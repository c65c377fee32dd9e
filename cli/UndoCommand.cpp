// `undo DB [--json]`: puts the database back byte for byte as it was before
// the last run of this program into it (refdb/UndoPoint.h), under the
// folder's exclusive lock, and records in the import log that the run was
// undone. A refusal (nothing to undo, a run that never finished, a change by
// another program since) is printed on stderr with the failure status.
#include "cli/Command.h"
#include "cli/CommandSupport.h"
#include "cli/JsonOutput.h"
#include "cli/TerminalProgress.h"
#include "convert/UndoConversion.h"

#include <CLI/CLI.hpp>

namespace norrvik {

namespace {

void PrintUndone(const TUndoResult& result, bool json, std::ostream& out)
{
    if (json) {
        WriteJson(out, {{"run", result.RunNumber},
                        {"patternsRemoved", result.PatternsRemoved},
                        {"databaseRemoved", result.DatabaseRemoved}});
        return;
    }
    out << UndoneText(result, "run " + std::to_string(result.RunNumber), "that run") << '\n';
}

class TUndoCommand : public TCommand {
public:
    std::string_view Name() const override { return "undo"; }
    std::string_view Summary() const override
    {
        return "Undo the last conversion into a Tessaly database: every file back as it was before that run";
    }
    std::string_view Example() const override { return "norrvik-cli undo ./tessaly-db"; }
    std::string_view ExitStatuses() const override
    {
        return "0: undone\n1: refused (nothing to undo, the run never finished, or the database was changed "
               "since by another program; the reason is printed), or the undo failed\n2: wrong arguments";
    }

    void DeclareOptions(CLI::App& command) override
    {
        command.add_option("DB", folder_, "Folder of the Tessaly database")->required();
        command.add_flag("--json", json_, "Print what was undone as JSON");
    }

    int Run(const TCommandContext& context) override
    {
        RefuseFileAsDatabaseFolder(folder_);
        // Ctrl-C does not stop the undo half-way.
        TInterruptGuard interrupt;
        const TConversionUndone undone = UndoLastConversion(folder_);
        PrintUndone(undone.Result, json_, context.Out);
        if (!undone.LogWarning.empty())
            context.Err << undone.LogWarning << '\n';
        return kExitSuccess;
    }

private:
    std::string folder_;
    bool json_ = false;
};

} // namespace

std::unique_ptr<TCommand> MakeUndoCommand()
{
    return std::make_unique<TUndoCommand>();
}

} // namespace norrvik
