// Fuzz target: a whole Kandor user database (PDDATABS.DAT and the pattern
// files, split from one input), every entry delivered with its lines.
#include "FuzzFiles.h"

#include "sources/kandor/KandorUserDB.h"

#include <cmath>

using namespace norrvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return fuzz::RunGuarded([&] {
        const auto folder = fuzz::ScratchFolder::WithFiles("kandor", fuzz::SplitFuzzInput(data, size));
        TKandorUserDB database;
        database.SetDBName(folder.string());
        TKandorReferencePattern entry;
        for (int i = 0; i < database.EntryCount(); ++i) {
            database.GetEntry(i, entry);
            fuzz::Require(entry.LineCount >= 0 && entry.LineCount <= TKandorReferencePattern::kMaxLines,
                          "Kandor line count outside 0..255");
            fuzz::Require(entry.Name.size() <= 20 && entry.Formula.size() <= 20 && entry.BaseName.size() <= 8,
                          "Kandor text longer than its field");
            for (int j = 0; j < entry.LineCount; ++j)
                fuzz::Require(entry.Lines[static_cast<std::size_t>(j)].Intensity >= 1.0,
                              "Kandor intensity below 1 percent");
        }
    });
}
