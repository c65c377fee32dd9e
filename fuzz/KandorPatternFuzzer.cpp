// Fuzz target: one Kandor pattern file (the whole input), loaded and then
// asked every question a reader can ask of it: the header values, every
// typed read at every offset around the header's end, every peak, and the
// peak list built from it with the d-spacing of each peak.
#include "FuzzFiles.h"

#include "sources/kandor/KandorFiles.h"
#include "sources/kandor/KandorPeakList.h"

#include <cmath>
#include <fstream>

using namespace norrvik;

namespace {

void ReadHeaderValues(const TKandorpattern& pattern)
{
    (void)pattern.Revision();
    (void)pattern.WavelengthAlpha1();
    (void)pattern.WavelengthAlpha2();
    (void)pattern.IntensityRatio();
    (void)pattern.HalfStepOffset();
    (void)pattern.FixedSlit();
    (void)pattern.StepSize();
    (void)pattern.StartPosition();
    (void)pattern.EndPosition();
    (void)pattern.ReadPeakCount();
}

// Reads past the header's end must be refused with an error, never served
// from the data after it (or from outside the buffer).
void ReadAroundHeaderLimit(const TKandorpattern& pattern)
{
    const int limit = pattern.HeaderLimit();
    for (int offset = limit - 9; offset <= limit + 1; ++offset) {
        try {
            (void)pattern.ReadDouble(offset);
            fuzz::Require(offset + 8 <= limit, "ReadDouble served bytes past the header");
        } catch (const eKandor&) {
        }
        try {
            (void)pattern.ReadWord(offset);
            fuzz::Require(offset + 2 <= limit, "ReadWord served bytes past the header");
        } catch (const eKandor&) {
        }
        (void)pattern.ReadString(offset, 12);
    }
    (void)pattern.ReadString(-3, 5);
    (void)pattern.ReadString(0, 1 << 30);
}

void ReadEveryPeak(const TKandorpattern& pattern)
{
    if (!pattern.IsPeakList())
        return;
    for (int i = 0; i < pattern.PeakCount(); ++i)
        (void)pattern.GetPeak(i);
}

void LoadAsPeakList(const std::string& path)
{
    TKandorPeakList list;
    list.LoadFromFile(path);
    for (int i = 0; i < list.Count(); ++i) {
        const double position = list.Peaks(i).Position();
        fuzz::Require(position >= 0.001 && position <= 179.999, "peak outside the allowed positions kept");
        (void)list.Peaks(i).DSpacing();
    }
    (void)list.MaxHeight();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto folder = fuzz::ScratchFolder::WithFiles("kandor-pattern", {{"PATTERN.DI", {data, data + size}}});
    const std::string path = (folder / "PATTERN.DI").string();
    fuzz::RunGuarded([&] {
        TKandorpattern pattern;
        pattern.LoadFromFile(path);
        fuzz::Require(pattern.Valid(), "a loaded pattern is not valid");
        ReadHeaderValues(pattern);
        ReadAroundHeaderLimit(pattern);
        ReadEveryPeak(pattern);
    });
    fuzz::RunGuarded([&] { LoadAsPeakList(path); });
    return 0;
}
