// Showing one pattern and writing its plot from the command line.
#include "cli/ShowCommand.h"

#include "cli/Cli.h"
#include "cli/Command.h"
#include "cli/CommandSupport.h"
#include "cli/DumpCommand.h"
#include "cli/JsonOutput.h"
#include "common/Exceptions.h"
#include "common/Format.h"
#include "plot/PlotFiles.h"
#include "plot/StickPlot.h"
#include "refdb/IndexSearch.h"

#include <cmath>

namespace norrvik {

namespace {

std::string AnodeList()
{
    std::string list;
    for (const std::string& name : AnodeNames())
        list += (list.empty() ? "" : ", ") + name;
    return list;
}

void PrintTwoTheta(const TStickPattern& pattern, const TPlotAxis& axis, std::ostream& out)
{
    out << Format("  2-theta for %.5f A", *axis.Wavelength)
        << (axis.AnodeName.empty() ? std::string() : " (" + axis.AnodeName + " K-alpha1)") << ":\n";
    out << "           d (A)  2-theta   I (%)\n";
    for (const TStick& stick : pattern.Sticks) {
        const std::optional<double> angle = TwoThetaOf(stick.D, *axis.Wavelength);
        out << Format("      %10.5f ", stick.D) << (angle ? Format("%8.3f", *angle) : std::string("    none"))
            << Format(" %7.1f\n", stick.Intensity);
    }
}

// The pattern as dump --json gives it; with a wavelength, each line's 2θ
// (null where no angle reflects it); the plot file written.
nlohmann::json ShowJson(const TShowRequest& request, const TReferencePattern& pattern, const TStickPattern& sticks,
                        const TPlotAxis& axis)
{
    nlohmann::json shown = {{"database", request.Folder}, {"pattern", PatternJson(pattern)}};
    if (axis.Wavelength) {
        nlohmann::json lines = nlohmann::json::array();
        for (const TStick& stick : sticks.Sticks) {
            const std::optional<double> angle = TwoThetaOf(stick.D, *axis.Wavelength);
            lines.push_back({{"d", stick.D},
                             {"two_theta", angle ? nlohmann::json(*angle) : nlohmann::json()},
                             {"relative_intensity", stick.Intensity}});
        }
        shown["two_theta"] = {{"wavelength", *axis.Wavelength},
                              {"anode", axis.AnodeName.empty() ? nlohmann::json() : nlohmann::json(axis.AnodeName)},
                              {"lines", lines}};
    }
    if (request.Plot)
        shown["plot"] = *request.Plot;
    return shown;
}

// The x axis the request asks for; an unknown anode or a wavelength that
// is no positive number is a usage error (nothing then).
std::optional<TPlotAxis> AxisOf(const TShowRequest& request, std::ostream& err)
{
    TPlotAxis axis;
    if (request.Anode) {
        const std::optional<TPlotAxis> anode = AnodeAxis(*request.Anode);
        if (!anode)
            err << "Unknown anode \"" << *request.Anode << "\": give one of " << AnodeList() << ".\n";
        return anode;
    }
    if (request.Wavelength) {
        if (!(*request.Wavelength > 0) || !std::isfinite(*request.Wavelength)) {
            err << "The wavelength must be a number above 0, in Angstrom (Cu K-alpha1: 1.54056).\n";
            return std::nullopt;
        }
        axis.Wavelength = request.Wavelength;
    }
    return axis;
}

} // namespace

void DeclareShowOptions(CLI::App& app, TShowRequest& request)
{
    CLI::App* command = &app;
    command->add_option("DB", request.Folder, "Folder of the Tessaly database")->required();
    command->add_option("CODE", request.Code, "Reference code of the pattern (00-002-0318 or 000020318)")->required();
    command->add_option("--plot", request.Plot, "Write the stick-pattern plot to FILE.svg or FILE.png");
    CLI::Option* wavelength =
        command->add_option("--wavelength", request.Wavelength, "Plot against 2-theta for this wavelength (Angstrom)");
    command->add_option("--anode", request.Anode, "Plot against 2-theta for this anode's K-alpha1: " + AnodeList())
        ->excludes(wavelength);
    command->add_flag("--json", request.Json, "Print as JSON");
}

int RunShow(const TShowRequest& request, std::ostream& out, std::ostream& err)
{
    if (!IsReferenceCodeForm(request.Code)) {
        err << ReferenceCodeFormMessage(request.Code) << '\n';
        return kExitUsage;
    }
    if (request.Plot && !IsPlotFileName(*request.Plot)) {
        err << PlotFileNameMessage(*request.Plot) << '\n';
        return kExitUsage;
    }
    const std::optional<TPlotAxis> axis = AxisOf(request, err);
    if (!axis)
        return kExitUsage;
    RefuseFileAsDatabaseFolder(request.Folder);
    if (ReportFolderMissing(request.Folder, err))
        return kExitFolderMissing;
    TIndexSearch search(request.Folder);
    const TReferencePattern& pattern = search.FindPattern(request.Code);
    const TStickPattern sticks = StickPatternOf(pattern);
    if (request.Plot)
        WritePlotFile(LayOutStickPlot(sticks, *axis), *request.Plot);
    if (request.Json) {
        WriteJson(out, ShowJson(request, pattern, sticks, *axis));
        return kExitSuccess;
    }
    DumpPattern(pattern, out);
    if (axis->Wavelength)
        PrintTwoTheta(sticks, *axis, out);
    if (request.Plot)
        out << "Plot written to " << *request.Plot << '\n';
    return kExitSuccess;
}

namespace {

class TShowCommand : public TCommand {
public:
    std::string_view Name() const override { return "show"; }
    std::string_view Summary() const override
    {
        return "Print one pattern in full and write its stick-pattern plot (relative intensity against d, or "
               "against 2-theta for a wavelength). Changes nothing in the database";
    }
    std::string_view Example() const override
    {
        return "norrvik-cli show ./tessaly-db 99-000-0001 --anode Cu --plot quartz.svg";
    }
    void DeclareOptions(CLI::App& command) override { DeclareShowOptions(command, request_); }
    int Run(const TCommandContext& context) override { return RunShow(request_, context.Out, context.Err); }

private:
    TShowRequest request_;
};

} // namespace

std::unique_ptr<TCommand> MakeShowCommand()
{
    return std::make_unique<TShowCommand>();
}

} // namespace norrvik
