// A small rasteriser for plot pictures: straight lines of a whole-pixel
// width and texts in a 5 x 7 bitmap font (printable ASCII and the few
// letters the plot labels use: θ, λ, α, Å, °), drawn into an image of
// palette indexes, for the PNG writer.
#pragma once

#include "plot/StickPlot.h"

#include <cstdint>
#include <vector>

namespace norrvik {

struct TRasterImage {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint32_t> Palette; // 0xRRGGBB; index 0 is the white ground
    std::vector<std::uint8_t> Pixels;   // Width * Height palette indexes, row by row
};

TRasterImage RasterisePlot(const TPlotPicture& picture);

// Width in pixels of a text drawn at `size` (for anchoring).
int RasterTextWidth(const std::string& utf8, double size);

} // namespace norrvik
