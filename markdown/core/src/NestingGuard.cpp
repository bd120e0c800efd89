#include "NestingGuard.h"

#include "TextLines.h"

#include <cstring>
#include <vector>

namespace markdown::detail {

namespace {

struct Container {
    bool quote = false;
    int contentColumn = 0; // list items: the column their content starts at
};

// The byte offset and column reached after `columns` more columns of blanks from `at`,
// or nothing when the line holds fewer.
bool advanceColumns(std::string_view line, std::size_t& at, int& column, int columns)
{
    const int target = column + columns;
    while (column < target) {
        if (at >= line.size() || (line[at] != ' ' && line[at] != '\t'))
            return false;
        const int next = line[at] == '\t' ? (column / 4 + 1) * 4 : column + 1;
        if (next > target)
            return true; // a tab that reaches past the target is split; it counts as reached
        column = next;
        ++at;
    }
    return true;
}

// Blanks from `at` to the first other byte, in columns from `column`.
int blankColumns(std::string_view line, std::size_t at, int column, std::size_t& end)
{
    int columns = column;
    end = at;
    while (end < line.size() && (line[end] == ' ' || line[end] == '\t')) {
        columns = line[end] == '\t' ? (columns / 4 + 1) * 4 : columns + 1;
        ++end;
    }
    return columns - column;
}

} // namespace

Nesting measureNesting(std::string_view text, int cap)
{
    Nesting result;
    if (cap > 0)
        result.capped.reserve(text.size());
    std::vector<Container> open;
    std::vector<std::size_t> quotes; // where the open block quotes are in `open`
    std::vector<Container> opened;
    std::vector<std::pair<std::size_t, std::size_t>> dropped; // markers beyond the cap
    bool paragraph = false; // the last line may have been paragraph text, so this one may be lazy
    std::size_t copied = 0;
    forEachLine(text, [&](const Line& line) {
        const std::string_view s = lineText(text, line);
        std::size_t at = 0;
        int column = 0;
        // Containers the line continues. A blank line continues every list item up to the first
        // block quote, at once: walking them one by one would make this scan quadratic too.
        const bool blank = isBlank(s);
        std::size_t matched = blank ? (quotes.empty() ? open.size() : quotes.front()) : 0;
        for (; matched < open.size() && !blank; ++matched) {
            const Container& container = open[matched];
            if (container.quote) {
                std::size_t end = 0;
                const int blanks = blankColumns(s, at, column, end);
                if (blanks >= 4 || end >= s.size() || s[end] != '>')
                    break;
                at = end + 1;
                column += blanks + 1;
                if (at < s.size() && s[at] == ' ') {
                    ++at;
                    ++column;
                }
            } else {
                std::size_t probe = at;
                int probeColumn = column;
                if (!advanceColumns(s, probe, probeColumn, container.contentColumn - column))
                    break;
                at = probe;
                column = probeColumn;
            }
        }
        // Containers the line opens.
        opened.clear();
        dropped.clear();
        const std::size_t continued = matched;
        if (!blank) {
            for (;;) {
                std::size_t end = 0;
                const int blanks = blankColumns(s, at, column, end);
                if (blanks >= 4 || end >= s.size())
                    break;
                const std::string_view rest = s.substr(end);
                bool startsAtOne = false;
                std::size_t markerEnd = end;
                Container container;
                if (rest[0] == '>') {
                    container.quote = true;
                    markerEnd = end + (rest.size() > 1 && rest[1] == ' ' ? 2 : 1);
                } else if (const std::size_t marker = listMarkerLength(rest, &startsAtOne)) {
                    // An item that cannot interrupt a paragraph continues it instead.
                    const bool empty = isBlank(rest.substr(marker));
                    if (paragraph && opened.empty() && (empty || (!std::strchr("-+*", rest[0]) && !startsAtOne)))
                        break;
                    const std::size_t width = rest[0] == '-' || rest[0] == '+' || rest[0] == '*'
                        ? 1
                        : rest.find_first_of(".)") + 1;
                    std::size_t contentEnd = 0;
                    const int spaces = empty ? 1 : blankColumns(s, end + width, column + blanks + int(width), contentEnd);
                    container.contentColumn = column + blanks + int(width) + (spaces >= 5 ? 1 : std::max(spaces, 1));
                    markerEnd = end + width + (empty ? rest.size() - width : std::min<std::size_t>(contentEnd - end - width, spaces >= 5 ? 1 : 4));
                } else {
                    break;
                }
                if (cap > 0 && continued + opened.size() >= std::size_t(cap))
                    dropped.emplace_back(end, markerEnd);
                else
                    opened.push_back(container);
                column = container.quote ? column + blanks + int(markerEnd - end) : container.contentColumn;
                at = markerEnd;
            }
        }
        if (!opened.empty() || blank || !paragraph) {
            // A new container, a blank line or a line that cannot be lazy closes what it does
            // not continue. A blank line continues every list item it meets.
            open.resize(continued);
            while (!quotes.empty() && quotes.back() >= open.size())
                quotes.pop_back();
            for (const Container& container : opened) {
                if (container.quote)
                    quotes.push_back(open.size());
                open.push_back(container);
            }
        }
        paragraph = !blank && !isThematicBreak(s) && !isAtxHeading(s);
        result.work += open.size() + 1;

        if (cap > 0 && !dropped.empty()) {
            result.capped.append(text.substr(copied, line.begin - copied));
            std::size_t from = 0;
            for (const auto& [begin, end] : dropped) {
                result.capped.append(s.substr(from, begin - from));
                from = end;
            }
            result.capped.append(s.substr(from));
            copied = line.end;
        }
    });
    if (cap > 0)
        result.capped.append(text.substr(copied));
    return result;
}

} // namespace markdown::detail
