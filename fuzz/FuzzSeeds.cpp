// Writes the seed corpora of the fuzz targets: valid databases of every
// format, built with the test-support writers and packed one folder per
// input, so that fuzzing starts deep inside each format.
//
//   norrvik_fuzz_seeds OUTPUT_FOLDER
// writes OUTPUT_FOLDER/<target>/seed-<n> for every target.
#include "FuzzFiles.h"

#include "refdb/ReferenceDatabase.h"
#include "refdb/ReferencePattern.h"
#include "support/KandorWriter.h"
#include "support/QuorvaneWriter.h"
#include "support/VeltroWriter.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace norrvik;
using namespace norrvik::test;
namespace fs = std::filesystem;

namespace {

class SeedWriter {
public:
    explicit SeedWriter(fs::path output) : output_(std::move(output)) {}

    void Write(const std::string& target, const std::vector<std::uint8_t>& input)
    {
        const fs::path folder = output_ / target;
        fs::create_directories(folder);
        const fs::path path = folder / ("seed-" + std::to_string(++count_));
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size()));
    }

    // The files of `folder` packed into one input, for each of `targets`.
    void WriteFolder(const std::vector<std::string>& targets, const fs::path& folder)
    {
        const auto input = fuzz::PackFuzzFiles(fuzz::ReadFolderFiles(folder));
        for (const std::string& target : targets)
            Write(target, input);
    }

private:
    fs::path output_;
    int count_ = 0;
};

fs::path Scratch(const std::string& name)
{
    return fuzz::ScratchFolder::Fresh("seeds-" + name);
}

void KandorSeeds(SeedWriter& seeds)
{
    KandorHeader peakList;
    const std::vector<KandorPeakWords> peaks = {KandorPeakAt(26.64, 900, 25), KandorPeakAt(20.86, 225, 16),
                                                KandorPeakAt(50.14, 144, 9), KandorPeakAt(36.54, 81, 4)};
    seeds.Write("fuzz_kandor_pattern", KandorPeakListFile(peakList, peaks));
    KandorHeader scan;
    scan.Revision = "V4";
    scan.FileType = "RD";
    scan.StepDouble = 0.05;
    scan.StartDouble = 10.0;
    scan.EndDouble = 60.0;
    scan.StepWord = 10;
    scan.StartWord = 2000;
    scan.EndWord = 12000;
    seeds.Write("fuzz_kandor_pattern", KandorScanFile(scan, 200));
    KandorHeader extended = scan;
    extended.Revision = "V5";
    extended.Extended = true;
    seeds.Write("fuzz_kandor_pattern", KandorScanFile(extended, 40));
    KandorHeader old = peakList;
    old.Revision = "D3";
    old.HalfStep = 1;
    seeds.Write("fuzz_kandor_pattern", KandorPeakListFile(old, {peaks[0]}));

    const fs::path folder = Scratch("kandor");
    std::vector<KandorEntryData> entries(3);
    entries[0].Entry = {"QUARTZ", "quartz", "Si O2"};
    entries[0].Peaks = peaks;
    entries[1].Entry = {"HEMATITE", "hematite", "Fe2 O3"};
    entries[1].Peaks = {peaks[1], peaks[2]};
    entries[1].Extension = ".rp";
    entries[2].Entry = {"NOFILE", "no pattern file", "H2 O"};
    entries[2].WritePatternFile = false;
    WriteKandorDatabase(folder, entries);
    seeds.WriteFolder({"fuzz_kandor_database", "fuzz_convert_kandor"}, folder);
}

void QuorvaneSeeds(SeedWriter& seeds)
{
    QuorvaneDatabase user;
    QuorvanePattern quartz;
    quartz.PatternNumber = "00-0001";
    quartz.Names = QuorvaneNames({{'M', "quartz"}, {'C', "silicon oxide"}});
    quartz.Formula = "Si O2~";
    quartz.SubfileBits = 0x0E;
    quartz.Lines = {{3.343, 100}, {4.257, 22}, {1.818, 14}, {2.457, 8}};
    QuorvanePattern empty;
    empty.Present = false;
    QuorvanePattern deleted = quartz;
    deleted.PatternNumber = "00-0002";
    deleted.Names = QuorvaneNames({{'X', "odd tag"}, {'N', "calcite"}});
    deleted.Formula = "Ca C O3";
    deleted.Deleted = true;
    user.Patterns = {quartz, empty, deleted};
    const fs::path userFolder = Scratch("quorvane-user");
    WriteQuorvaneDatabase(userFolder, user);
    seeds.WriteFolder({"fuzz_quorvane_database", "fuzz_convert_quorvane"}, userFolder);

    QuorvaneDatabase reference = user;
    reference.ReferenceDatabase = true;
    reference.Patterns[0].PatternNumber = "05-0490";
    reference.Patterns[2].PatternNumber = "75-1234";
    reference.SetTable = QuorvaneSetTable{3, {1, 2, 3, 4}, std::nullopt};
    const fs::path referenceFolder = Scratch("quorvane-reference");
    WriteQuorvaneDatabase(referenceFolder, reference);
    seeds.WriteFolder({"fuzz_quorvane_database", "fuzz_convert_quorvane"}, referenceFolder);
}

void VeltroSeeds(SeedWriter& seeds)
{
    const std::vector<VeltroLogEntry> log = {
        {"[USER.DB]quartz", VeltroFormula({Element("Si"), Element("O"), "2"}), "quartz", 1, 2},
        {"GYPSUM", VeltroFormula({Element("Ca"), Group("SO4"), " .5", Group("H2O")}), "gypsum", 3, 4},
        {"MISSING", VeltroFormula({Element("Fe")}), "no pattern file", 5, 6}};
    const std::vector<VeltroLineEntry> lines = {{4000, 300, 20}, {-5330, 200, 10}, {6000, 90, 30}};
    for (const VeltroBlockEnds ends : {VeltroBlockEnds::None, VeltroBlockEnds::LineFeed,
                                       VeltroBlockEnds::CarriageReturnLineFeed}) {
        const fs::path folder = Scratch("veltro");
        WriteVeltroFile(folder, "uplog.pdf", VeltroLogBytes(log), ends);
        WriteVeltroFile(folder, "QUARTZ.di", VeltroPatternBytes(1.5406, lines), ends);
        WriteVeltroFile(folder, "GYPSUM.di", VeltroPatternBytes(1.5406, {lines[0]}), ends);
        seeds.WriteFolder({"fuzz_veltro_database", "fuzz_convert_veltro"}, folder);
    }
}

TReferencePattern TargetPattern(int n)
{
    TReferencePattern pattern;
    if (n == 2)
        pattern.SetReferenceCode("00-002-0318");
    pattern.SetFormulaLine(n == 1 ? "Si O2" : "Fe2 O3");
    pattern.SetMineralName(n == 1 ? "quartz" : "hematite");
    pattern.AddName("silica", kCompoundNameType);
    pattern.AddTextLine(TextList::Comments, "Imported from /old/db");
    pattern.AddTextLine(TextList::CodedComments, std::string("red") + std::string(64, ' ') + "CL");
    pattern.AddTextLine(TextList::References, "JACS  12   345  1990 Smith, J.");
    pattern.AddLine(3.34f, 100, 1, 0, 1);
    pattern.AddLine(4.26f, 22, 1, 0, 0);
    return pattern;
}

void TargetSeeds(SeedWriter& seeds)
{
    const fs::path empty = Scratch("target-empty");
    TReferenceDatabase::CreateDatabase(empty.string(), "PDF2")->Close();
    seeds.WriteFolder({"fuzz_target_database"}, empty);

    const fs::path filled = Scratch("target-filled");
    {
        auto database = TReferenceDatabase::CreateDatabase(filled.string(), "PDF2");
        for (int n = 1; n <= 2; ++n) {
            TReferencePattern pattern = TargetPattern(n);
            database->AddPattern(pattern);
        }
        database->Close();
    }
    std::ofstream(filled / "Codes.PDB", std::ios::binary) << "JACS=J. Am. Chem. Soc.\r\n";
    seeds.WriteFolder({"fuzz_target_database"}, filled);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    try {
        SeedWriter seeds(argv[1]);
        KandorSeeds(seeds);
        QuorvaneSeeds(seeds);
        VeltroSeeds(seeds);
        TargetSeeds(seeds);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "norrvik_fuzz_seeds: %s\n", error.what());
        return 1;
    }
    return 0;
}
