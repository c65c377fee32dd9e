// `detect OLD`: which old database formats a folder holds, told by the files
// present, as text or JSON.
#include "cli/Command.h"
#include "cli/CommandSupport.h"
#include "cli/ConvertCommand.h"
#include "cli/JsonOutput.h"
#include "common/FolderChecks.h"
#include "convert/FormatDetection.h"

#include <CLI/CLI.hpp>

namespace norrvik {

namespace {

void PrintFormats(const std::string& folder, const std::vector<const TFormatInfo*>& found, bool json,
                  std::ostream& out)
{
    if (json) {
        nlohmann::json formats = nlohmann::json::array();
        for (const TFormatInfo* format : found)
            formats.push_back({{"format", format->CliName}, {"label", format->WindowLabel}, {"file", format->MarkerFile}});
        WriteJson(out, {{"folder", folder}, {"formats", formats}});
        return;
    }
    for (const TFormatInfo* format : found)
        out << format->CliName << ": " << format->WindowLabel << " (" << format->MarkerFile << ")\n";
}

// Why the folder does not hold exactly one old database.
std::string NotOneFormatMessage(const std::string& folder, const std::vector<const TFormatInfo*>& found)
{
    return found.empty() ? NoFormatFoundMessage(folder, false) : SeveralFormatsMessage(folder, found, false);
}

class TDetectCommand : public TCommand {
public:
    std::string_view Name() const override { return "detect"; }
    std::string_view Summary() const override { return "Tell which old database format a folder holds"; }
    std::string_view Example() const override { return "norrvik-cli detect --json ./old-db"; }
    std::string_view ExitStatuses() const override
    {
        return "0: one format found\n1: none or more than one\n2: wrong arguments, or OLD does not exist";
    }

    void DeclareOptions(CLI::App& command) override
    {
        command.add_option("OLD", folder_, "Folder of the old database")->required();
        command.add_flag("--json", json_, "Print as JSON");
    }

    int Run(const TCommandContext& context) override
    {
        if (NamesAFile(folder_)) {
            context.Err << NotAFolderMessage(kOldFolderWhat, folder_) << '\n';
            return kExitFailure;
        }
        if (!OldFolderExists(folder_)) {
            context.Err << OldFolderMissingMessage(folder_) << '\n';
            return kExitFolderMissing;
        }
        const std::vector<const TFormatInfo*> found = DetectFormats(folder_);
        PrintFormats(folder_, found, json_, context.Out);
        if (found.size() == 1)
            return kExitSuccess;
        context.Err << NotOneFormatMessage(folder_, found) << '\n';
        return kExitFailure;
    }

private:
    std::string folder_;
    bool json_ = false;
};

} // namespace

std::unique_ptr<TCommand> MakeDetectCommand()
{
    return std::make_unique<TDetectCommand>();
}

} // namespace norrvik
