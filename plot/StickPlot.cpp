// Laying out the stick-pattern plot.
#include "plot/StickPlot.h"

#include "common/Format.h"
#include "common/Text.h"
#include "refdb/ReferencePattern.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace norrvik {

namespace {

struct TAnode {
    std::string_view Name;
    double Wavelength; // K-Alpha1, Angstrom
};
constexpr std::array<TAnode, 6> kAnodes{{{"Cu", 1.54056},
                                        {"Co", 1.78897},
                                        {"Mo", 0.70930},
                                        {"Cr", 2.28970},
                                        {"Fe", 1.93604},
                                        {"Ag", 0.55941}}};

constexpr double kPi = 3.14159265358979323846;

constexpr std::uint32_t kInk = 0x000000;
constexpr std::uint32_t kGrid = 0xC8C8C8;
constexpr std::uint32_t kStick = 0x1F4FB4;
constexpr std::uint32_t kHklInk = 0x505050;

// The picture's frame: where the plot area lies.
struct TFrame {
    double Left, Top, Right, Bottom;
    double XMin, XMax;
    double YMax; // percent at the top of the area (room above 100 for h k l)
    double X(double value) const { return Left + (value - XMin) / (XMax - XMin) * (Right - Left); }
    double Y(double percent) const { return Bottom - percent / YMax * (Bottom - Top); }
};

// A tick step of 1, 2 or 5 times a power of ten giving about `ticks` ticks.
double TickStep(double span, int ticks)
{
    const double raw = span / ticks;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 5.0})
        if (raw <= factor * power)
            return factor * power;
    return 10.0 * power;
}

std::string TickText(double value, double step)
{
    const int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    return Format("%.*f", decimals, value);
}

std::string HklText(const TStick& stick)
{
    return Format("%d %d %d", stick.H, stick.K, stick.L);
}

// The x value of each stick (d or 2θ); sticks without an angle left out.
struct TPlaced {
    double X;
    const TStick* Stick;
};

std::vector<TPlaced> PlaceSticks(const TStickPattern& pattern, const TPlotAxis& axis)
{
    std::vector<TPlaced> placed;
    for (const TStick& stick : pattern.Sticks) {
        if (!axis.Wavelength) {
            placed.push_back({stick.D, &stick});
        } else if (const std::optional<double> angle = TwoThetaOf(stick.D, *axis.Wavelength)) {
            placed.push_back({*angle, &stick});
        }
    }
    return placed;
}

std::string AxisLabel(const TPlotAxis& axis, std::size_t leftOut)
{
    if (!axis.Wavelength)
        return "d (Å)";
    std::string label = Format("2θ (°), λ = %.5f Å", *axis.Wavelength);
    if (!axis.AnodeName.empty())
        label += " (" + axis.AnodeName + " Kα1)";
    if (leftOut > 0)
        label += Format(", %zu %s beyond 180°", leftOut, leftOut == 1 ? "line" : "lines");
    return label;
}

void SetXRange(TFrame& frame, const std::vector<TPlaced>& placed, bool twoTheta)
{
    if (placed.empty()) {
        frame.XMin = twoTheta ? 0 : 1;
        frame.XMax = twoTheta ? 90 : 5;
        return;
    }
    const auto [low, high] = std::minmax_element(placed.begin(), placed.end(),
                                                 [](const TPlaced& a, const TPlaced& b) { return a.X < b.X; });
    const double span = std::max(high->X - low->X, twoTheta ? 10.0 : 0.5);
    frame.XMin = std::max(0.0, low->X - span * 0.06);
    frame.XMax = high->X + span * 0.06;
}

void AddAxes(TPlotPicture& picture, const TFrame& frame, const std::string& xLabel)
{
    picture.Lines.push_back({frame.Left, frame.Bottom, frame.Right, frame.Bottom, 1, kInk});
    picture.Lines.push_back({frame.Left, frame.Top, frame.Left, frame.Bottom, 1, kInk});
    const double step = TickStep(frame.XMax - frame.XMin, 8);
    for (double value = std::ceil(frame.XMin / step) * step; value <= frame.XMax + step * 1e-9; value += step) {
        const double x = frame.X(value);
        picture.Lines.push_back({x, frame.Bottom, x, frame.Bottom + 5, 1, kInk});
        picture.Texts.push_back({x, frame.Bottom + 19, TickText(value, step), 12, TextAnchor::Middle, false, kInk});
    }
    for (int percent = 0; percent <= 100; percent += 20) {
        const double y = frame.Y(percent);
        picture.Lines.push_back({frame.Left - 5, y, frame.Left, y, 1, kInk});
        if (percent > 0)
            picture.Lines.push_back({frame.Left + 1, y, frame.Right, y, 1, kGrid});
        picture.Texts.push_back({frame.Left - 8, y + 4, Format("%d", percent), 12, TextAnchor::End, false, kInk});
    }
    picture.Texts.push_back(
        {(frame.Left + frame.Right) / 2, frame.Bottom + 40, xLabel, 12, TextAnchor::Middle, false, kInk});
    picture.Texts.push_back({frame.Left - 40, (frame.Top + frame.Bottom) / 2, "Relative intensity (%)", 12,
                             TextAnchor::Middle, true, kInk});
}

} // namespace

TStickPattern StickPatternOf(const TReferencePattern& pattern)
{
    TStickPattern sticks;
    sticks.Title = Windows1252ToUtf8(pattern.GetReferenceCode());
    if (pattern.GetNameCount() > 0)
        sticks.Title += "  " + Windows1252ToUtf8(pattern.GetNameAt(0).Text);
    for (int i = 0; i < pattern.GetLineCount(); ++i) {
        TStick stick;
        stick.D = pattern.GetD(i);
        stick.Intensity = pattern.GetRelativeIntensity(i);
        stick.H = pattern.GetH(i);
        stick.K = pattern.GetK(i);
        stick.L = pattern.GetL(i);
        const bool unknown =
            stick.H == kUnknownMillerIndex || stick.K == kUnknownMillerIndex || stick.L == kUnknownMillerIndex;
        stick.HasHkl = !unknown && (stick.H != 0 || stick.K != 0 || stick.L != 0);
        sticks.Sticks.push_back(stick);
    }
    return sticks;
}

std::optional<TPlotAxis> AnodeAxis(std::string_view anode)
{
    for (const TAnode& known : kAnodes)
        if (SameTextAscii(known.Name, anode))
            return TPlotAxis{known.Wavelength, std::string(known.Name)};
    return std::nullopt;
}

std::vector<std::string> AnodeNames()
{
    std::vector<std::string> names;
    for (const TAnode& known : kAnodes)
        names.emplace_back(known.Name);
    return names;
}

std::optional<double> TwoThetaOf(double d, double wavelength)
{
    if (!(d > 0))
        return std::nullopt;
    const double sine = wavelength / (2.0 * d);
    if (!(sine <= 1.0))
        return std::nullopt;
    return 2.0 * std::asin(sine) * 180.0 / kPi;
}

TPlotPicture LayOutStickPlot(const TStickPattern& pattern, const TPlotAxis& axis, int width, int height)
{
    TPlotPicture picture;
    picture.Width = std::max(width, 200);
    picture.Height = std::max(height, 150);
    TFrame frame{70, 40, picture.Width - 20.0, picture.Height - 55.0, 0, 1, 125};
    const std::vector<TPlaced> placed = PlaceSticks(pattern, axis);
    SetXRange(frame, placed, axis.Wavelength.has_value());
    AddAxes(picture, frame, AxisLabel(axis, pattern.Sticks.size() - placed.size()));
    picture.Texts.push_back({picture.Width / 2.0, 24, pattern.Title, 16, TextAnchor::Middle, false, kInk});
    if (placed.empty())
        picture.Texts.push_back({(frame.Left + frame.Right) / 2, (frame.Top + frame.Bottom) / 2,
                                 "No diffraction lines", 12, TextAnchor::Middle, false, kInk});
    for (const TPlaced& item : placed) {
        const double x = frame.X(item.X);
        const double top = frame.Y(std::clamp(item.Stick->Intensity, 0.0, 100.0));
        picture.Lines.push_back({x, frame.Bottom, x, top, 2, kStick});
        if (item.Stick->HasHkl)
            picture.Texts.push_back({x + 4, top - 4, HklText(*item.Stick), 10, TextAnchor::Start, true, kHklInk});
    }
    return picture;
}

} // namespace norrvik
