// dump's own formatting of numbers and patterns against printf and the JSON
// library, on the values where the two could part: ties of the last
// decimal, signed zeros, NaN and infinities, texts that need escaping and
// bytes beyond ASCII; patterns made side by side written in order.
#include "cli/DumpCommand.h"
#include "cli/DumpFormat.h"
#include "cli/JsonOutput.h"
#include "common/Exceptions.h"
#include "common/Format.h"
#include "common/Text.h"
#include "refdb/ReferencePattern.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <sstream>

namespace norrvik {
namespace {

TEST(DumpFormat, FixedNumbersAreThoseOfPrintf)
{
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> values = {0.0, -0.0, 1.0 / 64, 3.0 / 64, 1.015625, 2.5e-6, 7.5e-6, 123456.789, 1e20, -1e300,
                                  std::nan(""), -std::nan(""), inf, -inf, 9.999995, 0.7f, 10.6999f};
    for (int j = 1; j < 400; j += 7)
        values.push_back(static_cast<double>(static_cast<float>(j) / 128.0f + 0.3f));
    for (const double value : values) {
        std::string text;
        AppendFixed(text, value, 10, 5);
        EXPECT_EQ(text, Format("%10.5f", value)) << value;
    }
}

// Floats where the own writers could part from printf and the JSON
// library: ties of the last decimal, carries into a new digit, signed
// zeros, the smallest and largest values, the bound of the writer's own
// range, NaN and infinities; then random bit patterns and d-spacings.
std::vector<float> FloatCases()
{
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> values = {0.0f, -0.0f, 1.0f / 64, 3.0f / 64, -5.0f / 64, 1.015625f, 0.7f, 10.6999f,
                                 9.999995f, 9.99999f, 99999.99999f, 0.000005f, -0.000005f, 1e-45f, -1e-45f,
                                 1.17549435e-38f, std::numeric_limits<float>::max(),
                                 -std::numeric_limits<float>::max(), 70368744177664.0f, 1e30f, 1e15f, 1e16f,
                                 1e-4f, 1e-5f, 123456.0f, std::nanf(""), -std::nanf(""), inf, -inf};
    for (const float around : {9.999995f, 0.000005f, 0.000015f, 70368744177664.0f, 99.999995f}) {
        float up = around;
        float down = around;
        for (int i = 0; i < 4; ++i) {
            up = std::nextafter(up, inf);
            down = std::nextafter(down, -inf);
            values.insert(values.end(), {up, down, -up});
        }
    }
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i) {
        values.push_back(std::bit_cast<float>(static_cast<std::uint32_t>(random())));
        values.push_back(std::uniform_real_distribution<float>(0.5f, 30.0f)(random));
    }
    return values;
}

TEST(DumpFormat, FloatNumbersAreThoseOfPrintfAndTheJsonLibrary)
{
    for (const float value : FloatCases()) {
        std::string text;
        AppendFixedFloat(text, value, 10, 5);
        EXPECT_EQ(text, Format("%10.5f", static_cast<double>(value))) << std::bit_cast<std::uint32_t>(value);
        char shortest[32];
        double d = 0;
        std::from_chars(shortest, std::to_chars(shortest, shortest + sizeof shortest, value).ptr, d);
        std::string json;
        AppendJsonDSpacing(json, value);
        EXPECT_EQ(json, JsonText(nlohmann::json(d))) << std::bit_cast<std::uint32_t>(value);
    }
}

bool IndicesGiven(const TReferencePattern& pattern, int i)
{
    return pattern.GetH(i) != -128 && pattern.GetK(i) != -128 && pattern.GetL(i) != -128 &&
           (pattern.GetH(i) || pattern.GetK(i) || pattern.GetL(i));
}

// The pattern's JSON object as the JSON library builds it.
nlohmann::json LibraryJson(const TReferencePattern& pattern)
{
    nlohmann::json names = nlohmann::json::array();
    for (int i = 0; i < pattern.GetNameCount(); ++i)
        names.push_back({{"type", std::string(1, pattern.GetNameAt(i).TypeLetter)},
                         {"text", Windows1252ToUtf8(pattern.GetNameAt(i).Text)}});
    nlohmann::json lines = nlohmann::json::array();
    for (int i = 0; i < pattern.GetLineCount(); ++i) {
        const bool given = IndicesGiven(pattern, i);
        const auto index = [&](std::int16_t v) { return given ? nlohmann::json(v) : nlohmann::json(); };
        char shortest[32];
        double d = 0;
        std::from_chars(shortest, std::to_chars(shortest, shortest + sizeof shortest, pattern.GetD(i)).ptr, d);
        lines.push_back({{"d", d},
                         {"intensity", pattern.GetIntensity(i)},
                         {"h", index(pattern.GetH(i))},
                         {"k", index(pattern.GetK(i))},
                         {"l", index(pattern.GetL(i))}});
    }
    const auto texts = [&](TextList list) {
        nlohmann::json out = nlohmann::json::array();
        for (const std::string& line : pattern.GetTextList(list))
            out.push_back(Windows1252ToUtf8(line));
        return out;
    };
    return {{"record", pattern.GetRecordNumber()}, {"code", Windows1252ToUtf8(pattern.GetReferenceCode())},
            {"names", names}, {"formula", Windows1252ToUtf8(pattern.GetFormulaLine())},
            {"status", pattern.GetStatus()}, {"user_pattern", pattern.IsUserPattern()},
            {"subfiles", nlohmann::json::array()}, {"lines", lines},
            {"comments", texts(TextList::Comments)}, {"coded_comments", texts(TextList::CodedComments)},
            {"references", texts(TextList::References)}, {"supplementary_lines", texts(TextList::SupplementLines)}};
}

TEST(DumpFormat, PatternJsonIsThatOfTheJsonLibraryAndLinesThoseOfPrintf)
{
    TReferencePattern pattern;
    pattern.SetReferenceCode("000020318");
    pattern.SetRecordNumber(7);
    pattern.SetStatus(-3);
    pattern.AddName("Quartz \"low\" \\ \x01", 0);
    pattern.AddName("Ni\xe9vite \xe5", 1);
    pattern.SetFormulaLine("Si O2\t\x7f");
    pattern.SetComments({"plain", "tab\there", "\xff\x80\x81"});
    pattern.SetReferences({"J. Appl. \"Cryst\""});
    pattern.AddLine(3.3436f, 1000, 1, 0, 1);
    pattern.AddLine(std::nanf(""), -32768, 0, 0, 0);
    pattern.AddLine(0.015625f, 5, -128, 2, 3);
    pattern.AddLine(-0.0f, 32767, -32768, 32767, -1);
    pattern.AddLine(1e30f, 1, 4, 5, 6);
    std::string json;
    AppendPatternJson(json, pattern);
    EXPECT_EQ(json, JsonText(LibraryJson(pattern)));
    std::string text;
    AppendPatternText(text, pattern);
    for (int i = 0; i < pattern.GetLineCount(); ++i) {
        std::string line = Format("      %10.5f %6d", static_cast<double>(pattern.GetD(i)), pattern.GetIntensity(i));
        if (IndicesGiven(pattern, i))
            line += Format(" %5d %5d %5d", pattern.GetH(i), pattern.GetK(i), pattern.GetL(i));
        EXPECT_NE(text.find("\n" + line + "\n"), std::string::npos) << line;
    }
}

// A full table of finite lines, made in one piece: every row as printf
// gives it, in order.
TEST(DumpFormat, TableOfLinesIsThatOfPrintf)
{
    const std::vector<float> cases = FloatCases();
    TReferencePattern pattern;
    for (std::size_t i = 0; pattern.GetLineCount() < 204; ++i)
        if (std::isfinite(cases[i]) && std::fabs(cases[i]) < 70368744177664.0f) {
            const auto n = static_cast<std::int16_t>(i * 331);
            pattern.AddLine(cases[i], n, static_cast<std::int16_t>(i % 3 == 0 ? -128 : -n), 0,
                            static_cast<std::int16_t>(i));
        }
    std::string expected;
    for (int i = 0; i < pattern.GetLineCount(); ++i) {
        expected += Format("      %10.5f %6d", static_cast<double>(pattern.GetD(i)), pattern.GetIntensity(i));
        if (IndicesGiven(pattern, i))
            expected += Format(" %5d %5d %5d", pattern.GetH(i), pattern.GetK(i), pattern.GetL(i));
        expected += "\n";
    }
    std::string text;
    AppendPatternText(text, pattern);
    EXPECT_EQ(text.substr(text.find("     l\n") + 7), expected);
}

// Patterns made in pieces side by side come out in order, and one that
// cannot be made ends the output after those before it, in any piece.
TEST(DumpFormat, PatternsMadeSideBySideAreWrittenInOrderUpToAFailure)
{
    for (const auto& [count, failing] : std::vector<std::pair<int, int>>{
             {0, 0}, {1, 0}, {2, 2}, {9, 0}, {9, 3}, {9, 7}, {2000, 0}, {2000, 1}, {2000, 700}, {2000, 1999}}) {
        std::ostringstream out;
        std::string expected;
        for (int n = 1; n <= count && n != failing; ++n)
            expected += std::to_string(n) + ",";
        const auto append = [&, failing = failing](std::string& text, std::size_t, std::int32_t n) {
            text += std::to_string(n);
            if (n == failing)
                throw Exception("cannot be made");
            text += ",";
        };
        EXPECT_EQ(failing != 0, [&] {
            try {
                WritePatternsSideBySide(count, out, append);
            } catch (const Exception&) {
                return true;
            }
            return false;
        }());
        EXPECT_EQ(out.str(), expected) << count << " " << failing;
    }
}

} // namespace
} // namespace norrvik
