// `verify DB`: checks a Tessaly database without changing it and prints
// each problem, as text or JSON; the exit status tells sound, problems found
// and could not check apart.
#include "cli/Command.h"
#include "cli/CommandSupport.h"
#include "cli/JsonOutput.h"
#include "refdb/DatabaseCheck.h"
#include "refdb/DatabaseLock.h"

#include <CLI/CLI.hpp>

#include <optional>

namespace norrvik {

namespace {

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

void PrintProblems(const std::string& folder, const std::vector<std::string>& problems, bool json,
                   std::ostream& out)
{
    if (json) {
        nlohmann::json list = nlohmann::json::array();
        for (const std::string& problem : problems)
            list.push_back(ProblemJson(problem));
        WriteJson(out, {{"folder", folder}, {"sound", problems.empty()}, {"problems", list}});
        return;
    }
    for (const std::string& problem : problems)
        out << problem << '\n';
    if (problems.empty())
        out << "No problems found.\n";
    else
        out << problems.size() << (problems.size() == 1 ? " problem" : " problems") << " found.\n";
}

class TVerifyCommand : public TCommand {
public:
    std::string_view Name() const override { return "verify"; }
    std::string_view Summary() const override
    {
        return "Check a Tessaly database without changing it; prints each problem";
    }
    std::string_view Example() const override { return "norrvik-cli verify --json ./tessaly-db"; }
    std::string_view ExitStatuses() const override
    {
        return "0: sound\n1: problems found (\"norrvik-cli rebuild\" mends the indexes, \"norrvik-cli recover\" the "
               "rest)\n2: wrong arguments, or the database could not be checked";
    }

    void DeclareOptions(CLI::App& command) override
    {
        command.add_option("DB", folder_, "Folder of the Tessaly database")->required();
        command.add_flag("--json", json_, "Print the problems as JSON");
    }

    int Run(const TCommandContext& context) override
    {
        std::vector<std::string> problems;
        try {
            RefuseFileAsDatabaseFolder(folder_);
            if (ReportFolderMissing(folder_, context.Err))
                return kExitVerifyNotChecked;
            const TDatabaseLock lock = TDatabaseLock::Shared(TTypedFolder(folder_));
            problems = CheckReferenceDatabase(folder_);
        } catch (const std::exception& error) {
            context.Err << MessageOf(error) << '\n';
            return kExitVerifyNotChecked;
        }
        PrintProblems(folder_, problems, json_, context.Out);
        return problems.empty() ? kExitSuccess : kExitFailure;
    }

private:
    std::string folder_;
    bool json_ = false;
};

} // namespace

std::unique_ptr<TCommand> MakeVerifyCommand()
{
    return std::make_unique<TVerifyCommand>();
}

} // namespace norrvik
