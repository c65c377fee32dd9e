// What the three conversion fuzz targets share: the source folder split from
// the input, converted twice into one target (first a new database, then the
// same source added to the existing one), and the target checked after each
// run, failed or not: whatever the source holds, the target must stay a
// sound database.
#pragma once

#include "FuzzFiles.h"

#include "convert/Conversion.h"
#include "refdb/DatabaseCheck.h"
#include "refdb/ReferenceCodes.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace norrvik::fuzz {

using ConversionDriver = void (*)(const std::string&, const std::string&, bool&, const ProgressCallback&,
                                  TConversionSummary*);

inline void RequireSoundTarget(const std::string& target, const char* run)
{
    if (!IsReferenceDatabaseFolder(TTypedFolder(target)))
        return; // the run failed before the database was made
    const auto problems = CheckReferenceDatabase(target);
    if (problems.empty())
        return;
    std::fprintf(stderr, "norrvik fuzz: target database unsound after the %s conversion:\n", run);
    for (const std::string& problem : problems)
        std::fprintf(stderr, "  %s\n", problem.c_str());
    std::abort();
}

inline int FuzzConversion(const std::uint8_t* data, std::size_t size, const std::string& format,
                          ConversionDriver driver)
{
    const auto source = ScratchFolder::WithFiles(format + "-source", SplitFuzzInput(data, size));
    const std::string target = (ScratchFolder::Fresh(format + "-target") / "db").string();
    for (const char* run : {"first", "second"}) {
        bool success = false;
        RunGuarded([&] { driver(source.string(), target, success, {}, nullptr); });
        RequireSoundTarget(target, run);
    }
    return 0;
}

} // namespace norrvik::fuzz
