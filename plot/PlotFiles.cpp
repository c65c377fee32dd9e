// The SVG and PNG files of a plot picture.
#include "plot/PlotFiles.h"

#include "common/Exceptions.h"
#include "common/Files.h"
#include "common/Format.h"
#include "common/Text.h"
#include "plot/PlotRaster.h"
#include "refdb/RecordFile.h"

#include <algorithm>
#include <array>

namespace norrvik {

namespace {

// ---- SVG ----

std::string XmlEscaped(std::string_view text)
{
    std::string escaped;
    for (const char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::string Colour(std::uint32_t rgb)
{
    return Format("#%06X", static_cast<unsigned>(rgb & 0xFFFFFFu));
}

std::string SvgLine(const TPlotLine& line)
{
    return Format("<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\" stroke=\"%s\" stroke-width=\"%.1f\"/>\n",
                  line.X1, line.Y1, line.X2, line.Y2, Colour(line.Colour).c_str(), line.Width);
}

std::string SvgText(const TPlotText& text)
{
    const char* anchor = text.Anchor == TextAnchor::Start ? "start" : text.Anchor == TextAnchor::Middle ? "middle" : "end";
    std::string element = Format("<text x=\"%.2f\" y=\"%.2f\" font-size=\"%.1f\" text-anchor=\"%s\" fill=\"%s\"",
                                 text.X, text.Y, text.Size, anchor, Colour(text.Colour).c_str());
    if (text.Vertical)
        element += Format(" transform=\"rotate(-90 %.2f %.2f)\"", text.X, text.Y);
    // Texts from old databases may hold bytes that are no UTF-8; the file must be.
    return element + ">" + XmlEscaped(ValidUtf8(text.Text)) + "</text>\n";
}

// ---- PNG ----

const std::array<std::uint32_t, 256>& CrcTable()
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> values{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            values[n] = c;
        }
        return values;
    }();
    return table;
}

void AppendU32BE(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void AppendChunk(std::vector<std::uint8_t>& png, const char (&type)[5], const std::vector<std::uint8_t>& body)
{
    AppendU32BE(png, static_cast<std::uint32_t>(body.size()));
    const std::size_t typeStart = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), body.begin(), body.end());
    AppendU32BE(png, Crc32(png.data() + typeStart, png.size() - typeStart));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::vector<std::uint8_t> ZlibStored(const std::vector<std::uint8_t>& data)
{
    constexpr std::size_t kBlock = 65535;
    std::vector<std::uint8_t> out{0x78, 0x01};
    std::size_t offset = 0;
    do {
        const std::size_t size = std::min(kBlock, data.size() - offset);
        const bool last = offset + size == data.size();
        out.push_back(last ? 1 : 0);
        const auto length = static_cast<std::uint16_t>(size);
        const auto complement = static_cast<std::uint16_t>(~length);
        for (const std::uint16_t value : {length, complement}) {
            out.push_back(static_cast<std::uint8_t>(value & 0xFF));
            out.push_back(static_cast<std::uint8_t>(value >> 8));
        }
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(offset),
                   data.begin() + static_cast<std::ptrdiff_t>(offset + size));
        offset += size;
    } while (offset < data.size());
    AppendU32BE(out, Adler32(data.data(), data.size()));
    return out;
}

std::vector<std::uint8_t> PngHeader(const TRasterImage& image)
{
    std::vector<std::uint8_t> header;
    AppendU32BE(header, static_cast<std::uint32_t>(image.Width));
    AppendU32BE(header, static_cast<std::uint32_t>(image.Height));
    header.insert(header.end(), {8, 3, 0, 0, 0}); // 8-bit palette indexes, no interlace
    return header;
}

std::vector<std::uint8_t> PngPalette(const TRasterImage& image)
{
    std::vector<std::uint8_t> palette;
    for (const std::uint32_t rgb : image.Palette)
        palette.insert(palette.end(), {static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
                                       static_cast<std::uint8_t>(rgb)});
    return palette;
}

// Every row with the filter byte 0 (none) before it.
std::vector<std::uint8_t> PngRows(const TRasterImage& image)
{
    const auto width = static_cast<std::size_t>(image.Width);
    std::vector<std::uint8_t> rows;
    rows.reserve((width + 1) * static_cast<std::size_t>(image.Height));
    for (std::size_t y = 0; y < static_cast<std::size_t>(image.Height); ++y) {
        rows.push_back(0);
        rows.insert(rows.end(), image.Pixels.begin() + static_cast<std::ptrdiff_t>(y * width),
                    image.Pixels.begin() + static_cast<std::ptrdiff_t>((y + 1) * width));
    }
    return rows;
}

} // namespace

std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t size, std::uint32_t crc)
{
    const std::array<std::uint32_t, 256>& table = CrcTable();
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i)
        crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::uint32_t Adler32(const std::uint8_t* bytes, std::size_t size)
{
    constexpr std::uint32_t kModulus = 65521;
    std::uint32_t a = 1;
    std::uint32_t b = 0;
    for (std::size_t i = 0; i < size; ++i) {
        a = (a + bytes[i]) % kModulus;
        b = (b + a) % kModulus;
    }
    return (b << 16) | a;
}

std::string PlotSvg(const TPlotPicture& picture)
{
    std::string svg = Format("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
                             "viewBox=\"0 0 %d %d\" font-family=\"sans-serif\">\n"
                             "<rect x=\"0\" y=\"0\" width=\"%d\" height=\"%d\" fill=\"#FFFFFF\"/>\n",
                             picture.Width, picture.Height, picture.Width, picture.Height, picture.Width,
                             picture.Height);
    for (const TPlotLine& line : picture.Lines)
        svg += SvgLine(line);
    for (const TPlotText& text : picture.Texts)
        svg += SvgText(text);
    return svg + "</svg>\n";
}

std::vector<std::uint8_t> PlotPng(const TPlotPicture& picture)
{
    const TRasterImage image = RasterisePlot(picture);
    std::vector<std::uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    AppendChunk(png, "IHDR", PngHeader(image));
    AppendChunk(png, "PLTE", PngPalette(image));
    AppendChunk(png, "IDAT", ZlibStored(PngRows(image)));
    AppendChunk(png, "IEND", {});
    return png;
}

namespace {

bool EndsWithAscii(std::string_view text, std::string_view ending)
{
    return text.size() >= ending.size() && SameTextAscii(text.substr(text.size() - ending.size()), ending);
}

} // namespace

bool IsPlotFileName(std::string_view path)
{
    return EndsWithAscii(path, ".svg") || EndsWithAscii(path, ".png");
}

std::string PlotFileNameMessage(std::string_view path)
{
    return "Cannot write the plot to " + std::string(path) + ": give a file name ending in .svg or .png.";
}

void WritePlotFile(const TPlotPicture& picture, const std::string& path)
{
    if (!IsPlotFileName(path))
        throw Exception(PlotFileNameMessage(path));
    if (EndsWithAscii(path, ".svg")) {
        WriteWholeFile(PathFromText(path), PlotSvg(picture));
        return;
    }
    const std::vector<std::uint8_t> png = PlotPng(picture);
    WriteWholeFile(PathFromText(path), std::string_view(reinterpret_cast<const char*>(png.data()), png.size()));
}

} // namespace norrvik
