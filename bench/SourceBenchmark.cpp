// Times the Kandor conversion of a user database whose pattern files are not
// found under their exact names (copied from Windows in another letter case,
// or missing), with and without 10,000 other files beside them in the folder:
// the look-up of a pattern file must not cost a listing of the folder per
// entry. Usage: norrvik_bench_sources [entries] [folder] (default 9999
// entries, a folder in the system's temporary directory, removed afterwards).
#include "bench/BenchSupport.h"
#include "convert/Conversion.h"
#include "tests/support/KandorWriter.h"
#include "tests/support/TempFolder.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using norrvik::bench::Clock;
namespace fs = std::filesystem;

constexpr int kOtherFiles = 10000;

enum class PatternFiles { OtherCase, Missing };

std::string BaseName(int entry)
{
    char text[16];
    std::snprintf(text, sizeof text, "p%06d", entry);
    return text;
}

// PDDATABS.DAT with `entries` entries named in lower case; their pattern
// files in upper case, or none; and `others` files that belong to no entry.
void WriteSource(const fs::path& folder, int entries, PatternFiles patterns, int others)
{
    fs::create_directories(folder);
    std::vector<norrvik::test::KandorIndexEntry> index;
    const std::vector<std::uint8_t> peakList = norrvik::test::KandorPeakListFile(
        {}, {norrvik::test::KandorPeakAt(20, 100), norrvik::test::KandorPeakAt(30, 50)});
    for (int i = 0; i < entries; ++i) {
        const std::string base = BaseName(i);
        index.push_back({base, "name " + std::to_string(i), "SiO2"});
        if (patterns == PatternFiles::OtherCase) {
            std::string upper = base;
            for (char& c : upper)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            norrvik::test::WriteFile(folder / (upper + ".DI"), peakList);
        }
    }
    norrvik::test::WriteFile(folder / "PDDATABS.DAT", norrvik::test::KandorIndexFile(index));
    for (int i = 0; i < others; ++i)
        norrvik::test::WriteFile(folder / ("other" + std::to_string(i) + ".txt"), std::string("x"));
}

double ConvertSeconds(const fs::path& source, const fs::path& target)
{
    const auto start = Clock::now();
    bool success = false;
    norrvik::TConversionSummary summary;
    norrvik::ConvertKandorDatabase(source.string(), target.string(), success, {}, &summary);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!success || summary.Added != summary.EntriesTotal) {
        std::fprintf(stderr, "conversion of %s failed\n", source.c_str());
        std::exit(1);
    }
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    const int entries = argc > 1 ? std::atoi(argv[1]) : 9999;
    const fs::path root = argc > 2 ? fs::path(argv[2])
                                   : fs::temp_directory_path() / ("norrvik-bench-sources-" + std::to_string(getpid()));
    std::printf("Kandor conversion of %d entries (seconds)\n", entries);
    std::printf("%-26s %12s %18s %7s\n", "pattern files", "alone", "+10,000 others", "ratio");
    for (const PatternFiles patterns : {PatternFiles::OtherCase, PatternFiles::Missing}) {
        double seconds[2] = {0, 0};
        for (const int others : {0, kOtherFiles}) {
            const fs::path source = root / ("source-" + std::to_string(others));
            WriteSource(source, entries, patterns, others);
            seconds[others == 0 ? 0 : 1] = ConvertSeconds(source, root / ("target-" + std::to_string(others)));
            fs::remove_all(source);
            fs::remove_all(root / ("target-" + std::to_string(others)));
        }
        std::printf("%-26s %12.2f %18.2f %7.2f\n",
                    patterns == PatternFiles::OtherCase ? "in another letter case" : "missing", seconds[0],
                    seconds[1], seconds[1] / seconds[0]);
    }
    if (argc <= 2)
        fs::remove_all(root);
    return 0;
}
