#include "InlineGuard.h"

#include "Cmark.h"
#include "TextLines.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <iterator>
#include <optional>
#include <set>
#include <unordered_map>
#include <utility>

namespace markdown::detail {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// As cmark-gfm reads them: ASCII only, whatever the locale (and without a call per byte).
bool isAsciiAlnum(char c)
{
    const char lower = static_cast<char>(c | 0x20);
    return (c >= '0' && c <= '9') || (lower >= 'a' && lower <= 'z');
}

bool isAsciiPunct(char c)
{
    return (c >= '!' && c <= '/') || (c >= ':' && c <= '@') || (c >= '[' && c <= '`') || (c >= '{' && c <= '~');
}

bool isDelimiterChar(char c)
{
    return c == '*' || c == '_' || c == '~';
}

// Placeholders are "\xEF\xB7" and a last byte from 0x90 on, in the order of the marks here.
constexpr std::string_view placeholderLead = "\xEF\xB7";
constexpr std::string_view placeholderMarks = "*_~";

// The mark a placeholder whose last byte is `last` stands for, or 0.
char markOfPlaceholder(char last)
{
    const unsigned index = static_cast<unsigned char>(last) - 0x90u;
    return index < placeholderMarks.size() ? placeholderMarks[index] : 0;
}

// Where cmark-gfm's autolink extension tries "www." as a link: at the start or after a blank
// or one of "*_~(".
bool isWwwTrigger(std::string_view s, std::size_t at)
{
    return at < s.size() && s[at] == 'w' && s.substr(at, 4) == "www."
        && (at == 0 || isSpace(s[at - 1]) || std::strchr("*_~(", s[at - 1]));
}

bool isSchemeSeparator(std::string_view s, std::size_t at)
{
    return at < s.size() && s[at] == ':' && s.substr(at, 3) == "://";
}

// What the domain check walks over: anything but blanks and punctuation, except ". _ - \".
// Bytes of other scripts count, as some of them do.
bool isDomainChar(char c)
{
    return static_cast<unsigned char>(c) >= 0x80 || isAsciiAlnum(c) || c == '.' || c == '_' || c == '-' || c == '\\';
}

// What the address scan walks over after an "@".
bool isAddressChar(char c)
{
    return isAsciiAlnum(c) || c == '@' || c == '.' || c == '-' || c == '_';
}

// A bare link runs to the next blank or "<".
bool endsBareLink(char c)
{
    return isSpace(c) || c == '<';
}

// The bytes of a line's block-quote markers, list markers and the blanks around them.
std::size_t containerPrefix(std::string_view line)
{
    std::size_t at = 0;
    for (;;) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
            ++at;
        if (at < line.size() && line[at] == '>') {
            ++at;
        } else if (const std::size_t marker = listMarkerLength(line.substr(at))) {
            at += marker;
        } else {
            return at;
        }
    }
}

// The end of the tag a line starts with: past its ">" when the line holds one (outside quoted
// values), else past its name; a tag alone on its line can start an HTML block.
std::size_t leadingTagEnd(std::string_view rest)
{
    char quote = 0;
    for (std::size_t i = 1; i < rest.size(); ++i) {
        if (quote) {
            quote = rest[i] == quote ? 0 : quote;
        } else if (rest[i] == '"' || rest[i] == '\'') {
            quote = rest[i];
        } else if (rest[i] == '>') {
            return i + 1;
        }
    }
    std::size_t end = rest.size() > 1 && rest[1] == '/' ? 2 : 1;
    while (end < rest.size() && (isAsciiAlnum(rest[end]) || rest[end] == '-'))
        ++end;
    return end;
}

// The text with the marks that cost inline parsing its time replaced by a plain byte where
// they play no part in the block structure: emphasis marks outside container markers,
// thematic breaks, fence lines and a line's leading tag, and the "!" of image openers. Links
// stay, as reference definitions shape blocks. Lines and their lengths stay, and so does
// every block.
std::string neutralised(std::string_view text)
{
    std::string copy(text);
    forEachLine(text, [&](const Line& line) {
        const std::string_view s = lineText(text, line);
        std::size_t prefix = containerPrefix(s);
        const std::string_view rest = s.substr(prefix);
        if (isThematicBreak(rest) || rest.starts_with("```") || rest.starts_with("~~~"))
            return;
        if (rest.size() > 1 && rest[0] == '<' && (std::isalpha(static_cast<unsigned char>(rest[1])) || rest[1] == '/'))
            prefix += leadingTagEnd(rest);
        for (std::size_t i = prefix; i < s.size(); ++i) {
            if (s[i] == '*' || s[i] == '_' || (s[i] == '!' && s.substr(i + 1, 1) == "[" && (i == 0 || s[i - 1] != '<')))
                copy[line.begin + i] = '%';
        }
    });
    return copy;
}

// Byte ranges a careful rewrite leaves alone, in order and apart.
using Ranges = std::vector<std::pair<std::size_t, std::size_t>>;

// Code spans: a run of backticks to the next run of the same length.
Ranges codeSpans(std::string_view s)
{
    struct Run {
        std::size_t begin;
        std::size_t length;
    };
    std::vector<Run> runs;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '`')
            continue;
        const std::size_t end = std::min(s.find_first_not_of('`', i), s.size());
        std::size_t backslashes = 0;
        while (backslashes < i && s[i - 1 - backslashes] == '\\')
            ++backslashes;
        const std::size_t begin = i + backslashes % 2; // an escaped backtick opens nothing
        if (end > begin)
            runs.push_back({begin, end - begin});
        i = end - 1;
    }
    // The next run of each length, found from the end.
    std::vector<std::size_t> next(runs.size(), runs.size());
    std::unordered_map<std::size_t, std::size_t> latest;
    for (std::size_t i = runs.size(); i-- > 0;) {
        if (const auto it = latest.find(runs[i].length); it != latest.end())
            next[i] = it->second;
        latest[runs[i].length] = i;
    }
    Ranges spans;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (next[i] == runs.size())
            continue;
        const Run& closer = runs[next[i]];
        spans.emplace_back(runs[i].begin, closer.begin + closer.length);
        i = next[i];
    }
    return spans;
}

// "<…>" on one line, when it can be a tag or an angle-bracket link.
Ranges angleBrackets(std::string_view s)
{
    Ranges ranges;
    for (std::size_t i = 0; i + 1 < s.size(); ++i) {
        if (s[i] != '<' || !(std::isalpha(static_cast<unsigned char>(s[i + 1])) || std::strchr("/!?", s[i + 1])))
            continue;
        const std::size_t end = s.find_first_of("<>\n\r", i + 1);
        if (end != std::string_view::npos && s[end] == '>') {
            ranges.emplace_back(i, end + 1);
            i = end;
        }
    }
    return ranges;
}

// Bare links, from their scheme or "www." to the next blank or "<".
Ranges bareLinkRanges(std::string_view s)
{
    Ranges ranges;
    for (std::size_t i = 0; i < s.size(); ++i) {
        std::size_t begin = i;
        if (isSchemeSeparator(s, i)) {
            while (begin > 0 && std::isalpha(static_cast<unsigned char>(s[begin - 1])))
                --begin;
        } else if (!isWwwTrigger(s, i)) {
            continue;
        }
        std::size_t end = i;
        while (end < s.size() && !endsBareLink(s[end]))
            ++end;
        if (!ranges.empty() && ranges.back().second > begin)
            begin = ranges.back().second;
        if (end > begin)
            ranges.emplace_back(begin, end);
        i = end;
    }
    return ranges;
}

// The marks a placeholder would hide from the autolink extension, which keep their escapes: one
// just before "www.", where it tries a link, and "_" in a word with an "@", as it finds addresses
// in the text cmark-gfm has joined, where an escaped mark is itself again.
std::vector<bool> marksSeenByLinks(std::string_view s)
{
    std::vector<bool> seen(s.size(), false);
    std::size_t word = 0;
    bool address = false;
    for (std::size_t i = 0; i <= s.size(); ++i) {
        if (i == s.size() || isSpace(s[i])) {
            for (std::size_t j = word; address && j < i; ++j)
                seen[j] = seen[j] || s[j] == '_';
            word = i + 1;
            address = false;
            continue;
        }
        address = address || s[i] == '@';
        seen[i] = isDelimiterChar(s[i]) && isWwwTrigger(s, i + 1);
    }
    return seen;
}

// A delimiter run as cmark-gfm's inline parser pushes it: its mark, its length, whether it can
// open and close, and while the matching runs, what is left of it.
struct Delimiter {
    char mark;
    bool canOpen;
    bool canClose;
    std::uint32_t length;
    std::uint32_t left;
};

// The delimiter cmark-gfm pushes for the run [begin, end) of one mark, if any.
std::optional<Delimiter> delimiterRun(std::string_view s, std::size_t begin, std::size_t end)
{
    const char mark = s[begin];
    std::size_t length = end - begin;
    if (mark == '~') {
        // Strikethrough reads at most 100 at a time and takes only one or two.
        if (length > 100)
            begin = end - length % 100;
        length = end - begin;
        if (length != 1 && length != 2)
            return std::nullopt;
    }
    // Bytes of other scripts count as letters.
    const char before = begin > 0 ? s[begin - 1] : '\n';
    const char after = end < s.size() ? s[end] : '\n';
    const bool leftFlanking = !isSpace(after) && (!isAsciiPunct(after) || isSpace(before) || isAsciiPunct(before));
    const bool rightFlanking = !isSpace(before) && (!isAsciiPunct(before) || isSpace(after) || isAsciiPunct(after));
    Delimiter run{mark, leftFlanking, rightFlanking, std::uint32_t(length), std::uint32_t(length)};
    if (mark == '_') {
        run.canOpen = leftFlanking && (!rightFlanking || isAsciiPunct(before));
        run.canClose = rightFlanking && (!leftFlanking || isAsciiPunct(after));
    }
    if (!run.canOpen && !run.canClose)
        return std::nullopt;
    return run;
}

// Counts of the delimiters still in the list, by position, for the number between two.
class LiveCounts {
public:
    explicit LiveCounts(std::uint32_t count)
        : m_tree(count + 1, 0)
    {
        for (std::uint32_t i = 1; i <= count; ++i) {
            m_tree[i] += 1;
            if (const std::uint32_t parent = i + (i & (~i + 1)); parent <= count)
                m_tree[parent] += m_tree[i];
        }
    }
    void remove(std::uint32_t at)
    {
        for (std::uint32_t i = at + 1; i < m_tree.size(); i += i & (~i + 1))
            --m_tree[i];
    }
    // Those before `at`.
    std::uint64_t before(std::uint32_t at) const
    {
        std::uint64_t sum = 0;
        for (std::uint32_t i = at; i > 0; i -= i & (~i + 1))
            sum += m_tree[i];
        return sum;
    }

private:
    std::vector<std::uint32_t> m_tree;
};

// The steps cmark-gfm's emphasis matching takes over a text's delimiters, counted as it takes
// them, as that is what makes it quick on most texts and slow on some. Each closer walks back over
// the delimiters before it to an opener of its mark, or to the lowest place a closer of its kind
// (mark and length modulo 3) failed to find one before. That place is the delimiter just before
// that closer, and once that delimiter is matched and removed, the walks of the kind go back to the
// start again. A strikethrough closer that finds an opener of another length takes nothing away
// and leaves the place as it was, so its kind walks as far again each time. The walks are not
// taken here, only counted: the opener a closer finds is the nearest of the openers it may match,
// kept in sets by what decides that.
std::uint64_t emphasisSteps(const std::vector<Delimiter>& runs)
{
    constexpr std::uint32_t none = UINT32_MAX;
    std::vector<Delimiter> delimiters = runs;
    const std::uint32_t count = std::uint32_t(delimiters.size());
    std::vector<std::uint32_t> previous(count), next(count);
    std::vector<bool> live(count, true);
    LiveCounts counts(count);
    // Openers by mark, whether they can close, and length modulo 3.
    std::array<std::set<std::uint32_t>, 18> openers;
    const auto group = [](const Delimiter& d) {
        return std::size_t(placeholderMarks.find(d.mark)) * 6 + (d.canClose ? 3 : 0) + d.length % 3;
    };
    for (std::uint32_t i = 0; i < count; ++i) {
        previous[i] = i == 0 ? none : i - 1;
        next[i] = i + 1 == count ? none : i + 1;
        if (delimiters[i].canOpen)
            openers[group(delimiters[i])].insert(openers[group(delimiters[i])].end(), i);
    }
    const auto remove = [&](std::uint32_t i) {
        if (previous[i] != none)
            next[previous[i]] = next[i];
        if (next[i] != none)
            previous[next[i]] = previous[i];
        live[i] = false;
        counts.remove(i);
        if (delimiters[i].canOpen)
            openers[group(delimiters[i])].erase(i);
    };
    std::array<std::uint32_t, 9> bottoms;
    bottoms.fill(none);
    std::uint64_t steps = 0;
    std::uint32_t closer = count ? 0 : none;
    while (closer != none) {
        Delimiter& close = delimiters[closer];
        if (!close.canClose) {
            closer = next[closer];
            continue;
        }
        const std::size_t mark = placeholderMarks.find(close.mark);
        std::uint32_t& bottom = bottoms[mark * 3 + close.length % 3];
        // The nearest opener this closer may match: an opener and closer both can neither,
        // or their lengths do not add up to a multiple of 3 unless both are.
        std::uint32_t opener = none;
        for (const bool openerCanClose : {false, true}) {
            for (std::uint32_t length = 0; length < 3; ++length) {
                if ((close.canOpen || openerCanClose) && close.length % 3 != 0 && (length + close.length) % 3 == 0)
                    continue;
                const std::set<std::uint32_t>& set = openers[mark * 6 + (openerCanClose ? 3 : 0) + length];
                const auto found = set.lower_bound(closer);
                if (found != set.begin() && (opener == none || *std::prev(found) > opener))
                    opener = *std::prev(found);
            }
        }
        const bool stopped = bottom != none && live[bottom] && (opener == none || bottom > opener);
        const std::uint32_t old = closer;
        if (opener == none || stopped) {
            steps += counts.before(closer) - (stopped ? counts.before(bottom) + 1 : 0);
            bottom = previous[old];
            closer = next[old];
            if (!close.canOpen)
                remove(old);
            continue;
        }
        steps += counts.before(closer) - counts.before(opener);
        Delimiter& open = delimiters[opener];
        if (close.mark == '~' && open.left != close.left) {
            closer = next[old];
            continue;
        }
        for (std::uint32_t between = previous[closer]; between != opener;) {
            const std::uint32_t before = previous[between];
            ++steps;
            remove(between);
            between = before;
        }
        const std::uint32_t used = close.mark == '~' ? close.left : close.left >= 2 && open.left >= 2 ? 2 : 1;
        open.left -= used;
        close.left -= used;
        if (open.left == 0)
            remove(opener);
        if (close.left == 0) {
            closer = next[old];
            remove(old);
        }
    }
    return steps;
}

// The bytes that matter to the bracket count outside a bare link; runs of the others are
// skipped, as they change nothing.
constexpr std::array<bool, 256> bracketStops = [] {
    std::array<bool, 256> stops{};
    for (const char c : std::string_view("\\[]!*_~:w"))
        stops[static_cast<unsigned char>(c)] = true;
    return stops;
}();

void measureBrackets(std::string_view s, bool bareLinks, InlineWork& work)
{
    std::vector<Delimiter> delimiters;
    std::uint64_t linkWalks = 0;
    std::uint64_t openBrackets = 0;
    std::uint64_t closers = 0;
    std::uint64_t imageOpeners = 0;
    bool inBareLink = false; // a backslash inside a bare link is part of it, not an escape
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (!inBareLink) {
            while (i < s.size() && !bracketStops[static_cast<unsigned char>(s[i])])
                ++i;
            if (i == s.size())
                break;
        }
        const char c = s[i];
        if (endsBareLink(c))
            inBareLink = false;
        else if (bareLinks && (isSchemeSeparator(s, i) || isWwwTrigger(s, i)))
            inBareLink = true;
        if (c == '\\' && i + 1 < s.size() && isAsciiPunct(s[i + 1])) {
            if (inBareLink && isDelimiterChar(s[i + 1]))
                delimiters.push_back({s[i + 1], true, true, 1, 1});
            ++i;
            continue;
        }
        if (c == '[') {
            ++openBrackets;
        } else if (c == ']') {
            ++closers;
            // A link made walks the delimiters pending before it.
            if (openBrackets) {
                --openBrackets;
                linkWalks += delimiters.size();
            }
        } else if (c == '!' && i + 1 < s.size() && s[i + 1] == '[') {
            ++imageOpeners;
        } else if (isDelimiterChar(c)) {
            const std::size_t end = std::min(s.find_first_not_of(c, i), s.size());
            if (const std::optional<Delimiter> run = delimiterRun(s, i, end))
                delimiters.push_back(*run);
            i = end - 1;
        }
    }
    work.emphasis = linkWalks + emphasisSteps(delimiters);
    work.images = imageOpeners * closers;
}

void measureBareLinks(std::string_view s, InlineWork& work)
{
    // Every scan counted below starts at one of these; most texts have none.
    if (s.find("www.") == std::string_view::npos && s.find("://") == std::string_view::npos
        && s.find('@') == std::string_view::npos)
        return;
    // Domain scans: each "www." scans to the end of the domain run it is in.
    std::uint64_t triggers = 0;
    std::uint64_t triggerOffsets = 0;
    // Parentheses: each link start counts the parentheses after it in its link, once per one.
    std::vector<std::pair<std::size_t, std::uint64_t>> linkStarts; // offset, parentheses before
    std::uint64_t parentheses = 0;
    // Address scans.
    std::size_t addressBegin = 0;
    std::uint64_t ats = 0;
    for (std::size_t i = 0; i <= s.size(); ++i) {
        const char c = i < s.size() ? s[i] : ' ';
        const bool www = i < s.size() && isWwwTrigger(s, i);
        if (isDomainChar(c)) {
            if (www) {
                ++triggers;
                triggerOffsets += i;
            }
        } else if (triggers) {
            work.domainScans += triggers * i - triggerOffsets;
            triggers = 0;
            triggerOffsets = 0;
        }

        if (endsBareLink(c)) {
            for (const auto& [start, before] : linkStarts)
                work.linkParentheses += (parentheses - before) * (i - start);
            linkStarts.clear();
            parentheses = 0;
        } else {
            if (c == ')')
                ++parentheses;
            if (www || isSchemeSeparator(s, i))
                linkStarts.emplace_back(i, parentheses);
        }

        if (i < s.size() && isAddressChar(c)) {
            ats += c == '@';
        } else {
            if (ats)
                work.emailScans += std::min<std::uint64_t>(ats, 1000) * (i - addressBegin);
            ats = 0;
            addressBegin = i + 1;
        }
    }
}

} // namespace

namespace {

// The cells of a table row at the start of its line, counted as cmark-gfm's table extension
// counts them: between unescaped pipes, the leading one and a trailing one not starting cells.
// 0 when the line does not start with a pipe.
std::size_t rowCells(std::string_view line)
{
    if (line.empty() || line[0] != '|')
        return 0;
    std::size_t pipes = 0;
    bool escaped = false;
    bool lastIsPipe = false;
    for (const char c : line) {
        if (c == ' ' || c == '\t')
            continue;
        lastIsPipe = !escaped && c == '|';
        pipes += lastIsPipe;
        escaped = !escaped && c == '\\';
    }
    return pipes - (lastIsPipe ? 1 : 0);
}

// A delimiter row starting with a pipe: cells of blanks around ":?-+:?".
bool isDelimiterRow(std::string_view line)
{
    if (line.empty() || line[0] != '|')
        return false;
    std::size_t at = 1;
    bool cells = false;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
            ++at;
        if (at == line.size())
            break;
        if (line[at] == ':')
            ++at;
        const std::size_t dashes = at;
        while (at < line.size() && line[at] == '-')
            ++at;
        if (at == dashes)
            return false;
        if (at < line.size() && line[at] == ':')
            ++at;
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
            ++at;
        cells = true;
        if (at < line.size() && line[at] != '|')
            return false;
        ++at;
    }
    return cells;
}

} // namespace

std::vector<Segment> lineRuns(std::string_view text, bool tables)
{
    std::vector<Segment> runs;
    // The lines of the run being read: its first line, and where its table stands.
    std::size_t runLines = 0;
    std::size_t headerCells = 0;
    bool inRows = false; // table rows, each an inline text of its own
    forEachLine(text, [&](const Line& line) {
        const std::string_view s = lineText(text, line);
        if (isBlankOrQuoteMarkers(s)) {
            runLines = 0;
            return;
        }
        ++runLines;
        // A run that is certainly a table: a header line and a delimiter row of as many
        // cells, each line starting with a pipe (which starts no other block), then rows
        // starting with one. cmark-gfm parses each row apart.
        if (tables && runLines == 1) {
            headerCells = rowCells(s);
            inRows = false;
        } else if (tables && runLines == 2 && headerCells > 0 && isDelimiterRow(s) && rowCells(s) == headerCells) {
            inRows = true;
        } else if (inRows && rowCells(s) == 0) {
            inRows = false; // what follows the rows is measured as one
        }
        if (runLines > 1 && !inRows)
            runs.back().end = line.end;
        else
            runs.push_back({line.begin, line.end});
    });
    return runs;
}

bool isPlainParagraph(std::string_view lines)
{
    bool first = true;
    bool plain = true;
    forEachLine(lines, [&](const Line& line) {
        if (!plain)
            return;
        const std::string_view s = lineText(lines, line);
        const std::size_t at = s.find_first_not_of(' ');
        const bool isFirst = std::exchange(first, false);
        if (at == std::string_view::npos || s[at] == '\t') {
            plain = false;
            return;
        }
        // Past three spaces a line goes on the paragraph; a first line so indented is code.
        if (at >= 4) {
            plain = !isFirst;
            return;
        }
        const std::string_view rest = s.substr(at);
        const auto c = static_cast<unsigned char>(rest[0]);
        plain = std::isalpha(c) || c >= 0x80 || c == '[' || c == '!' || (c == '`' && !rest.starts_with("```"))
            || (c == '*' && rest.size() > 1 && rest[1] != ' ' && rest[1] != '\t' && !isThematicBreak(rest));
    });
    return plain;
}

std::vector<Segment> inlineUnits(std::string_view text, bool tables)
{
    const std::vector<Line> lines = splitLines(text);
    const std::string copy = neutralised(text);
    const CmarkTree root = parseCmark(copy, tables ? CmarkExtension::table : 0u);
    // What each line holds: 0 unknown, 1 no inline text, 2 + k the k-th unit.
    std::vector<std::size_t> owner(lines.size(), 0);
    std::vector<std::pair<int, int>> units; // 1-based line ranges
    const int lastLine = int(lines.size());
    const auto mark = [&](int first, int last, std::size_t value) {
        for (int line = std::max(first, 1); line <= std::min(last, lastLine); ++line)
            owner[line - 1] = value;
    };
    const auto unit = [&](int first, int last) {
        if (first < 1 || first > lastLine)
            return;
        units.emplace_back(first, std::min(std::max(first, last), lastLine));
        mark(units.back().first, units.back().second, units.size() + 1);
    };
    if (root) {
        cmark_iter* iter = cmark_iter_new(root.get());
        while (cmark_iter_next(iter) != CMARK_EVENT_DONE) {
            if (cmark_iter_get_event_type(iter) != CMARK_EVENT_ENTER)
                continue;
            cmark_node* node = cmark_iter_get_node(iter);
            const int first = cmark_node_get_start_line(node);
            const int last = cmark_node_get_end_line(node);
            const std::string_view type = cmark_node_get_type_string(node);
            if (type == "paragraph" || type == "heading") {
                unit(first, last);
            } else if (type == "code_block" || type == "html_block" || type == "thematic_break") {
                mark(first, last, 1);
            } else if (type == "table") {
                // The table starts at the paragraph its header was taken from (whose lines have
                // no position of their own), and its header's position is that paragraph's too;
                // the rows' positions hold. The header is the line before the delimiter row.
                int firstRow = 0;
                for (cmark_node* row = cmark_node_first_child(node); row; row = cmark_node_next(row)) {
                    if (std::string_view(cmark_node_get_type_string(row)) != "table_row")
                        continue;
                    const int line = cmark_node_get_start_line(row);
                    firstRow = firstRow ? firstRow : line;
                    unit(line, line);
                }
                const int header = firstRow ? firstRow - 2 : last - 1;
                if (header > first)
                    unit(first, header - 1);
                unit(header, header);
                mark(header + 1, header + 1, 1);
            }
        }
        cmark_iter_free(iter);
    }
    // Lines no block accounts for are measured too, in runs.
    for (int line = 1; line <= lastLine; ++line) {
        if (owner[line - 1] != 0 || isBlankOrQuoteMarkers(lineText(text, lines[line - 1])))
            continue;
        if (!units.empty() && units.back().second == line - 1 && owner[line - 2] == units.size() + 1)
            units.back().second = line;
        else
            units.emplace_back(line, line);
        owner[line - 1] = units.size() + 1;
    }
    std::sort(units.begin(), units.end());
    std::vector<Segment> segments;
    for (const auto& [first, last] : units) {
        const Segment segment{lines[first - 1].begin, lines[last - 1].end};
        if (!segments.empty() && segment.begin <= segments.back().end)
            segments.back().end = std::max(segments.back().end, segment.end);
        else
            segments.push_back(segment);
    }
    return segments;
}

InlineWork& InlineWork::operator+=(const InlineWork& other)
{
    emphasis += other.emphasis;
    images += other.images;
    domainScans += other.domainScans;
    linkParentheses += other.linkParentheses;
    emailScans += other.emailScans;
    return *this;
}

InlineWork inlineWork(std::string_view text, bool bareLinks)
{
    InlineWork work;
    measureBrackets(text, bareLinks, work);
    if (bareLinks)
        measureBareLinks(text, work);
    return work;
}

namespace {

// Whether text[at] starts a numeric character reference ("&#" decimal or "&#x" hex digits, then
// ";") to a placeholder, which cmark-gfm decodes into the character itself. Any number of digits
// counts: one too many for cmark-gfm to decode only makes the text escaped needlessly.
bool isPlaceholderReference(std::string_view text, std::size_t at)
{
    std::size_t p = at + 2;
    const bool hex = p < text.size() && (text[p] == 'x' || text[p] == 'X');
    p += hex;
    const std::size_t digits = p;
    std::uint32_t value = 0;
    for (; p < text.size(); ++p) {
        const char c = text[p];
        const char lower = static_cast<char>(c | 0x20);
        unsigned digit = 0;
        if (c >= '0' && c <= '9')
            digit = unsigned(c - '0');
        else if (hex && lower >= 'a' && lower <= 'f')
            digit = unsigned(lower - 'a' + 10);
        else
            break;
        value = std::min<std::uint32_t>(value * (hex ? 16 : 10) + digit, 0x110000);
    }
    return p > digits && p < text.size() && text[p] == ';' && value >= 0xFDD0 && value < 0xFDD0 + placeholderMarks.size();
}

} // namespace

bool holdsPlaceholders(std::string_view text)
{
    for (std::size_t at = text.find(placeholderLead); at != std::string_view::npos;
         at = text.find(placeholderLead, at + 1)) {
        if (at + 2 < text.size() && markOfPlaceholder(text[at + 2]))
            return true;
    }
    for (std::size_t at = text.find("&#"); at != std::string_view::npos; at = text.find("&#", at + 2)) {
        if (isPlaceholderReference(text, at))
            return true;
    }
    return false;
}

void restoreMarks(std::string& s)
{
    std::size_t at = s.find(placeholderLead);
    if (at == std::string::npos)
        return;
    std::size_t written = at;
    while (at < s.size()) {
        const bool lead = at + 2 < s.size() && s.compare(at, 2, placeholderLead) == 0;
        const char mark = lead ? markOfPlaceholder(s[at + 2]) : 0;
        s[written++] = mark ? mark : s[at];
        at += mark ? 3 : 1;
    }
    s.resize(written);
}

std::string defuse(std::string_view s, unsigned kinds, bool thorough, bool bareLinks, MarkStyle style)
{
    // What is copied as it is: each line's container markers and ending, and in a careful
    // rewrite the ranges it keeps exact.
    std::vector<bool> verbatim(s.size(), false);
    forEachLine(s, [&](const Line& line) {
        std::fill_n(verbatim.begin() + std::ptrdiff_t(line.begin), containerPrefix(lineText(s, line)), true);
    });
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\n' || s[i] == '\r')
            verbatim[i] = true;
    }
    if (!thorough) {
        for (const Ranges& ranges : {codeSpans(s), angleBrackets(s), bareLinks ? bareLinkRanges(s) : Ranges{}}) {
            for (const auto& [begin, end] : ranges)
                std::fill(verbatim.begin() + std::ptrdiff_t(begin), verbatim.begin() + std::ptrdiff_t(end), true);
        }
    }
    const std::vector<bool> escaped
        = style == MarkStyle::escapes ? std::vector<bool>(s.size(), true)
        : bareLinks                   ? marksSeenByLinks(s)
                                      : std::vector<bool>(s.size(), false);
    std::string result;
    result.reserve(s.size() + s.size() / 4);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (verbatim[i]) {
            result += c;
        } else if (c == '\\' && i + 1 < s.size() && isAsciiPunct(s[i + 1])) {
            result.append(s.substr(i, 2));
            ++i;
        } else if ((kinds & defuseEmphasis) && isDelimiterChar(c)) {
            if (escaped[i]) {
                result += '\\';
                result += c;
            } else {
                result += placeholderLead;
                result += char(0x90 + placeholderMarks.find(c));
            }
        } else if ((kinds & defuseImages) && c == '!' && i + 1 < s.size() && s[i + 1] == '[') {
            result += "!\\[";
            ++i;
        } else if (thorough && bareLinks && isSchemeSeparator(s, i)) {
            result += "\\:"; // the link becomes text, and its backslashes escapes
        } else if (thorough && bareLinks && isWwwTrigger(s, i)) {
            result += "www\\.";
            i += 3;
        } else {
            result += c;
        }
    }
    return result;
}

} // namespace markdown::detail
