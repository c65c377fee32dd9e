// `search`: finds patterns of a Tessaly database through its own index
// files: a name, formula, code, author or journal that begins with a text,
// or the patterns whose strongest lines match given d-spacings. Prints each
// found pattern's record, code, match figure, formula and names (or one
// JSON document); only the records of the patterns printed are read.
#pragma once

#include "refdb/IndexSearch.h"

#include <CLI/CLI.hpp>

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace norrvik {

struct TSearchRequest {
    std::string Folder;
    std::optional<std::string> Name, Formula, Code, Author, Journal; // typed, UTF-8
    std::vector<double> Lines;
    double Tolerance = TLinesQuery::kDefaultTolerance;
    std::size_t Limit = 50; // patterns printed; 0 prints all
    bool Json = false;
};

// Declares the command's options on its parser `app`, filling `request`.
void DeclareSearchOptions(CLI::App& app, TSearchRequest& request);
int RunSearch(const TSearchRequest& request, std::ostream& out, std::ostream& err);

} // namespace norrvik
