// Writing a plot picture as an SVG or PNG file, without any library: the
// SVG is text; the PNG is drawn by a small rasteriser (lines, a 5 x 7 bitmap
// font scaled by whole pixels) into an indexed-colour image stored in
// uncompressed deflate blocks, with its CRC-32 and Adler-32 checks.
#pragma once

#include "plot/StickPlot.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace norrvik {

std::string PlotSvg(const TPlotPicture& picture);
std::vector<std::uint8_t> PlotPng(const TPlotPicture& picture);

// The checks a PNG file carries.
std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t size, std::uint32_t crc = 0);
std::uint32_t Adler32(const std::uint8_t* bytes, std::size_t size);

// True for a name ending in ".svg" or ".png" (any letter case).
bool IsPlotFileName(std::string_view path);
std::string PlotFileNameMessage(std::string_view path);

// Writes the picture as SVG or PNG after the file's extension (whole, then
// put in place; EInOutError naming the file on failure).
void WritePlotFile(const TPlotPicture& picture, const std::string& path);

} // namespace norrvik
