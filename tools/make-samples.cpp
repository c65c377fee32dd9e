// Writes the bundled sample databases of the three old formats into
// <folder>/quorvane, <folder>/kandor and <folder>/veltro, and a PDF1
// reference database in the Quorvane layout into <folder>/quorvane-pdf1, for
// `./run --demo` and the command-line tests. Each holds a few well-known substances with
// their d-spacings (Angstrom) and relative intensities (percent) from
// standard powder patterns; the Kandor and Veltro files store diffraction
// angles, computed here for Cu K-alpha1 radiation.
//
// Usage: norrvik_make_samples <folder>
#include "support/KandorWriter.h"
#include "support/QuorvaneWriter.h"
#include "support/VeltroWriter.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace {

using namespace norrvik::test;

constexpr double kCuKAlpha1 = 1.54056; // Angstrom
constexpr double kPi = 3.14159265358979323846;

struct Peak {
    double D;         // Angstrom
    double Intensity; // percent of the strongest line
};

struct Substance {
    std::string FileName; // base name of Kandor and Veltro pattern files
    std::string Name;
    std::string Formula;
    bool Mineral;
    std::vector<Peak> Peaks;
};

// Standard patterns (strongest lines, d >= 1.1 A).
const Substance kQuartz{"QUARTZ", "Quartz", "Si O2", true,
                        {{4.2550, 22}, {3.3435, 100}, {2.4569, 8}, {2.2815, 8}, {2.2361, 4}, {2.1277, 6},
                         {1.9799, 4}, {1.8180, 14}, {1.6717, 4}, {1.5415, 9}, {1.3820, 6}, {1.3753, 7},
                         {1.3719, 8}}};
const Substance kCorundum{"CORUNDUM", "Corundum", "Al2 O3", true,
                          {{3.4797, 45}, {2.5508, 100}, {2.3795, 21}, {2.0853, 66}, {1.7400, 34}, {1.6016, 89},
                           {1.5109, 14}, {1.4045, 23}, {1.3738, 27}, {1.2390, 29}, {1.2343, 12}, {1.1898, 8}}};
const Substance kHalite{"HALITE", "Halite", "Na Cl", true,
                        {{3.2600, 13}, {2.8210, 100}, {1.9940, 55}, {1.7010, 2}, {1.6280, 15}, {1.4100, 6},
                         {1.2940, 1}, {1.2610, 11}, {1.1515, 7}}};
const Substance kCalcite{"CALCITE", "Calcite", "Ca C O3", true,
                         {{3.8600, 12}, {3.0350, 100}, {2.8450, 3}, {2.4950, 14}, {2.2850, 18}, {2.0950, 18},
                          {1.9270, 5}, {1.9130, 17}, {1.8750, 17}, {1.6260, 4}, {1.6040, 8}, {1.5250, 5},
                          {1.5180, 4}}};
const Substance kSilicon{"SILICON", "Silicon", "Si", false,
                         {{3.1355, 100}, {1.9201, 55}, {1.6375, 30}, {1.3577, 6}, {1.2459, 11}, {1.1086, 12}}};
const Substance kPericlase{"PERICLAS", "Periclase", "Mg O", true,
                           {{2.4310, 10}, {2.1060, 100}, {1.4890, 52}, {1.2700, 4}, {1.2160, 12}}};
const Substance kRutile{"RUTILE", "Rutile", "Ti O2", true,
                        {{3.2470, 100}, {2.4870, 50}, {2.2970, 8}, {2.1880, 25}, {2.0540, 10}, {1.6874, 60},
                         {1.6237, 20}, {1.4797, 10}, {1.4528, 10}, {1.3598, 20}}};
const Substance kFluorite{"FLUORITE", "Fluorite", "Ca F2", true,
                          {{3.1546, 92}, {1.9316, 100}, {1.6471, 35}, {1.3658, 12}, {1.2533, 10}, {1.1151, 16}}};
const Substance kZincite{"ZINCITE", "Zincite", "Zn O", true,
                         {{2.8143, 57}, {2.6033, 44}, {2.4759, 100}, {1.9111, 23}, {1.6247, 32}, {1.4771, 29},
                          {1.4072, 4}, {1.3782, 23}, {1.3583, 11}}};

double TwoThetaDegrees(double d)
{
    return 2.0 * std::asin(kCuKAlpha1 / (2.0 * d)) * 180.0 / kPi;
}

// A Quorvane pattern of `substance`: source subfile bit 1 is "inorganic",
// bit 3 "mineral".
QuorvanePattern QuorvanePatternOf(const Substance& substance, const std::string& number)
{
    std::vector<QuorvaneLine> lines;
    for (const Peak& peak : substance.Peaks)
        lines.push_back({peak.D, static_cast<std::int16_t>(std::lround(peak.Intensity))});
    QuorvanePattern pattern = MakeQuorvanePattern(
        number, QuorvaneNames({{substance.Mineral ? 'M' : 'C', substance.Name}}), substance.Formula,
        std::move(lines));
    pattern.SubfileBits = (1u << 1) | (substance.Mineral ? (1u << 3) : 0u);
    return pattern;
}

// Quorvane user database: the user's own numbers 99-0001, 99-0002, ...
void WriteQuorvaneSample(const std::filesystem::path& folder)
{
    QuorvaneDatabase database;
    int serial = 1;
    for (const Substance* substance : {&kQuartz, &kCorundum, &kHalite, &kCalcite, &kSilicon}) {
        const std::string number = "99-" + std::string(4 - std::to_string(serial).size(), '0') +
                                   std::to_string(serial);
        database.Patterns.push_back(QuorvanePatternOf(*substance, number));
        ++serial;
    }
    WriteQuorvaneDatabase(folder, database);
}

// PDF1 reference database in the Quorvane layout: the patterns keep their
// pattern numbers (set "-" serial), which become reference codes; sets from
// 70 on get the group "01". The set table (QUORVANE.ILS) counts the patterns
// of each set.
void WritePdf1Sample(const std::filesystem::path& folder)
{
    struct Pdf1Pattern {
        const Substance* Substance;
        std::string Number;
    };
    const std::vector<Pdf1Pattern> patterns{
        {&kHalite, "05-0628"},   {&kSilicon, "27-1402"}, {&kRutile, "21-1276"},
        {&kFluorite, "35-0816"}, {&kZincite, "36-1451"}, {&kCalcite, "72-1652"},
    };
    QuorvaneDatabase database;
    database.ReferenceDatabase = true;
    QuorvaneSetTable setTable;
    setTable.SetValue = 72;
    setTable.Entries.assign(72, 0);
    for (const Pdf1Pattern& item : patterns) {
        database.Patterns.push_back(QuorvanePatternOf(*item.Substance, item.Number));
        ++setTable.Entries[static_cast<std::size_t>(std::stoi(item.Number.substr(0, 2)) - 1)];
    }
    database.SetTable = setTable;
    WriteQuorvaneDatabase(folder, database);
}

// Kandor: peak positions in 1/200 degree 2-theta, heights as counts.
void WriteKandorSample(const std::filesystem::path& folder)
{
    std::vector<KandorEntryData> entries;
    for (const Substance* substance : {&kHalite, &kSilicon, &kPericlase, &kRutile, &kFluorite}) {
        KandorEntryData data;
        data.Entry = {substance->FileName, substance->Name, substance->Formula};
        data.Header.WavelengthAlpha1 = kCuKAlpha1;
        // Ascending 2-theta, as a peak search lists them.
        for (auto peak = substance->Peaks.begin(); peak != substance->Peaks.end(); ++peak)
            data.Peaks.push_back(KandorPeakAt(TwoThetaDegrees(peak->D), peak->Intensity * 1000.0));
        entries.push_back(std::move(data));
    }
    WriteKandorDatabase(folder, entries);
}

// Veltro: 2-theta codes of 0.005 degree; intensity = p^2 / 100.
void WriteVeltroSample(const std::filesystem::path& folder)
{
    struct VeltroSubstance {
        const Substance* Substance;
        std::vector<std::uint8_t> Formula;
    };
    const std::vector<VeltroSubstance> substances{
        {&kQuartz, VeltroFormula({Element("Si"), Element("O"), "2"})},
        {&kCalcite, VeltroFormula({Element("Ca"), Group("CO3")})},
        {&kZincite, VeltroFormula({Element("Zn"), Element("O")})},
        {&kRutile, VeltroFormula({Element("Ti"), Element("O"), "2"})},
        {&kCorundum, VeltroFormula({Element("Al"), "2", Element("O"), "3"})},
    };
    std::vector<VeltroLogEntry> log;
    for (const VeltroSubstance& item : substances) {
        std::string lowerName = item.Substance->FileName;
        for (char& c : lowerName)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        VeltroLogEntry entry;
        entry.PatternFile = "[USER.DB]" + lowerName;
        entry.Formula = item.Formula;
        entry.Name = item.Substance->Name;
        log.push_back(entry);

        std::vector<VeltroLineEntry> lines;
        for (const Peak& peak : item.Substance->Peaks)
            lines.push_back({static_cast<std::int16_t>(std::lround(TwoThetaDegrees(peak.D) / 0.005)),
                             static_cast<std::int16_t>(std::lround(100.0 * std::sqrt(peak.Intensity))), 0});
        WriteVeltroFile(folder, item.Substance->FileName + ".di", VeltroPatternBytes(kCuKAlpha1, lines),
                        VeltroBlockEnds::CarriageReturnLineFeed);
    }
    WriteVeltroFile(folder, "uplog.pdf", VeltroLogBytes(log), VeltroBlockEnds::CarriageReturnLineFeed);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "Usage: norrvik_make_samples <folder>\n";
        return 2;
    }
    try {
        const std::filesystem::path root = argv[1];
        for (const char* format : {"quorvane", "quorvane-pdf1", "kandor", "veltro"})
            std::filesystem::remove_all(root / format);
        WriteQuorvaneSample(root / "quorvane");
        WritePdf1Sample(root / "quorvane-pdf1");
        WriteKandorSample(root / "kandor");
        WriteVeltroSample(root / "veltro");
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
    return 0;
}
