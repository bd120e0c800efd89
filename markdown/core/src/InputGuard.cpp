#include "InputGuard.h"

#include "InlineGuard.h"
#include "NestingGuard.h"
#include "TextLines.h"
#include "markdown/MarkdownParser.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace markdown::detail {

namespace {

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

std::string about(std::uint64_t measured, std::uint64_t bound)
{
    return "about " + std::to_string(measured) + ", at most " + std::to_string(bound);
}

// The segments to rewrite so that the total of one measure falls within its bound: the
// costliest first.
std::vector<std::size_t> costliest(const std::vector<InlineWork>& works, std::uint64_t InlineWork::*measure,
                                   std::uint64_t bound)
{
    std::uint64_t total = 0;
    for (const InlineWork& work : works)
        total += work.*measure;
    std::vector<std::size_t> chosen;
    if (total <= bound)
        return chosen;
    std::vector<std::size_t> order(works.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return works[a].*measure > works[b].*measure; });
    for (const std::size_t i : order) {
        if (total <= bound)
            break;
        total -= works[i].*measure;
        chosen.push_back(i);
    }
    return chosen;
}

struct InlineBound {
    std::uint64_t InlineWork::*measure;
    std::uint64_t bound;
    DefuseKind kind;
    const char* what; // the warning, around the numbers
    const char* then;
};

constexpr InlineBound inlineBounds[] = {
    {&InlineWork::emphasis, maxEmphasisWork, defuseEmphasis,
     "Some paragraphs hold too many emphasis marks to match in time (", " steps); their emphasis marks are shown as text."},
    {&InlineWork::images, maxImageWork, defuseImages,
     "Some paragraphs hold too many image openers and closing brackets to match in time (",
     " steps); their images are shown as text."},
};

// Rewrites the costliest segments until every inline measure is within its bound: carefully
// first (code and links kept exact), thoroughly where that is not enough.
void guardInlines(GuardedInput& result, MarkStyle style)
{
    const auto measure = [&](const std::vector<Segment>& segments, std::vector<InlineWork>& works) {
        works.clear();
        works.reserve(segments.size());
        InlineWork total;
        for (const Segment& segment : segments) {
            works.push_back(inlineWork(result.text.substr(segment.begin, segment.end - segment.begin), result.bareLinks));
            total += works.back();
        }
        return total;
    };
    const auto withinBounds = [](const InlineWork& total) {
        return total.emphasis <= maxEmphasisWork && total.images <= maxImageWork
            && total.domainScans <= maxDomainScanWork && total.linkParentheses <= maxLinkParenthesisWork
            && total.emailScans <= maxEmailScanWork;
    };
    // Runs of lines overstate the work, cheaply; a text within the bounds by them is parsed as
    // it is, and only the others are measured by their inline texts.
    std::vector<InlineWork> works;
    const std::vector<Segment> runs = lineRuns(result.text, result.tables);
    const InlineWork cheap = measure(runs, works);
    if (withinBounds(cheap))
        return;
    // Runs of one line or of one plain paragraph are their inline units already: finding the
    // units by parsing a copy would cost as much as parsing the text itself.
    const bool runsAreUnits = std::all_of(runs.begin(), runs.end(), [&](const Segment& run) {
        const std::string_view lines = result.text.substr(run.begin, run.end - run.begin);
        return lines.find_first_of("\r\n") == std::string_view::npos || isPlainParagraph(lines);
    });
    const std::vector<Segment> segments = runsAreUnits ? runs : inlineUnits(result.text, result.tables);
    const InlineWork total = runsAreUnits ? cheap : measure(segments, works);

    const struct {
        std::uint64_t InlineWork::*measure;
        std::uint64_t bound;
        const char* name;
    } linkBounds[] = {
        {&InlineWork::domainScans, maxDomainScanWork, "domain scans"},
        {&InlineWork::linkParentheses, maxLinkParenthesisWork, "closing parentheses"},
        {&InlineWork::emailScans, maxEmailScanWork, "address scans"},
    };
    for (const auto& link : linkBounds) {
        if (result.bareLinks && total.*link.measure > link.bound) {
            result.bareLinks = false;
            result.warnings.push_back("The document's bare links are too costly to find (" + std::string(link.name) + ": "
                                      + about(total.*link.measure, link.bound)
                                      + " bytes); it is parsed without bare links.");
        }
    }
    if (!result.bareLinks) {
        for (std::size_t i = 0; i < segments.size(); ++i)
            works[i] = inlineWork(result.text.substr(segments[i].begin, segments[i].end - segments[i].begin), false);
    }

    std::vector<unsigned> kinds(segments.size(), 0);
    for (const InlineBound& bound : inlineBounds) {
        const std::vector<std::size_t> chosen = costliest(works, bound.measure, bound.bound);
        if (chosen.empty())
            continue;
        std::uint64_t measured = 0;
        for (const InlineWork& work : works)
            measured += work.*bound.measure;
        result.warnings.push_back(bound.what + about(measured, bound.bound) + bound.then);
        for (const std::size_t i : chosen)
            kinds[i] |= bound.kind;
    }
    if (std::none_of(kinds.begin(), kinds.end(), [](unsigned k) { return k != 0; }))
        return;
    if (style == MarkStyle::placeholders && holdsPlaceholders(result.text))
        style = MarkStyle::escapes;

    std::vector<std::string> rewritten(segments.size());
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (!kinds[i])
            continue;
        const std::string_view segment = result.text.substr(segments[i].begin, segments[i].end - segments[i].begin);
        rewritten[i] = defuse(segment, kinds[i], false, result.bareLinks, style);
        works[i] = inlineWork(rewritten[i], result.bareLinks);
    }
    for (const InlineBound& bound : inlineBounds) {
        for (const std::size_t i : costliest(works, bound.measure, bound.bound)) {
            const std::string_view segment = result.text.substr(segments[i].begin, segments[i].end - segments[i].begin);
            kinds[i] |= bound.kind;
            rewritten[i] = defuse(segment, kinds[i], true, result.bareLinks, style);
            works[i] = inlineWork(rewritten[i], result.bareLinks);
        }
    }

    std::string text;
    text.reserve(result.text.size() + result.text.size() / 8);
    std::size_t copied = 0;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (!kinds[i])
            continue;
        text.append(result.text.substr(copied, segments[i].begin - copied));
        text.append(rewritten[i]);
        copied = segments[i].end;
    }
    text.append(result.text.substr(copied));
    result.rewritten = std::move(text);
    result.text = result.rewritten;
    result.placeholders = style == MarkStyle::placeholders;
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

TableEstimate estimateTables(std::string_view text)
{
    TableEstimate estimate;
    // A table in progress: its width and how many rows seen so far.
    std::uint64_t tableColumns = 0;
    std::uint64_t tableRows = 0;
    std::uint64_t previousPipes = 0;
    bool previousBlank = true;
    std::size_t runBegin = 0; // the current run of non-blank lines: its first byte and its lines
    std::uint64_t runLines = 0;
    const auto closeTable = [&] {
        estimate.cells += tableColumns * tableRows;
        tableColumns = 0;
        tableRows = 0;
    };
    forEachLine(text, [&](const Line& span) {
        const std::string_view line = lineText(text, span);
        const bool blank = isBlank(line);
        const std::uint64_t pipes = countOf(line, "|") + 1;
        if (previousBlank) {
            runBegin = span.begin;
            runLines = 0;
        } else if (delimiterRowColumns(line) && !isSetextUnderline(line)) {
            const std::uint64_t work = runLines * (span.begin - runBegin);
            estimate.headerScan = estimate.headerScan > UINT64_MAX - work ? UINT64_MAX : estimate.headerScan + work;
        }
        ++runLines;
        if (tableColumns) {
            if (blank) {
                closeTable();
            } else {
                ++tableRows;
                estimate.rowWork += pipes * pipes;
            }
        } else if (!previousBlank) {
            if (const std::uint64_t columns = delimiterRowColumns(line)) {
                tableColumns = columns;
                tableRows = 2; // the header and this delimiter row
                estimate.rowWork += previousPipes * previousPipes + pipes * pipes;
            }
        }
        previousPipes = pipes;
        previousBlank = blank;
    });
    closeTable();
    return estimate;
}

void guardInput(std::string_view markdown, GuardedInput& result, MarkStyle style)
{
    result = GuardedInput{};
    result.text = markdown;

    if (const std::uint64_t work = measureNesting(markdown).work; work > maxNestingWork) {
        // The deepest depth, halved until the lines' walks fit: depth past the model's cap is
        // flattened anyway.
        int cap = maxBlockDepth + 1;
        Nesting capped = measureNesting(markdown, cap);
        while (capped.work > maxNestingWork && cap > 1)
            capped = measureNesting(markdown, cap /= 2);
        result.warnings.push_back("The document nests blocks too deeply for its many lines (container steps: "
                                  + about(work, maxNestingWork) + "); blocks deeper than " + std::to_string(cap)
                                  + " are shown at that depth.");
        result.rewritten = std::move(capped.capped);
        result.text = result.rewritten;
    }

    const TableEstimate tables = estimateTables(result.text);
    result.tables = tables.cells <= maxTableCells && tables.rowWork <= maxTableRowWork
        && tables.headerScan <= maxTableHeaderScan;
    if (!result.tables) {
        // Name the bound that was passed: rows can be too wide, or header searches too long,
        // while the cells are few enough.
        const std::string measure = tables.cells > maxTableCells
            ? "about " + std::to_string(tables.cells) + " cells, at most " + std::to_string(maxTableCells)
            : tables.rowWork > maxTableRowWork
            ? "rows too wide: about " + std::to_string(tables.rowWork) + " squared cells per line in all, at most "
                + std::to_string(maxTableRowWork)
            : "header searches too long: about " + std::to_string(tables.headerScan) + " units, at most "
                + std::to_string(maxTableHeaderScan);
        result.warnings.push_back("The document's tables are too costly to build (" + measure
                                  + "); it is parsed without tables.");
    }

    guardInlines(result, style);
}

} // namespace markdown::detail
