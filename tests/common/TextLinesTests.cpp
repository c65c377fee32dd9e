// The one line rule of the database's text files.
#include "common/Text.h"

#include <gtest/gtest.h>

namespace norrvik {
namespace {

TEST(SplitTextLines, EachLineEndEndsALineAndAFinalOneAddsNone)
{
    using Lines = std::vector<std::string>;
    const std::pair<std::string, Lines> cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},        // a lone carriage return ends a line too
        {"a\n\rb", {"a", "", "b"}},    // LF then CR: two line ends
        {"a\r\n\r\n", {"a", ""}},
        {"\n", {""}},
    };
    for (const auto& [content, lines] : cases)
        EXPECT_EQ(SplitTextLines(content), lines) << content;
}

} // namespace
} // namespace norrvik
