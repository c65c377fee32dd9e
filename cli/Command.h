// One command of norrvik-cli: its name, its one-line summary, an example,
// its options (declared on the command's own CLI11 parser) and its run. Each
// command lives in its own file (ConvertCommand.cpp, DumpCommand.cpp, ...)
// and is listed once in the table of CommandTable.cpp; the dispatcher in
// Cli.cpp knows no command by name.
#pragma once

#include "cli/Cli.h"

#include <memory>
#include <ostream>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}

namespace norrvik {

// What a command's run writes to and is given by the program.
struct TCommandContext {
    std::ostream& Out;
    std::ostream& Err;
    const TCliOptions& Options;
};

class TCommand {
public:
    virtual ~TCommand() = default;

    virtual std::string_view Name() const = 0;
    virtual std::string_view Summary() const = 0;
    // A typical command line, shown at the end of the command's help.
    virtual std::string_view Example() const = 0;
    // What the exit statuses mean, one per line.
    virtual std::string_view ExitStatuses() const
    {
        return "0: done\n1: failed (the message says why)\n2: wrong arguments";
    }

    // Adds the command's options and arguments to `command`, bound to fields
    // of this object; parsing fills them before Run.
    virtual void DeclareOptions(CLI::App& command) = 0;
    // The exit status; an exception ends the command with its message and
    // status 1.
    virtual int Run(const TCommandContext& context) = 0;
};

// The commands of the program, in the order the help lists them.
std::vector<std::unique_ptr<TCommand>> MakeCommands();

} // namespace norrvik
