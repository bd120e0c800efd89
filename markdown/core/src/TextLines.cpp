#include "TextLines.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace markdown::detail {

namespace {

// At most three spaces, as before any block start.
std::string_view afterShortIndent(std::string_view line, bool& indented)
{
    const Indent indent = indentOf(line);
    indented = indent.columns >= 4;
    return line.substr(indent.bytes);
}

} // namespace

std::vector<Line> splitLines(std::string_view text)
{
    std::vector<Line> lines;
    forEachLine(text, [&](const Line& line) { lines.push_back(line); });
    return lines;
}

bool isBlank(std::string_view line)
{
    return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

bool isBlankOrQuoteMarkers(std::string_view line)
{
    return line.find_first_not_of(" \t\r>") == std::string_view::npos;
}

Indent indentOf(std::string_view line)
{
    Indent indent;
    while (indent.bytes < line.size() && (line[indent.bytes] == ' ' || line[indent.bytes] == '\t')) {
        indent.columns = line[indent.bytes] == '\t' ? (indent.columns / 4 + 1) * 4 : indent.columns + 1;
        ++indent.bytes;
    }
    return indent;
}

Unquoted stripQuoteMarkers(std::string_view line, int limit)
{
    Unquoted result{line, 0};
    while (result.quotes < limit) {
        bool indented = false;
        const std::string_view rest = afterShortIndent(result.rest, indented);
        if (indented || rest.empty() || rest[0] != '>')
            return result;
        result.rest = rest.substr(rest.size() > 1 && rest[1] == ' ' ? 2 : 1);
        ++result.quotes;
    }
    return result;
}

std::size_t listMarkerLength(std::string_view line, bool* startsAtOne)
{
    std::size_t length = 0;
    if (!line.empty() && std::strchr("-+*", line[0]) && line[0] != '\0') {
        length = 1;
    } else {
        while (length < line.size() && length < 9 && std::isdigit(static_cast<unsigned char>(line[length])))
            ++length;
        if (length == 0 || length >= line.size() || (line[length] != '.' && line[length] != ')'))
            return 0;
        if (startsAtOne)
            *startsAtOne = line.substr(0, length).find_first_not_of('0') == length - 1 && line[length - 1] == '1';
        ++length;
    }
    if (length < line.size() && line[length] != ' ' && line[length] != '\t')
        return 0;
    return length < line.size() ? length + 1 : length;
}

bool isThematicBreak(std::string_view line)
{
    bool indented = false;
    line = afterShortIndent(line, indented);
    if (indented || line.empty() || !std::strchr("*-_", line[0]))
        return false;
    const char mark = line[0];
    int marks = 0;
    for (const char c : line) {
        if (c == mark)
            ++marks;
        else if (c != ' ' && c != '\t' && c != '\r')
            return false;
    }
    return marks >= 3;
}

bool isAtxHeading(std::string_view line)
{
    bool indented = false;
    line = afterShortIndent(line, indented);
    const std::size_t hashes = line.find_first_not_of('#');
    const std::size_t count = hashes == std::string_view::npos ? line.size() : hashes;
    if (indented || count == 0 || count > 6)
        return false;
    return count == line.size() || line[count] == ' ' || line[count] == '\t';
}

bool isSetextUnderline(std::string_view line)
{
    const std::size_t start = line.find_first_not_of(' ');
    if (start == std::string_view::npos || start > 3 || line[start] != '-')
        return false;
    const std::size_t end = line.find_first_not_of('-', start);
    return end == std::string_view::npos || isBlank(line.substr(end));
}

std::uint64_t delimiterRowColumns(std::string_view line)
{
    const std::size_t start = line.find_first_not_of(" \t\v\f>");
    if (start == std::string_view::npos || !std::strchr("|:-", line[start]))
        return 0;
    line.remove_prefix(start);
    if (line.find('-') == std::string_view::npos || line.find_first_not_of("|:- \t\r") != std::string_view::npos)
        return 0;
    line = line.substr(0, line.find_last_not_of(" \t\r") + 1);
    if (line.front() == '|')
        line.remove_prefix(1);
    if (!line.empty() && line.back() == '|')
        line.remove_suffix(1);
    return countOf(line, "|") + 1;
}

std::uint64_t countOf(std::string_view text, std::string_view needle)
{
    std::uint64_t count = 0;
    for (std::size_t at = text.find(needle); at != std::string_view::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

} // namespace markdown::detail
