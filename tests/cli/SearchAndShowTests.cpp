// `search` and `show` on the converted samples: the strongest-lines ranking
// of known substances, show's JSON, and the plot files read back (the SVG's
// elements, the PNG's chunks, checks and stored pixels).
#include "CliRun.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <regex>

namespace norrvik {
namespace {

using test::RunCommand;
using test::Sample;
using test::TempFolder;

// The user samples' quartz, corundum, halite, calcite and silicon, then the
// Kandor sample's fluorite, halite, periclase, rutile and silicon.
class SearchAndShowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder_ = new TempFolder;
        for (const char* sample : {"quorvane", "kandor"})
            ASSERT_EQ(RunCommand({"convert", Sample(sample), folder_->Text("db")}).Status, 0);
    }
    static void TearDownTestSuite() { delete folder_; }
    static std::string Db() { return folder_->Text("db"); }
    static TempFolder* folder_;
};
TempFolder* SearchAndShowTest::folder_ = nullptr;

// Names of the results in their order, and their figures.
std::vector<std::pair<std::string, double>> LinesSearch(const std::string& db, const std::vector<std::string>& args)
{
    std::vector<std::string> command{"search", db, "--json", "--lines"};
    command.insert(command.end(), args.begin(), args.end());
    const test::CliResult result = RunCommand(command);
    EXPECT_EQ(result.Status, 0) << result.Err;
    std::vector<std::pair<std::string, double>> found;
    const nlohmann::json json = nlohmann::json::parse(result.Out);
    for (const auto& hit : json["results"])
        found.emplace_back(hit["names"][0].get<std::string>(), hit["figure"].get<double>());
    return found;
}

TEST_F(SearchAndShowTest, StrongestLinesRankKnownSubstances)
{
    struct Expected {
        std::vector<std::string> Args;
        std::vector<std::string> Names; // best first
    };
    const Expected cases[] = {
        {{"3.3435", "4.255", "1.818"}, {"Quartz"}},
        {{"3.035", "2.285", "2.095"}, {"Calcite"}},
        {{"2.821", "1.994", "1.628"}, {"Halite", "Halite"}},
        // Silicon's 3.1355 (100) and 1.9201 (55) lie nearer than fluorite's
        // 3.1546 (92) and 1.9316 (100): figures 84.9 and 76.2 by hand.
        {{"3.14", "1.92", "--tolerance", "0.03"}, {"Silicon", "Silicon", "Fluorite"}},
    };
    for (const Expected& expected : cases) {
        const auto found = LinesSearch(Db(), expected.Args);
        ASSERT_EQ(found.size(), expected.Names.size()) << expected.Args[0];
        for (std::size_t i = 0; i < found.size(); ++i)
            EXPECT_EQ(found[i].first, expected.Names[i]) << expected.Args[0] << " " << i;
    }
    const auto silicon = LinesSearch(Db(), {"3.14", "1.92", "--tolerance", "0.03"});
    EXPECT_NEAR(silicon[0].second, 84.9, 1.0);
    EXPECT_NEAR(silicon[2].second, 76.2, 1.0);
    // A perfect match of the three strongest lines scores near 100 x (1 + (1 + .22 + .14) / 3) / 2.
    EXPECT_NEAR(LinesSearch(Db(), {"3.3435", "4.255", "1.818"})[0].second, 72.7, 1.0);
}

TEST_F(SearchAndShowTest, TextSearchesAndTheirMistakes)
{
    const test::CliResult halite = RunCommand({"search", Db(), "--name", "hal"});
    EXPECT_EQ(halite.Status, 0);
    EXPECT_NE(halite.Out.find("2 patterns found (name begins with \"hal\")"), std::string::npos) << halite.Out;
    const test::CliResult codes = RunCommand({"search", Db(), "--code", "99-000-000", "--limit", "2", "--json"});
    const auto json = nlohmann::json::parse(codes.Out);
    EXPECT_EQ(json["found"], 9);
    EXPECT_EQ(json["results"].size(), 2u);
    EXPECT_EQ(RunCommand({"search", Db()}).Status, kExitUsage);                                  // no criterion
    EXPECT_EQ(RunCommand({"search", Db(), "--name", "a", "--formula", "b"}).Status, kExitUsage); // two
    EXPECT_EQ(RunCommand({"search", Db(), "--lines", "0"}).Status, kExitFailure);
    EXPECT_EQ(RunCommand({"show", Db(), "12345"}).Status, kExitUsage);
    EXPECT_EQ(RunCommand({"show", Db(), "99-000-0001", "--plot", "x.gif"}).Status, kExitUsage);
    EXPECT_EQ(RunCommand({"show", Db(), "99-000-0001", "--anode", "Zn"}).Status, kExitUsage);
    EXPECT_NE(RunCommand({"show", Db(), "99-000-0999"}).Err.find("No pattern found"), std::string::npos);
}

// ---- reading the plot files back ----

std::uint32_t BitwiseCrc32(const std::uint8_t* bytes, std::size_t size)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= bytes[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::uint32_t BigEndian(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return std::uint32_t{bytes.at(at)} << 24 | std::uint32_t{bytes.at(at + 1)} << 16 |
           std::uint32_t{bytes.at(at + 2)} << 8 | bytes.at(at + 3);
}

struct Png {
    std::uint32_t Width = 0, height = 0;
    std::size_t PaletteSize = 0;
    std::vector<std::uint8_t> Rows; // inflated image data
};

// Walks the chunks (every CRC checked) and inflates the stored blocks
// (every length, its complement and the Adler-32 checked).
Png ReadPng(const std::vector<std::uint8_t>& file)
{
    const std::vector<std::uint8_t> signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_TRUE(std::equal(signature.begin(), signature.end(), file.begin()));
    Png png;
    std::vector<std::uint8_t> zlib;
    std::vector<std::string> types;
    for (std::size_t at = 8; at < file.size();) {
        const std::uint32_t length = BigEndian(file, at);
        const std::string type(file.begin() + static_cast<std::ptrdiff_t>(at + 4), file.begin() + static_cast<std::ptrdiff_t>(at + 8));
        EXPECT_EQ(BigEndian(file, at + 8 + length), BitwiseCrc32(file.data() + at + 4, length + 4)) << type;
        const auto body = file.begin() + static_cast<std::ptrdiff_t>(at + 8);
        if (type == "IHDR") {
            png.Width = BigEndian(file, at + 8);
            png.height = BigEndian(file, at + 12);
            EXPECT_EQ(std::vector<std::uint8_t>(body + 8, body + 13), (std::vector<std::uint8_t>{8, 3, 0, 0, 0}));
        }
        if (type == "PLTE")
            png.PaletteSize = length / 3;
        if (type == "IDAT")
            zlib.insert(zlib.end(), body, body + length);
        types.push_back(type);
        at += 12 + length;
    }
    EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "PLTE", "IDAT", "IEND"}));
    EXPECT_EQ((zlib.at(0) * 256 + zlib.at(1)) % 31, 0); // the zlib header's check
    std::size_t at = 2;
    for (bool last = false; !last;) {
        last = (zlib.at(at) & 1) != 0;
        EXPECT_EQ(zlib.at(at) >> 1, 0) << "a stored block";
        const std::size_t size = zlib.at(at + 1) | std::size_t{zlib.at(at + 2)} << 8;
        EXPECT_EQ(size ^ (zlib.at(at + 3) | std::size_t{zlib.at(at + 4)} << 8), 0xFFFFu);
        png.Rows.insert(png.Rows.end(), zlib.begin() + static_cast<std::ptrdiff_t>(at + 5),
                        zlib.begin() + static_cast<std::ptrdiff_t>(at + 5 + size));
        at += 5 + size;
    }
    std::uint32_t a = 1, b = 0;
    for (const std::uint8_t byte : png.Rows) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    EXPECT_EQ(BigEndian(zlib, at), b << 16 | a);
    EXPECT_EQ(at + 4, zlib.size());
    return png;
}

TEST_F(SearchAndShowTest, ShowPrintsThePatternAndWritesItsPlot)
{
    const std::string svgPath = folder_->Text("quartz.svg");
    const test::CliResult shown = RunCommand({"show", Db(), "99-000-0001", "--plot", svgPath, "--anode", "cu"});
    ASSERT_EQ(shown.Status, 0) << shown.Err;
    EXPECT_NE(shown.Out.find("Pattern 1: 99-000-0001"), std::string::npos);
    EXPECT_NE(shown.Out.find("3.34350   26.639"), std::string::npos) << shown.Out; // 2θ of the strongest line
    // The same as one JSON document: the pattern as dump gives it, each line's 2θ.
    const test::CliResult json = RunCommand({"show", Db(), "99-000-0001", "--json", "--anode", "cu"});
    ASSERT_EQ(json.Status, 0) << json.Err;
    const nlohmann::json document = nlohmann::json::parse(json.Out);
    EXPECT_EQ(document["pattern"]["code"], "99-000-0001");
    EXPECT_EQ(document["two_theta"]["anode"], "Cu");
    ASSERT_EQ(document["two_theta"]["lines"].size(), document["pattern"]["lines"].size());
    const auto& lines = document["two_theta"]["lines"];
    const auto strongest = std::find_if(lines.begin(), lines.end(), [](const auto& line) { return line["relative_intensity"] == 100.0; });
    ASSERT_NE(strongest, lines.end());
    EXPECT_NEAR((*strongest)["two_theta"].get<double>(), 26.639, 0.0005);

    // Well-formed: every element is closed in order; 13 sticks among the lines.
    const std::string svg = test::ReadFileText(svgPath);
    std::vector<std::string> open;
    const std::regex tag("<(/?)([a-z]+)[^>]*?(/?)>");
    std::map<std::string, int> elements;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), tag); it != std::sregex_iterator(); ++it) {
        const std::smatch& m = *it;
        if (m[1] == "/") {
            ASSERT_FALSE(open.empty());
            EXPECT_EQ(open.back(), m[2]);
            open.pop_back();
        } else {
            ++elements[m[2]];
            if (m[3] != "/")
                open.push_back(m[2]);
        }
    }
    EXPECT_TRUE(open.empty());
    EXPECT_EQ(elements["svg"], 1);
    std::ptrdiff_t sticks = 0;
    for (std::size_t at = 0; (at = svg.find("stroke=\"#1F4FB4\"", at)) != std::string::npos; ++at)
        ++sticks;
    EXPECT_EQ(sticks, 13);
    EXPECT_NE(svg.find(">99-000-0001  Quartz</text>"), std::string::npos);
    EXPECT_NE(svg.find("2θ (°), λ = 1.54056 Å (Cu Kα1)"), std::string::npos);

    const std::string pngPath = folder_->Text("quartz.png");
    ASSERT_EQ(RunCommand({"show", Db(), "99-000-0001", "--plot", pngPath}).Status, 0);
    const Png png = ReadPng(test::ReadFile(pngPath));
    ASSERT_EQ(png.Rows.size(), (png.Width + 1) * png.height);
    std::size_t inked = 0;
    for (std::size_t y = 0; y < png.height; ++y) {
        EXPECT_EQ(png.Rows[y * (png.Width + 1)], 0) << "filter of row " << y;
        for (std::size_t x = 1; x <= png.Width; ++x) {
            const std::uint8_t index = png.Rows[y * (png.Width + 1) + x];
            EXPECT_LT(index, png.PaletteSize);
            inked += index != 0;
        }
    }
    EXPECT_GT(inked, 1000u); // axes, sticks and letters drawn on the white ground
}

} // namespace
} // namespace norrvik
