#include "InputGuard.h"

#include <algorithm>
#include <cstring>

namespace markdown::detail {

namespace {

bool isBlank(std::string_view line)
{
    return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

// The column count of a delimiter row ("| :-- | --: |"), or 0 when the line is not one.
// Indentation and block-quote markers, which a table may sit behind, are skipped.
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
    return static_cast<std::uint64_t>(std::count(line.begin(), line.end(), '|')) + 1;
}

// A line of dashes under a paragraph makes a heading of it before any table is tried.
bool isSetextUnderline(std::string_view line)
{
    const std::size_t start = line.find_first_not_of(' ');
    if (start == std::string_view::npos || start > 3 || line[start] != '-')
        return false;
    const std::size_t end = line.find_first_not_of('-', start);
    return end == std::string_view::npos || isBlank(line.substr(end));
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

// Offset of the first ill-formed sequence, or the text's size.
std::size_t firstIllFormed(std::string_view text)
{
    std::size_t at = 0;
    std::size_t valid = 0;
    while (at < text.size()) {
        // Skip ASCII eight bytes at a time: most text is.
        std::uint64_t word;
        if (at + 8 <= text.size() && (std::memcpy(&word, text.data() + at, 8), (word & 0x8080808080808080ULL) == 0)) {
            at += 8;
            continue;
        }
        const std::size_t length = sequenceLength(text, at, valid);
        if (length == 0)
            return at;
        at += length;
    }
    return at;
}

} // namespace

std::optional<std::string> repairUtf8(std::string_view text)
{
    std::size_t at = firstIllFormed(text);
    if (at == text.size())
        return std::nullopt;

    std::string repaired(text.substr(0, at));
    std::size_t valid = 0;
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

InputScan scanInput(std::string_view text)
{
    InputScan scan;
    FenceTracker fences;
    std::size_t paragraphBegin = std::string_view::npos;
    std::size_t paragraphEnd = 0;
    std::uint64_t paragraphOpeners = 0;
    std::uint64_t paragraphDelimiters = 0;
    // A table in progress: its width, its first line and how many rows seen so far.
    std::uint64_t tableColumns = 0;
    std::uint64_t tableRows = 0;
    std::uint64_t previousPipes = 0;
    bool previousBlank = true;
    std::size_t runBegin = 0; // the current run of non-blank lines: its first byte and its lines
    std::uint64_t runLines = 0;

    const auto closeParagraph = [&] {
        if (paragraphBegin == std::string_view::npos)
            return;
        const std::string_view paragraph = text.substr(paragraphBegin, paragraphEnd - paragraphBegin);
        // The closing brackets are counted only when the openers could make it costly.
        if (paragraphOpeners * paragraph.size() > maxBracketWork
            && paragraphOpeners * countOf(paragraph, "]") > maxBracketWork)
            scan.runawayParagraphs.emplace_back(paragraphBegin, paragraphEnd);
        if (paragraphDelimiters * paragraph.size() > maxBracketWork
            && paragraphDelimiters * countOf(paragraph, "]") > maxBracketWork)
            scan.runawayEmphasis.emplace_back(paragraphBegin, paragraphEnd);
        paragraphBegin = std::string_view::npos;
        paragraphOpeners = 0;
        paragraphDelimiters = 0;
    };
    const auto closeTable = [&] {
        scan.tables.cells += tableColumns * tableRows;
        tableColumns = 0;
        tableRows = 0;
    };

    std::size_t begin = 0;
    while (begin < text.size()) {
        // Lines end at LF, CR or CR LF.
        const std::size_t end = std::min(text.find_first_of("\r\n", begin), text.size());
        const std::string_view line = text.substr(begin, end - begin);
        const bool blank = isBlank(line);

        const std::uint64_t pipes = countOf(line, "|") + 1;
        if (previousBlank) {
            runBegin = begin;
            runLines = 0;
        } else if (delimiterRowColumns(line) && !isSetextUnderline(line)) {
            const std::uint64_t work = runLines * (begin - runBegin);
            scan.tables.headerScan = scan.tables.headerScan > UINT64_MAX - work ? UINT64_MAX : scan.tables.headerScan + work;
        }
        ++runLines;
        if (tableColumns) {
            if (blank) {
                closeTable();
            } else {
                ++tableRows;
                scan.tables.rowWork += pipes * pipes;
            }
        } else if (!previousBlank) {
            if (const std::uint64_t columns = delimiterRowColumns(line)) {
                tableColumns = columns;
                tableRows = 2; // the header and this delimiter row
                scan.tables.rowWork += previousPipes * previousPipes + pipes * pipes;
            }
        }
        previousPipes = pipes;
        previousBlank = blank;

        if (fences.consume(line) || blank) {
            closeParagraph();
        } else {
            if (paragraphBegin == std::string_view::npos)
                paragraphBegin = begin;
            paragraphEnd = end;
            paragraphOpeners += countOf(line, "![");
            paragraphDelimiters += static_cast<std::uint64_t>(
                std::count_if(line.begin(), line.end(), [](char c) { return c == '*' || c == '_' || c == '~'; }));
        }
        begin = end + (text.substr(end, 2) == "\r\n" ? 2 : 1);
    }
    closeParagraph();
    closeTable();
    return scan;
}

std::string defuseImageOpeners(std::string_view text, const std::vector<std::pair<std::size_t, std::size_t>>& ranges)
{
    std::string result;
    result.reserve(text.size() + text.size() / 8);
    std::size_t copied = 0;
    for (const auto& [begin, end] : ranges) {
        result.append(text.substr(copied, begin - copied));
        const std::string_view range = text.substr(begin, end - begin);
        for (std::size_t at = 0; at < range.size(); ++at) {
            result += range[at];
            if (range[at] == '!' && at + 1 < range.size() && range[at + 1] == '[')
                result += '\\';
        }
        copied = end;
    }
    result.append(text.substr(copied));
    return result;
}

std::string defuseEmphasis(std::string_view text, const std::vector<std::pair<std::size_t, std::size_t>>& ranges)
{
    std::string result;
    result.reserve(text.size() + text.size() / 4);
    std::size_t copied = 0;
    for (const auto& [begin, end] : ranges) {
        result.append(text.substr(copied, begin - copied));
        for (const char c : text.substr(begin, end - begin)) {
            if (c == '*' || c == '_' || c == '~')
                result += '\\';
            result += c;
        }
        copied = end;
    }
    result.append(text.substr(copied));
    return result;
}

} // namespace markdown::detail
