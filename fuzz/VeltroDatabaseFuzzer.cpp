// Fuzz target: a Veltro user database (uplog.pdf and the pattern files,
// split from one input), every entry delivered with its lines.
#include "FuzzFiles.h"

#include "sources/veltro/VeltroUserDB.h"

using namespace norrvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return fuzz::RunGuarded([&] {
        const auto folder = fuzz::ScratchFolder::WithFiles("veltro", fuzz::SplitFuzzInput(data, size));
        TVeltroUserDB database;
        database.SetDBName(folder.string());
        TVeltroReferencePattern entry;
        for (std::int32_t i = 0; i < database.EntryCount(); ++i) {
            database.GetEntry(i, entry);
            fuzz::Require(entry.LineCount >= 0 && static_cast<std::size_t>(entry.LineCount) <= entry.Lines.size(),
                          "Veltro line count beyond its lines");
            for (std::int32_t j = 0; j < entry.LineCount; ++j)
                fuzz::Require(entry.Lines[static_cast<std::size_t>(j)].Intensity >= 1.0,
                              "Veltro intensity below 1 percent");
        }
    });
}
