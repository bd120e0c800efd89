#include "InputGuard.h"

#include <algorithm>
#include <vector>

namespace markdown::detail {

namespace {

struct Line {
    std::size_t begin;
    std::size_t end; // exclusive, without the line feed
};

std::vector<Line> splitLines(std::string_view text)
{
    std::vector<Line> lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t feed = text.find('\n', begin);
        const std::size_t end = feed == std::string_view::npos ? text.size() : feed;
        lines.push_back({begin, end});
        begin = end + 1;
    }
    return lines;
}

bool isBlank(std::string_view line)
{
    return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

// Drops indentation and block-quote markers, which a table may sit behind.
std::string_view stripContainers(std::string_view line)
{
    const std::size_t start = line.find_first_not_of(" \t>");
    return start == std::string_view::npos ? std::string_view{} : line.substr(start);
}

// The column count of a delimiter row ("| :-- | --: |"), or 0 when the line is not one.
std::uint64_t delimiterRowColumns(std::string_view line)
{
    line = stripContainers(line);
    if (line.find('-') == std::string_view::npos
        || line.find_first_not_of("|:- \t\r") != std::string_view::npos)
        return 0;
    const std::size_t first = line.find_first_not_of(" \t\r");
    const std::size_t last = line.find_last_not_of(" \t\r");
    line = line.substr(first, last - first + 1);
    if (line.front() == '|')
        line.remove_prefix(1);
    if (!line.empty() && line.back() == '|')
        line.remove_suffix(1);
    return static_cast<std::uint64_t>(std::count(line.begin(), line.end(), '|')) + 1;
}

std::uint64_t countOf(std::string_view text, std::string_view needle)
{
    std::uint64_t count = 0;
    for (std::size_t at = text.find(needle); at != std::string_view::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

// Tracks fenced code so that its text is never rewritten.
class FenceTracker {
public:
    // True while the line belongs to a fence (its opening and closing lines included).
    bool consume(std::string_view line)
    {
        std::size_t indent = 0;
        while (indent < line.size() && indent < 4 && line[indent] == ' ')
            ++indent;
        const std::string_view rest = indent < 4 ? line.substr(indent) : std::string_view{};
        const char marker = !rest.empty() && (rest[0] == '`' || rest[0] == '~') ? rest[0] : 0;
        const std::size_t run = marker ? rest.find_first_not_of(marker) : 0;
        const std::size_t length = run == std::string_view::npos ? rest.size() : run;
        if (fenceLength_ == 0) {
            if (marker && length >= 3) {
                fenceChar_ = marker;
                fenceLength_ = length;
                return true;
            }
            return false;
        }
        if (marker == fenceChar_ && length >= fenceLength_ && isBlank(rest.substr(length)))
            fenceLength_ = 0;
        return true;
    }

private:
    char fenceChar_ = 0;
    std::size_t fenceLength_ = 0;
};

// Length of the well-formed sequence at text[at], or 0 with `valid` bytes of a maximal
// ill-formed subpart (at least 1) when there is none.
std::size_t sequenceLength(std::string_view text, std::size_t at, std::size_t& valid)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    valid = 1;
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (at + i >= text.size())
            return 0;
        const unsigned char next = byte(at + i);
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF))
            return 0;
        valid = i + 1;
    }
    return length;
}

} // namespace

std::optional<std::string> repairUtf8(std::string_view text)
{
    std::size_t at = 0;
    std::size_t valid = 0;
    while (at < text.size()) {
        const std::size_t length = sequenceLength(text, at, valid);
        if (length == 0)
            break;
        at += length;
    }
    if (at == text.size())
        return std::nullopt;

    std::string repaired(text.substr(0, at));
    while (at < text.size()) {
        const std::size_t length = sequenceLength(text, at, valid);
        if (length) {
            repaired.append(text.substr(at, length));
            at += length;
        } else {
            repaired += "\xEF\xBF\xBD";
            at += valid;
        }
    }
    return repaired;
}

TableEstimate estimateTables(std::string_view text)
{
    const std::vector<Line> lines = splitLines(text);
    TableEstimate estimate;
    std::size_t i = 1;
    while (i < lines.size()) {
        const std::string_view line = text.substr(lines[i].begin, lines[i].end - lines[i].begin);
        const std::string_view header = text.substr(lines[i - 1].begin, lines[i - 1].end - lines[i - 1].begin);
        const std::uint64_t columns = isBlank(header) ? 0 : delimiterRowColumns(line);
        if (columns == 0) {
            ++i;
            continue;
        }
        std::size_t next = i + 1;
        while (next < lines.size() && !isBlank(text.substr(lines[next].begin, lines[next].end - lines[next].begin)))
            ++next;
        const std::uint64_t rows = next - i + 1; // header and body rows, delimiter counted as slack
        estimate.cells += columns * rows;
        for (std::size_t row = i - 1; row < next; ++row) {
            const std::uint64_t pipes = countOf(text.substr(lines[row].begin, lines[row].end - lines[row].begin), "|") + 1;
            estimate.rowWork += pipes * pipes;
        }
        i = next + 1;
    }
    return estimate;
}

std::optional<std::string> defuseImageOpeners(std::string_view text)
{
    const std::vector<Line> lines = splitLines(text);
    std::vector<std::pair<std::size_t, std::size_t>> runs; // byte ranges to rewrite
    FenceTracker fences;
    std::size_t runBegin = std::string_view::npos;
    std::size_t runEnd = 0;
    auto closeRun = [&] {
        if (runBegin == std::string_view::npos)
            return;
        const std::string_view run = text.substr(runBegin, runEnd - runBegin);
        if (countOf(run, "![") * countOf(run, "]") > maxBracketWork)
            runs.emplace_back(runBegin, runEnd);
        runBegin = std::string_view::npos;
    };
    for (const Line& line : lines) {
        const std::string_view content = text.substr(line.begin, line.end - line.begin);
        if (fences.consume(content) || isBlank(content)) {
            closeRun();
            continue;
        }
        if (runBegin == std::string_view::npos)
            runBegin = line.begin;
        runEnd = line.end;
    }
    closeRun();
    if (runs.empty())
        return std::nullopt;

    std::string result;
    result.reserve(text.size() + text.size() / 8);
    std::size_t copied = 0;
    for (const auto& [begin, end] : runs) {
        result.append(text.substr(copied, begin - copied));
        const std::string_view run = text.substr(begin, end - begin);
        for (std::size_t at = 0; at < run.size(); ++at) {
            result += run[at];
            if (run[at] == '!' && at + 1 < run.size() && run[at + 1] == '[')
                result += '\\';
        }
        copied = end;
    }
    result.append(text.substr(copied));
    return result;
}

} // namespace markdown::detail
