// The window program's command line, read before the toolkit starts (so
// that --help and --version need no display): the format and the two
// folders that fill the window, --help, --version, and the toolkit's own
// options passed on to it; anything else is refused.
#pragma once

#include <string>
#include <vector>

namespace norrvik {

struct WindowArguments {
    enum class Action { OpenWindow, ShowHelp, ShowVersion, Refuse };
    Action action = Action::OpenWindow;
    std::string refusal; // why the arguments are refused
    int formatIndex = -1; // position in kFormats; -1 when not given
    std::vector<std::string> folders; // the old folder, then the new one
    // The program name and the toolkit's own options, for the toolkit.
    std::vector<std::string> toolkitArguments;
};

WindowArguments ParseWindowArguments(const std::vector<std::string>& arguments);

// The text --help prints.
std::string WindowUsageText();

} // namespace norrvik
