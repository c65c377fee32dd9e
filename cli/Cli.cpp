// Argument parsing and the commands of norrvik-cli.
#include "cli/Cli.h"

#include "cli/ConvertCommand.h"
#include "cli/DumpCommand.h"
#include "cli/JsonOutput.h"
#include "cli/RecoverCommand.h"
#include "cli/TerminalProgress.h"
#include "common/Files.h"
#include "common/FolderChecks.h"
#include "common/ProgressText.h"
#include "common/Text.h"
#include "common/Version.h"
#include "convert/Formats.h"
#include "refdb/DatabaseCheck.h"
#include "refdb/DatabaseLock.h"
#include "refdb/ReferenceDatabase.h"

#include <CLI/CLI.hpp>

#include <exception>
#include <functional>
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

// A database folder given as a file: the message, or nothing.
std::optional<std::string> DatabaseFolderProblem(const std::string& folder)
{
    if (NamesAFile(folder))
        return NotAFolderMessage(kNewFolderWhat, folder);
    return std::nullopt;
}

// One problem line of the checker ("Name.PDB: entry 3 ...") with its file
// and, where the line starts with one, the record, entry or line it names.
nlohmann::json ProblemJson(const std::string& line)
{
    const std::size_t colon = line.find(": ");
    nlohmann::json problem;
    problem["file"] = colon == std::string::npos ? std::string() : line.substr(0, colon);
    const std::string text = colon == std::string::npos ? line : line.substr(colon + 2);
    problem["text"] = text;
    for (const char* place : {"record", "entry", "line"}) {
        const std::string prefix = std::string(place) + ' ';
        if (text.compare(0, prefix.size(), prefix) != 0)
            continue;
        std::size_t digits = prefix.size();
        while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
            ++digits;
        if (digits > prefix.size())
            problem[place] = std::stoll(text.substr(prefix.size(), digits - prefix.size()));
    }
    return problem;
}

// Exit status 0: sound; 1: problems found; 2: the database could not be checked.
int RunVerify(const std::string& folder, bool json, std::ostream& out, std::ostream& err)
{
    std::vector<std::string> problems;
    try {
        if (std::optional<std::string> problem = DatabaseFolderProblem(folder))
            throw Exception(*problem);
        std::error_code error;
        if (!std::filesystem::is_directory(PathFromText(folder), error))
            throw Exception("Folder " + folder + " doesn't exist.");
        const TDatabaseLock lock = TDatabaseLock::Shared(folder);
        problems = CheckReferenceDatabase(folder);
    } catch (const std::exception& error) {
        err << MessageOf(error) << '\n';
        return kExitVerifyNotChecked;
    }
    if (json) {
        nlohmann::json list = nlohmann::json::array();
        for (const std::string& problem : problems)
            list.push_back(ProblemJson(problem));
        WriteJson(out, {{"folder", folder}, {"sound", problems.empty()}, {"problems", list}});
    } else {
        for (const std::string& problem : problems)
            out << problem << '\n';
        if (problems.empty())
            out << "No problems found.\n";
        else
            out << problems.size() << (problems.size() == 1 ? " problem" : " problems") << " found.\n";
    }
    return problems.empty() ? kExitSuccess : kExitFailure;
}

int RunRebuild(const std::string& folder, std::ostream& out, std::ostream& err, const TCliOptions& options)
{
    if (std::optional<std::string> problem = DatabaseFolderProblem(folder))
        throw Exception(*problem);
    // Index files left half-written would be worse than waiting: Ctrl-C
    // does not stop a rebuild.
    const TDatabaseLock lock = TDatabaseLock::Exclusive(folder);
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

int RunRecoverWithProgress(const std::string& folder, std::ostream& out, std::ostream& err,
                           const TCliOptions& options)
{
    if (std::optional<std::string> problem = DatabaseFolderProblem(folder))
        throw Exception(*problem);
    // As for rebuild, Ctrl-C does not stop the salvage half-way.
    TInterruptGuard interrupt;
    TTerminalProgress progress(err, options.drawProgress);
    const int status = RunRecover(folder, out, progress.Callback());
    progress.Finish();
    return status;
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

} // namespace

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err, const TCliOptions& options)
{
    CLI::App app{"Converts old powder-diffraction reference databases (Quorvane, Kandor, Veltro) into\n"
                 "Tessaly reference databases, and shows and checks Tessaly databases.",
                 "norrvik-cli"};
    app.require_subcommand(1, 1);
    app.set_version_flag("--version", std::string("norrvik-cli ") + kVersion);

    TConvertRequest request;
    CLI::App* convert = app.add_subcommand(
        "convert", "Convert an old database into a Tessaly database: a new one when NEW holds none, "
                   "otherwise the patterns are added to the one in NEW");
    std::vector<std::string> formatNames{"auto"};
    for (const FormatInfo& info : kFormats)
        formatNames.emplace_back(info.cliName);
    convert->add_option("--format", request.format,
                        "Format of the old database; auto (the default) takes the one its files show")
        ->check(CLI::IsMember(formatNames, CLI::ignore_case));
    convert->add_option("OLD", request.oldFolder, "Folder of the old database")->required();
    convert->add_option("NEW", request.newFolder, "Folder of the Tessaly database (created when missing)")->required();
    convert->add_flag("--dry-run", request.dryRun,
                      "Read both databases and print what the conversion would do; write nothing");
    convert->add_flag("--skip-reimport", request.skipReimport,
                      "Refuse, changing nothing, when NEW already holds patterns imported from OLD");
    convert->add_flag("--json", request.json, "Print the summary as JSON");
    AddCarryOverOptions(*convert, request);

    std::string detectFolder;
    bool json = false;
    CLI::App* detect = app.add_subcommand("detect", "Tell which old database format a folder holds");
    detect->add_option("OLD", detectFolder, "Folder of the old database")->required();
    detect->add_flag("--json", json, "Print as JSON");

    std::string databaseFolder;
    std::optional<std::string> code;
    CLI::App* dump = app.add_subcommand("dump", "Print a Tessaly database: header, patterns, lines and texts");
    dump->add_option("DB", databaseFolder, "Folder of the Tessaly database")->required();
    dump->add_option("--code", code, "Print only the pattern with this reference code (00-002-0318 or 000020318)");
    dump->add_flag("--json", json, "Print as JSON");

    CLI::App* verify = app.add_subcommand(
        "verify", "Check a Tessaly database without changing it; prints each problem. Exit status 0: sound, "
                  "1: problems found, 2: could not check");
    verify->add_option("DB", databaseFolder, "Folder of the Tessaly database")->required();
    verify->add_flag("--json", json, "Print the problems as JSON");

    CLI::App* rebuild = app.add_subcommand("rebuild", "Rewrite every index file of a Tessaly database from its patterns");
    rebuild->add_option("DB", databaseFolder, "Folder of the Tessaly database")->required();

    CLI::App* recover = app.add_subcommand(
        "recover", "Salvage a damaged Tessaly database: keep every whole pattern with its own text lines, rebuild the "
                   "rest; the replaced files are copied into recover-backup-<time> inside DB first");
    recover->add_option("DB", databaseFolder, "Folder of the Tessaly database")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error, out, err);
        return CheckOutputWritten(status == 0 ? kExitSuccess : kExitUsage, out, err);
    }

    const int status = RunReportingErrors(err, [&]() -> int {
        if (convert->parsed())
            return RunConvert(request, out, err, options);
        if (detect->parsed())
            return RunDetect(detectFolder, json, out, err);
        if (dump->parsed()) {
            if (code && !IsReferenceCodeForm(*code)) {
                err << ReferenceCodeFormMessage(*code) << '\n';
                return kExitUsage;
            }
            if (std::optional<std::string> problem = DatabaseFolderProblem(databaseFolder))
                throw Exception(*problem);
            DumpDatabase(databaseFolder, code, json, out);
            return kExitSuccess;
        }
        if (verify->parsed())
            return RunVerify(databaseFolder, json, out, err);
        if (recover->parsed())
            return RunRecoverWithProgress(databaseFolder, out, err, options);
        return RunRebuild(databaseFolder, out, err, options);
    });
    return CheckOutputWritten(status, out, err);
}

} // namespace norrvik
