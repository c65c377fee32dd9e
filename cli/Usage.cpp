// Suggestions for mistyped names, and wrapped help text.
#include "cli/Usage.h"

#include "common/Text.h"

#include <algorithm>
#include <cstddef>

namespace norrvik {

namespace {

// Letters left out, added, changed or two neighbours swapped, one step each.
std::size_t TypingDistance(std::string_view a, std::string_view b)
{
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

// The column where a line's description starts ("  --json      Print ..."),
// or npos when the line has none.
std::size_t DescriptionColumn(std::string_view line)
{
    const std::size_t start = line.find_first_not_of(' ');
    const std::size_t gap = line.find("  ", start);
    if (start == std::string_view::npos || gap == std::string_view::npos)
        return std::string_view::npos;
    return line.find_first_not_of(' ', gap);
}

void AppendWrappedLine(std::string_view line, std::size_t width, std::string& wrapped)
{
    const std::size_t leading = std::min(line.find_first_not_of(' '), line.size());
    const std::size_t description = DescriptionColumn(line);
    const bool underDescription = description != std::string_view::npos && description <= width / 2;
    const std::size_t indent = underDescription ? description : std::min(leading, width / 2);
    // The first break falls in the description, never in the name before it.
    std::size_t floor = description != std::string_view::npos ? description : leading;
    std::string rest(line);
    while (rest.size() > width) {
        std::size_t cut = rest.rfind(' ', width);
        if (cut == std::string::npos || cut <= floor)
            cut = rest.find(' ', width); // a word longer than the room: kept whole
        const std::size_t next = cut == std::string::npos ? cut : rest.find_first_not_of(' ', cut);
        if (next == std::string::npos)
            break;
        wrapped += TrimRight(rest.substr(0, cut)) + '\n';
        rest = std::string(indent, ' ') + rest.substr(next);
        floor = indent;
    }
    wrapped += rest + '\n';
}

} // namespace

std::string NearestName(std::string_view typed, const std::vector<std::string>& names)
{
    const std::string lower = LowerCaseAscii(typed);
    std::string nearest;
    std::size_t best = std::max<std::size_t>(2, lower.size() / 3) + 1;
    for (const std::string& name : names) {
        const std::string candidate = LowerCaseAscii(name);
        const bool begins = lower.size() >= 2 && candidate.compare(0, lower.size(), lower) == 0;
        const std::size_t distance = begins ? 0 : TypingDistance(lower, candidate);
        if (distance < best) {
            best = distance;
            nearest = name;
        }
    }
    return nearest;
}

std::string WrapText(std::string_view text, int width)
{
    const std::size_t columns = static_cast<std::size_t>(std::max(width, 20));
    std::string wrapped;
    std::size_t position = 0;
    while (position < text.size()) {
        std::size_t end = text.find('\n', position);
        if (end == std::string_view::npos)
            end = text.size();
        AppendWrappedLine(text.substr(position, end - position), columns, wrapped);
        position = end + 1;
    }
    if (!text.empty() && text.back() != '\n')
        wrapped.pop_back();
    return wrapped;
}

} // namespace norrvik
