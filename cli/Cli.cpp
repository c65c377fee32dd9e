// Argument parsing and the commands of norrvik-cli.
#include "cli/Cli.h"

#include "cli/DumpCommand.h"
#include "cli/TerminalProgress.h"
#include "common/FolderChecks.h"
#include "common/ProgressText.h"
#include "common/Text.h"
#include "refdb/DatabaseCheck.h"
#include "refdb/ReferenceDatabase.h"

#include <CLI/CLI.hpp>

#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace norrvik {

namespace {

// An exception's message as the user sees it; never empty.
std::string MessageOf(const std::exception& error)
{
    const std::string message = error.what();
    return message.empty() ? "Unknown error" : message;
}

// Runs a command; an exception it raises is printed on `err` and ends it
// with the failure status.
int RunReportingErrors(std::ostream& err, const std::function<int()>& command)
{
    try {
        return command();
    } catch (const std::exception& error) {
        err << MessageOf(error) << '\n';
    } catch (...) {
        err << "Unknown error\n";
    }
    return kExitFailure;
}

// The driver of a format name (any letter case); nullptr for an unknown one.
const ConversionDriver* DriverFor(const std::string& format, const TConversionDrivers& drivers)
{
    const std::string name = LowerCaseAscii(format);
    if (name == "quorvane")
        return &drivers.quorvane;
    if (name == "kandor")
        return &drivers.kandor;
    if (name == "veltro")
        return &drivers.veltro;
    return nullptr;
}

int RunConvert(const std::string& format, const std::string& oldFolder, const std::string& newFolder,
               std::ostream& out, std::ostream& err, const TCliOptions& options)
{
    // The same checks as the window's, before anything is created.
    if (!OldFolderExists(oldFolder)) {
        err << OldFolderMissingMessage(oldFolder) << '\n';
        return kExitFailure;
    }
    if (TargetFolderBlank(newFolder)) {
        err << kEmptyTargetMessage << '\n';
        return kExitFailure;
    }
    const ConversionDriver* driver = DriverFor(format, options.drivers);
    if (driver == nullptr || !*driver) {
        err << "Conversion failed\n";
        return kExitFailure;
    }

    TInterruptGuard interrupt;
    TTerminalProgress progress(err, options.drawProgress);
    ConversionSummary summary;
    bool success = false;
    try {
        (*driver)(oldFolder, newFolder, success, progress.Callback(), &summary);
        progress.Finish();
    } catch (const ConversionCancelled& cancelled) {
        progress.Finish();
        err << cancelled.what() << '\n';
        return kExitCancelled;
    } catch (...) {
        progress.Finish();
        throw;
    }
    if (!success) {
        err << "Conversion failed\n";
        return kExitFailure;
    }
    out << ConversionResultText(summary.added, summary.skipped, summary.targetPatternCount) << '\n';
    return kExitSuccess;
}

int RunVerify(const std::string& folder, std::ostream& out)
{
    const std::vector<std::string> problems = CheckReferenceDatabase(folder);
    for (const std::string& problem : problems)
        out << problem << '\n';
    if (problems.empty()) {
        out << "No problems found.\n";
        return kExitSuccess;
    }
    out << problems.size() << (problems.size() == 1 ? " problem" : " problems") << " found.\n";
    return kExitFailure;
}

int RunRebuild(const std::string& folder, std::ostream& out, std::ostream& err, const TCliOptions& options)
{
    // Index files left half-written would be worse than waiting: Ctrl-C
    // does not stop a rebuild.
    TInterruptGuard interrupt;
    TTerminalProgress progress(err, options.drawProgress);
    TReferenceDatabase database;
    database.SetDatabaseName(folder);
    // The old index files need not be readable: they are all written anew.
    database.OpenForIndexRebuild();
    const std::int32_t count = database.PatternCount();
    database.SetProgressCallback(progress.Callback());
    database.RebuildIndexes();
    // Closed here, not by the destructor, so that a failure to write is seen.
    database.Close();
    progress.Finish();
    out << "Rebuilt the indexes of " << count << (count == 1 ? " pattern.\n" : " patterns.\n");
    return kExitSuccess;
}

} // namespace

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err, const TCliOptions& options)
{
    CLI::App app{"Converts old powder-diffraction reference databases (Quorvane, Kandor, Veltro) into\n"
                 "Tessaly reference databases, and shows and checks Tessaly databases.",
                 "norrvik-cli"};
    app.require_subcommand(1, 1);

    std::string format;
    std::string oldFolder;
    std::string newFolder;
    CLI::App* convert = app.add_subcommand(
        "convert", "Convert an old database into a Tessaly database: a new one when NEW holds none, "
                   "otherwise the patterns are added to the one in NEW");
    convert->add_option("--format", format, "Format of the old database")
        ->required()
        ->check(CLI::IsMember({"quorvane", "kandor", "veltro"}, CLI::ignore_case));
    convert->add_option("OLD", oldFolder, "Folder of the old database")->required();
    convert->add_option("NEW", newFolder, "Folder of the Tessaly database (created when missing)")->required();

    std::string databaseFolder;
    std::optional<std::string> code;
    CLI::App* dump = app.add_subcommand("dump", "Print a Tessaly database: header, patterns, lines and texts");
    dump->add_option("DB", databaseFolder, "Folder of the Tessaly database")->required();
    dump->add_option("--code", code, "Print only the pattern with this reference code (00-002-0318 or 000020318)");

    CLI::App* verify = app.add_subcommand(
        "verify", "Check a Tessaly database without changing it; prints each problem, exit status 1 if any");
    verify->add_option("DB", databaseFolder, "Folder of the Tessaly database")->required();

    CLI::App* rebuild = app.add_subcommand("rebuild", "Rewrite every index file of a Tessaly database from its patterns");
    rebuild->add_option("DB", databaseFolder, "Folder of the Tessaly database")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error, out, err);
        return status == 0 ? kExitSuccess : kExitUsage;
    }

    return RunReportingErrors(err, [&]() -> int {
        if (convert->parsed())
            return RunConvert(format, oldFolder, newFolder, out, err, options);
        if (dump->parsed()) {
            DumpDatabase(databaseFolder, code, out);
            return kExitSuccess;
        }
        if (verify->parsed())
            return RunVerify(databaseFolder, out);
        return RunRebuild(databaseFolder, out, err, options);
    });
}

} // namespace norrvik
