// The peak list of a Kandor pattern file: the measurement data answered
// straight from the file's header, and peaks that a Kandor peak list cannot
// hold refused.
#pragma once

#include "common/Exceptions.h"
#include "sources/kandor/KandorFiles.h"
#include "sources/kandor/XrdPeakList.h"

#include <string>

namespace norrvik {

// A peak refused by a Kandor peak list (position out of range, negative
// height or background). When it comes from a file being loaded, the
// message ends with " (<file name>)".
class EInvalidPeak : public Exception {
public:
    using Exception::Exception;
};

class TKandorPeakList : public TXRDPeakList {
public:
    TKandorPeakList() = default;

    double EndPosition() const override { return pattern_.EndPosition(); }
    std::string FileName() const override { return pattern_.Filename(); }
    bool FixedSlit() const override { return pattern_.FixedSlit(); }
    double IntensityRatio() const override { return pattern_.IntensityRatio(); }
    double StartPosition() const override { return pattern_.StartPosition(); }
    double WavelengthAlpha1() const override { return pattern_.WavelengthAlpha1(); }
    double WavelengthAlpha2() const override { return pattern_.WavelengthAlpha2(); }

    // Refuses positions outside 0.001 .. 179.999 and negative heights or
    // backgrounds (EInvalidPeak), then adds as the base list does.
    void AddPeak(bool marked, double position, double height, double background, double width,
                 double figure) override;

    // Loads a pattern file and replaces the peaks with its peak records; a
    // file that fails to load leaves the previous peaks in place. Observers
    // hear of the load at most once, whatever happens.
    void LoadFromFile(const std::string& fileName) override;

    const TKandorpattern& Pattern() const { return pattern_; }
    TKandorpattern& Pattern() { return pattern_; }

private:
    void AddFilePeaks();

    TKandorpattern pattern_;
};

} // namespace norrvik
