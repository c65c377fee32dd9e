// `show`: prints one pattern of a Tessaly database in full (as dump does),
// with the 2θ of each line for a wavelength or anode when one is given, and
// writes its stick-pattern plot as SVG or PNG; `--json` prints the same as
// one JSON document.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <ostream>
#include <string>

namespace norrvik {

struct TShowRequest {
    std::string Folder;
    std::string Code;
    std::optional<std::string> Plot;     // FILE.svg or FILE.png
    std::optional<double> Wavelength;    // Angstrom
    std::optional<std::string> Anode;    // Cu, Co, Mo, Cr, Fe, Ag
    bool Json = false;
};

// Declares the command's options on its parser `app`, filling `request`.
void DeclareShowOptions(CLI::App& app, TShowRequest& request);
int RunShow(const TShowRequest& request, std::ostream& out, std::ostream& err);

} // namespace norrvik
