// The stick-pattern plot of a reference pattern, toolkit-free: the pattern's
// lines as sticks of relative intensity against d (Angstrom) or against 2θ
// for a wavelength, laid out as a picture of lines and texts (labelled axes
// with ticks, h k l above each stick that has them, the code and name in the
// title). The picture is drawn by the SVG and PNG writers here and by the
// window's own painting, so that all three look alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norrvik {

class TReferencePattern;

struct TStick {
    double D = 0;         // Angstrom
    double Intensity = 0; // percent of the strongest line
    int H = 0, K = 0, L = 0;
    bool HasHkl = false; // false when h, k and l are all 0 or unknown (not given)
};

struct TStickPattern {
    std::string Title; // UTF-8
    std::vector<TStick> Sticks;
};

// The lines of a pattern and the title "<code>  <first name>" (UTF-8).
TStickPattern StickPatternOf(const TReferencePattern& pattern);


// 2θ in degrees of a d-spacing for a wavelength (both Angstrom); nothing
// when no angle reflects it (wavelength / 2d above 1).
std::optional<double> TwoThetaOf(double d, double wavelength);

// What the x axis shows: d, or 2θ for the wavelength.
struct TPlotAxis {
    std::optional<double> Wavelength; // nothing: d
    std::string AnodeName;            // for the axis label; may be empty
};

// The 2θ axis of an anode's K-Alpha1 wavelength ("Cu", "Co", "Mo", "Cr",
// "Fe", "Ag", any letter case; the name as written here), or nothing for
// another name.
std::optional<TPlotAxis> AnodeAxis(std::string_view anode);
// "Cu, Co, Mo, Cr, Fe, Ag", for messages and lists.
std::vector<std::string> AnodeNames();

enum class TextAnchor { Start, Middle, End };

struct TPlotLine {
    double X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
    double Width = 1;
    std::uint32_t Colour = 0; // 0xRRGGBB
};

struct TPlotText {
    double X = 0, Y = 0; // the baseline point the anchor refers to
    std::string Text;    // UTF-8
    double Size = 12;    // height in picture units
    TextAnchor Anchor = TextAnchor::Start;
    bool Vertical = false; // reads upwards, turned about (X, Y)
    std::uint32_t Colour = 0;
};

// A picture in units of pixels, origin top left, on a white ground.
struct TPlotPicture {
    int Width = 0;
    int Height = 0;
    std::vector<TPlotLine> Lines;
    std::vector<TPlotText> Texts;
};

inline constexpr int kDefaultPlotWidth = 900;
inline constexpr int kDefaultPlotHeight = 540;

// Lays out the plot in a picture of the given size (at least 200 x 150).
// Lines whose 2θ does not exist for the wavelength are left out and counted
// in the axis label.
TPlotPicture LayOutStickPlot(const TStickPattern& pattern, const TPlotAxis& axis, int width = kDefaultPlotWidth,
                             int height = kDefaultPlotHeight);

} // namespace norrvik
