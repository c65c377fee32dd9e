// The table of norrvik-cli's commands. A new command is a new file that
// defines its maker, and one row here.
#include "cli/Command.h"

namespace norrvik {

std::unique_ptr<TCommand> MakeConvertCommand();
std::unique_ptr<TCommand> MakeDetectCommand();
std::unique_ptr<TCommand> MakeDumpCommand();
std::unique_ptr<TCommand> MakeHistoryCommand();
std::unique_ptr<TCommand> MakeVerifyCommand();
std::unique_ptr<TCommand> MakeRebuildCommand();
std::unique_ptr<TCommand> MakeRecoverCommand();
std::unique_ptr<TCommand> MakeSearchCommand();
std::unique_ptr<TCommand> MakeShowCommand();
std::unique_ptr<TCommand> MakeUndoCommand();

namespace {

using CommandMaker = std::unique_ptr<TCommand> (*)();

constexpr CommandMaker kCommandTable[] = {
    MakeConvertCommand, MakeDetectCommand,  MakeDumpCommand,
    MakeVerifyCommand,  MakeRebuildCommand, MakeRecoverCommand,
    MakeSearchCommand,  MakeShowCommand,    MakeHistoryCommand,
    MakeUndoCommand,
};

} // namespace

std::vector<std::unique_ptr<TCommand>> MakeCommands()
{
    std::vector<std::unique_ptr<TCommand>> commands;
    for (const CommandMaker make : kCommandTable)
        commands.push_back(make());
    return commands;
}

} // namespace norrvik
