// Reading the window program's command line.
#include "window/WindowArguments.h"

#include "common/Version.h"
#include "convert/FormatDetection.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace norrvik {

namespace {

// Options Qt reads itself (one dash), with and without a value.
constexpr std::array<std::string_view, 14> kToolkitOptionsWithValue{
    "-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-qwindowgeometry", "-qwindowicon",
    "-qwindowtitle", "-session", "-display", "-geometry", "-style", "-stylesheet", "-name", "-title"};
constexpr std::array<std::string_view, 5> kToolkitFlags{"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync"};

template <std::size_t N>
bool Holds(const std::array<std::string_view, N>& options, std::string_view argument)
{
    return std::find(options.begin(), options.end(), argument) != options.end();
}

std::string FormatNames()
{
    std::string names;
    for (std::size_t i = 0; i < kFormats.size(); ++i)
        names += std::string(i == 0 ? "" : i + 1 == kFormats.size() ? " or " : ", ") + std::string(kFormats[i].CliName);
    return names;
}

TWindowArguments Refused(std::string why)
{
    TWindowArguments refused;
    refused.Requested = TWindowArguments::Action::Refuse;
    refused.Refusal = "norrvik: " + why + " Try 'norrvik --help'.";
    return refused;
}

bool ReadFormat(const std::string& name, TWindowArguments& parsed)
{
    const TFormatInfo* format = FormatByCliName(name);
    if (format == nullptr) {
        parsed = Refused("unknown format '" + name + "' (give " + FormatNames() + ").");
        return false;
    }
    parsed.FormatIndex = FormatIndex(*format);
    return true;
}

// Reads the argument at `i` (moving past a value it takes); false after
// setting the refusal.
bool ReadArgument(const std::vector<std::string>& arguments, std::size_t& i, TWindowArguments& parsed)
{
    const std::string& argument = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    if (argument == "--help" || argument == "-h") {
        parsed.Requested = TWindowArguments::Action::ShowHelp;
    } else if (argument == "--version") {
        parsed.Requested = TWindowArguments::Action::ShowVersion;
    } else if (argument.starts_with("--format=")) {
        return ReadFormat(argument.substr(std::string_view("--format=").size()), parsed);
    } else if (argument == "--format" || argument == "-f") {
        if (hasValue)
            return ReadFormat(arguments[++i], parsed);
        parsed = Refused(argument + " needs a format (" + FormatNames() + ").");
        return false;
    } else if (Holds(kToolkitOptionsWithValue, argument) && hasValue) {
        parsed.ToolkitArguments.insert(parsed.ToolkitArguments.end(), {argument, arguments[++i]});
    } else if (Holds(kToolkitFlags, argument)) {
        parsed.ToolkitArguments.push_back(argument);
    } else if (argument.size() > 1 && argument[0] == '-') {
        parsed = Refused("unknown option '" + argument + "'.");
        return false;
    } else {
        parsed.Folders.push_back(argument);
    }
    return true;
}

} // namespace

TWindowArguments ParseWindowArguments(const std::vector<std::string>& arguments)
{
    TWindowArguments parsed;
    parsed.ToolkitArguments.push_back(arguments.empty() ? "norrvik" : arguments[0]);
    bool optionsEnded = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (optionsEnded)
            parsed.Folders.push_back(arguments[i]);
        else if (arguments[i] == "--")
            optionsEnded = true;
        else if (!ReadArgument(arguments, i, parsed))
            return parsed;
    }
    if (parsed.Folders.size() > 2)
        return Refused("too many folders: give the old folder and the new one.");
    return parsed;
}

std::string WindowUsageText(bool withToolkitOptions)
{
    return "Usage: norrvik [OPTION]... [OLD-FOLDER [NEW-FOLDER]]\n"
           "Opens the window that converts an old reference database into an Orvel Tessaly\n"
           "reference database; the format and the folders given fill the window.\n"
           "\n"
           "  -f, --format=FORMAT  the format of the old database: " + FormatNames() + "\n"
           "  -h, --help           show this help and exit\n"
           "      --version        show the version and exit\n"
           "\n" +
           std::string(withToolkitOptions ? "Qt's own options (-platform, -display, -style, ...) are passed on to Qt.\n"
                                          : "") +
           "Conversions without a window: norrvik-cli (see norrvik-cli --help).\n";
}

std::optional<TWindowAnswer> AnswerWithoutWindow(const TWindowArguments& arguments, bool withToolkitOptions)
{
    using Action = TWindowArguments::Action;
    switch (arguments.Requested) {
    case Action::ShowHelp:
        return TWindowAnswer{WindowUsageText(withToolkitOptions), false, 0};
    case Action::ShowVersion:
        return TWindowAnswer{"norrvik " + std::string(kVersion) + "\n", false, 0};
    case Action::Refuse:
        return TWindowAnswer{arguments.Refusal + "\n", true, 2};
    case Action::OpenWindow:
        break;
    }
    return std::nullopt;
}

TWindowChoices WithArguments(TWindowChoices choices, const TWindowArguments& arguments)
{
    if (arguments.FormatIndex >= 0)
        choices.FormatIndex = arguments.FormatIndex;
    if (!arguments.Folders.empty())
        choices.OldFolder = arguments.Folders[0];
    if (arguments.Folders.size() > 1)
        choices.NewFolder = arguments.Folders[1];
    return choices;
}

} // namespace norrvik
