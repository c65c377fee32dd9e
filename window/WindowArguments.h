// The window program's command line, read before the toolkit starts (so
// that --help and --version need no display): the format and the two
// folders that fill the window, --help, --version, and the toolkit's own
// options passed on to it; anything else is refused.
#pragma once

#include "window/ConversionWindow.h"

#include <optional>
#include <string>
#include <vector>

namespace norrvik {

struct TWindowArguments {
    enum class Action { OpenWindow, ShowHelp, ShowVersion, Refuse };
    Action Requested = Action::OpenWindow;
    std::string Refusal; // why the arguments are refused
    int FormatIndex = -1; // position in kFormats; -1 when not given
    std::vector<std::string> Folders; // the old folder, then the new one
    // The program name and the toolkit's own options, for the toolkit.
    std::vector<std::string> ToolkitArguments;
};

TWindowArguments ParseWindowArguments(const std::vector<std::string>& arguments);

// The text --help prints; `withToolkitOptions` for a window whose toolkit
// reads options of its own (Qt).
std::string WindowUsageText(bool withToolkitOptions = true);

// What the program says without opening a window (--help, --version, a
// refusal), where it goes and the exit status.
struct TWindowAnswer {
    std::string Text;
    bool IsError = false; // for the error stream
    int Status = 0;
};
// Nothing when the window is to open.
std::optional<TWindowAnswer> AnswerWithoutWindow(const TWindowArguments& arguments, bool withToolkitOptions = true);

// The remembered choices, with what the command line gave in their place.
TWindowChoices WithArguments(TWindowChoices choices, const TWindowArguments& arguments);

} // namespace norrvik
