// The Kandor peak list: peak validation and loading from a pattern file.
#include "sources/kandor/KandorPeakList.h"

#include "common/Format.h"

namespace norrvik {

namespace {

constexpr double kMinimumPosition = 0.001;
constexpr double kMaximumPosition = 179.999;

} // namespace

void TKandorPeakList::AddPeak(bool marked, double position, double height, double background,
                              double width, double figure)
{
    // Written so that a value that is not a number fails each test.
    if (!(position >= kMinimumPosition && position <= kMaximumPosition))
        throw EInvalidPeak(Format("The allowed range for the peak position is <%5.3f-%5.3f>.",
                                  kMinimumPosition, kMaximumPosition));
    if (!(height >= 0.0))
        throw EInvalidPeak("The peak height must be >= 0.");
    if (!(background >= 0.0))
        throw EInvalidPeak("The background must be >= 0.");
    TXRDPeakList::AddPeak(marked, position, height, background, width, figure);
}

void TKandorPeakList::LoadFromFile(const std::string& fileName)
{
    TPeakListUpdate update(*this);
    pattern_.LoadFromFile(fileName);
    Clear();
    AddFilePeaks();
    update.Close();
}

void TKandorPeakList::AddFilePeaks()
{
    // The header's peak count bounds the loop (0 or below: no peaks).
    for (int i = 0; i < pattern_.ReadPeakCount(); ++i) {
        const KandorPeak peak = pattern_.GetPeak(i);
        try {
            AddPeak(false, peak.Position, peak.Height, peak.Background, peak.Width, peak.Figure);
        } catch (const EInvalidPeak& refused) {
            throw EInvalidPeak(std::string(refused.what()) + " (" + pattern_.Filename() + ")");
        }
    }
}

} // namespace norrvik
