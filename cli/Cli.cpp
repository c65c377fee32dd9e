// The dispatcher of norrvik-cli: builds the parser from the table of
// commands, answers help and mistyped names, runs the command chosen and
// makes sure its output reached stdout.
#include "cli/Cli.h"

#include "cli/Command.h"
#include "cli/CommandSupport.h"
#include "cli/Usage.h"
#include "common/Version.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <string>
#include <vector>

namespace norrvik {

namespace {

constexpr const char* kProgram = "norrvik-cli";
constexpr int kHelpWidthOffTerminal = 80;

// The parser with every command of the table, and the commands it fills.
struct TParser {
    CLI::App App{"Converts old powder-diffraction reference databases (Quorvane, Kandor, Veltro) into "
                 "Tessaly reference databases, and shows and checks Tessaly databases.",
                 kProgram};
    std::vector<std::unique_ptr<TCommand>> Commands = MakeCommands();
    std::vector<std::string> Names;
};

// The parser of the command with this name, or nullptr.
CLI::App* CommandNamed(TParser& parser, std::string_view name)
{
    const bool known = std::find(parser.Names.begin(), parser.Names.end(), name) != parser.Names.end();
    return known ? parser.App.get_subcommand(std::string(name)) : nullptr;
}

// The command, or `help`, nearest to a mistyped name.
std::string NearestCommand(const TParser& parser, std::string_view typed)
{
    std::vector<std::string> names = parser.Names;
    names.emplace_back("help");
    return NearestName(typed, names);
}

std::string CommandFooter(const TCommand& command)
{
    std::string footer = "Example:\n  " + std::string(command.Example()) + "\n\nExit status:\n";
    std::string_view statuses = command.ExitStatuses();
    while (!statuses.empty()) {
        const std::size_t end = std::min(statuses.find('\n'), statuses.size());
        footer += "  " + std::string(statuses.substr(0, end)) + '\n';
        statuses.remove_prefix(std::min(end + 1, statuses.size()));
    }
    return footer;
}

void BuildParser(TParser& parser, int width)
{
    parser.App.require_subcommand(1, 1);
    // "/data/db" is a folder on every system, never an option (the
    // subcommands take this from the app when they are added).
    parser.App.allow_windows_style_options(false);
    parser.App.set_version_flag("--version", std::string(kProgram) + " " + kVersion);
    parser.App.get_formatter()->column_width(static_cast<std::size_t>(std::clamp(width * 2 / 5, 16, 30)));
    for (const std::unique_ptr<TCommand>& command : parser.Commands) {
        CLI::App* sub = parser.App.add_subcommand(std::string(command->Name()), std::string(command->Summary()));
        command->DeclareOptions(*sub);
        sub->footer(CommandFooter(*command));
        parser.Names.emplace_back(command->Name());
    }
    parser.App.footer("Run \"norrvik-cli help COMMAND\" for a command's options, an example and its exit "
                      "statuses.\n\nExit status: 0 done; 1 failed (the message on stderr says why and what to "
                      "do); 2 wrong arguments; 128 + the signal's number when a stop signal ended a conversion.");
}

int HelpWidth(const TCliOptions& options)
{
    const std::optional<int> columns = options.ColumnsOf(TStandardStream::Output);
    return columns ? *columns - 1 : kHelpWidthOffTerminal;
}

// "'conver' is not a norrvik-cli command." with the nearest command.
int UnknownName(std::string_view what, const std::string& typed, const std::string& nearest,
                const std::string& helpFor, std::ostream& err)
{
    err << kProgram << ": '" << typed << "' is not " << what << '.';
    if (!nearest.empty())
        err << " Did you mean '" << nearest << "'?";
    err << "\nRun \"norrvik-cli help" << helpFor << "\" to see them.\n";
    return kExitUsage;
}

// The long names of a parser's options ("--dry-run"), and its short ones.
std::vector<std::string> OptionNames(const CLI::App& app)
{
    std::vector<std::string> names;
    for (const CLI::Option* option : app.get_options()) {
        for (const std::string& name : option->get_lnames())
            names.push_back("--" + name);
        for (const std::string& name : option->get_snames())
            names.push_back("-" + name);
    }
    return names;
}

// An option the parser does not know: near the option of the same first
// letter ("-V" for "--version") or a few slips away.
int UnknownOption(const std::string& typed, const CLI::App& app, const std::string& helpFor, std::ostream& err)
{
    const std::vector<std::string> names = OptionNames(app);
    // One letter is too short to be a slip of another.
    std::string nearest = typed.size() > 2 ? NearestName(typed, names) : std::string();
    if (typed.size() == 2 && typed[0] == '-') {
        // One letter: the long option it begins.
        const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(typed[1])));
        for (const std::string& name : names)
            if (name.size() > 2 && name[1] == '-' && name[2] == letter)
                nearest = name;
    }
    const std::string what = helpFor.empty() ? "an option of norrvik-cli" : "an option of" + helpFor;
    return UnknownName(what, typed, nearest, helpFor, err);
}

// The first argument of a command that names no option of it, or empty.
std::string FirstUnknownOption(const CLI::App& command, int argc, const char* const* argv)
{
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--")
            break;
        if (arg.size() < 2 || arg[0] != '-')
            continue;
        const std::string name = arg.substr(0, std::min(arg.find('='), arg[1] == '-' ? arg.size() : 2));
        if (command.get_option_no_throw(name) == nullptr)
            return arg.substr(0, arg.find('='));
    }
    return {};
}

// `help` and `help COMMAND`.
int RunHelp(TParser& parser, int argc, const char* const* argv, std::ostream& out, std::ostream& err, int width)
{
    if (argc > 3) {
        err << "help takes at most one command.\nRun \"norrvik-cli help\" to see the commands.\n";
        return kExitUsage;
    }
    if (argc < 3) {
        out << WrapText(parser.App.help(), width);
        return kExitSuccess;
    }
    CLI::App* command = CommandNamed(parser, argv[2]);
    if (command == nullptr)
        return UnknownName("a norrvik-cli command", argv[2], NearestCommand(parser, argv[2]), "", err);
    out << WrapText(command->help(kProgram), width);
    return kExitSuccess;
}

// Answers what the parser would misname ("A subcommand is required"): no
// command, `help`, an unknown command or option first; nothing otherwise.
std::optional<int> AnswerBeforeParsing(TParser& parser, int argc, const char* const* argv, std::ostream& out,
                                       std::ostream& err, int width)
{
    if (argc < 2) {
        err << kProgram << ": a command is required.\n\n" << WrapText(parser.App.help(), width);
        return kExitUsage;
    }
    const std::string first = argv[1];
    if (first == "help")
        return RunHelp(parser, argc, argv, out, err, width);
    if (first[0] == '-')
        return first == "-h" || first == "--help" || first == "--version"
                   ? std::nullopt
                   : std::optional<int>(UnknownOption(first.substr(0, first.find('=')), parser.App, "", err));
    if (CommandNamed(parser, first) == nullptr)
        return UnknownName("a norrvik-cli command", first, NearestCommand(parser, first), "", err);
    return std::nullopt;
}

// The parser's own errors: help asked for, an unknown option of a command,
// a missing or wrong argument.
int AnswerParseError(TParser& parser, const CLI::ParseError& error, int argc, const char* const* argv,
                     std::ostream& out, std::ostream& err, int width)
{
    if (dynamic_cast<const CLI::CallForHelp*>(&error) != nullptr) {
        out << WrapText(parser.App.help(), width);
        return kExitSuccess;
    }
    if (dynamic_cast<const CLI::CallForVersion*>(&error) != nullptr)
        return parser.App.exit(error, out, err) == 0 ? kExitSuccess : kExitUsage;
    const CLI::App* command = CommandNamed(parser, argv[1]);
    const std::string helpFor = command != nullptr ? " " + std::string(argv[1]) : std::string();
    if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr && command != nullptr)
        if (const std::string unknown = FirstUnknownOption(*command, argc, argv); !unknown.empty())
            return UnknownOption(unknown, *command, helpFor, err);
    err << kProgram << helpFor << ": " << error.what() << "\nRun \"norrvik-cli help" << helpFor
        << "\" for its arguments.\n";
    return kExitUsage;
}

// Runs a command; an exception it raises is printed on `err` and ends it
// with the failure status.
int RunReportingErrors(TCommand& command, const TCommandContext& context)
{
    try {
        return command.Run(context);
    } catch (const std::exception& error) {
        context.Err << MessageOf(error) << '\n';
    } catch (...) {
        context.Err << "Unknown error\n";
    }
    return kExitFailure;
}

// A failed write to stdout (a full disk, a closed pipe) must not pass for
// success: the status of the command, or the failure status with a message.
int CheckOutputWritten(int status, std::ostream& out, std::ostream& err)
{
    out.flush();
    if (out.good())
        return status;
    err << "Cannot write to standard output: what was printed there is incomplete (a full disk or a closed "
           "pipe). Free space or keep the reader open, and run the command again.\n";
    return status == kExitSuccess ? kExitFailure : status;
}

int ParseAndRun(int argc, const char* const* argv, std::ostream& out, std::ostream& err, const TCliOptions& options)
{
    const int width = HelpWidth(options);
    TParser parser;
    BuildParser(parser, width);
    if (const std::optional<int> answered = AnswerBeforeParsing(parser, argc, argv, out, err, width))
        return *answered;
    try {
        parser.App.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return AnswerParseError(parser, error, argc, argv, out, err, width);
    }
    for (std::size_t i = 0; i < parser.Commands.size(); ++i)
        if (parser.App.get_subcommand(parser.Names[i])->parsed())
            return RunReportingErrors(*parser.Commands[i], {out, err, options});
    return kExitUsage; // the parser requires one command
}

} // namespace

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err, const TCliOptions& options)
{
    return CheckOutputWritten(ParseAndRun(argc, argv, out, err, options), out, err);
}

} // namespace norrvik
