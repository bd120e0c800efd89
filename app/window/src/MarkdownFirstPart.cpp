#include "window/MarkdownFirstPart.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace quillora {

namespace {

constexpr std::size_t npos = std::string_view::npos;

bool isLineEnd(char c) { return c == '\n' || c == '\r'; }
bool isSpaceOrTab(char c) { return c == ' ' || c == '\t'; }
bool isAsciiPunctuation(char c)
{
    return (c >= '!' && c <= '/') || (c >= ':' && c <= '@') || (c >= '[' && c <= '`') || (c >= '{' && c <= '~');
}

std::size_t backtickRunEnd(std::string_view text, std::size_t at)
{
    while (at < text.size() && text[at] == '`')
        ++at;
    return at;
}

// Where the backtick runs that start in [from, to) start, by length: a code span opened by a
// run closes at the next run of its length. A run is taken whole even past `to`; one that began
// before `from` is left out.
class BacktickRuns {
public:
    BacktickRuns(std::string_view text, std::size_t from, std::size_t to)
    {
        std::size_t at = from > 0 && from < text.size() && text[from - 1] == '`' ? backtickRunEnd(text, from) : from;
        const std::string_view searched = text.substr(0, to);
        while ((at = searched.find('`', at)) != npos) {
            const std::size_t end = backtickRunEnd(text, at);
            m_starts[end - at].push_back(at);
            at = end;
        }
    }

    // Where the first run of exactly `length` starting at or after `from` starts.
    std::optional<std::size_t> next(std::size_t length, std::size_t from) const
    {
        const auto runs = m_starts.find(length);
        if (runs == m_starts.end())
            return std::nullopt;
        const auto found = std::lower_bound(runs->second.begin(), runs->second.end(), from);
        return found == runs->second.end() ? std::nullopt : std::optional(*found);
    }

private:
    std::map<std::size_t, std::vector<std::size_t>> m_starts;
};

// Where the paragraph holding `from` ends: after its first blank line, or at the end.
std::size_t paragraphEnd(std::string_view text, std::size_t from)
{
    std::size_t lineEnd = text.find_first_of("\r\n", from);
    while (lineEnd != npos) {
        std::size_t next = lineEnd + 1;
        if (text[lineEnd] == '\r' && next < text.size() && text[next] == '\n')
            ++next;
        const std::size_t visible = text.find_first_not_of(" \t", next);
        if (visible == npos || isLineEnd(text[visible]))
            return visible == npos ? text.size() : visible;
        lineEnd = text.find_first_of("\r\n", visible);
    }
    return text.size();
}

// Where the scans of a link's tail end, for a scan starting anywhere in [start, limit), found in
// a pass over the line each way: scanning on from each "](" anew is quadratic in a line of them.
// A backslash escapes the byte after it as the scans read it, from the line's start: a scan never
// starts just after a backslash, so it reads the escapes as the line does.
class TailEnds {
public:
    TailEnds(std::string_view text, std::size_t start, std::size_t limit)
        : m_start(start)
        , m_limit(limit)
    {
        const std::size_t n = limit - start;
        std::vector<bool> escaped(n + 1, false);
        std::vector<std::int32_t> depth(n + 1, 0); // unescaped "(" less ")" before each byte
        for (std::size_t i = 0; i < n; ++i) {
            const char c = text[start + i];
            escaped[i + 1] = c == '\\' && !escaped[i];
            depth[i + 1] = depth[i] + (escaped[i] ? 0 : c == '(' ? 1 : c == ')' ? -1 : 0);
        }
        for (auto& ends : m_next)
            ends.assign(n + 1, std::uint32_t(n));
        m_destination.assign(n + 1, std::uint32_t(n));
        // The first byte at which each depth is reached, from the end back.
        constexpr std::uint32_t never = UINT32_MAX;
        std::vector<std::uint32_t> reached(2 * n + 3, never);
        const auto slot = [&](std::int32_t d) { return std::size_t(d + std::int32_t(n) + 1); };
        for (std::size_t i = n; i-- > 0;) {
            const char c = text[start + i];
            for (std::size_t k = 0; k < m_next.size(); ++k)
                m_next[k][i] = !escaped[i] && matches(k, c) ? std::uint32_t(i) : m_next[k][i + 1];
            reached[slot(depth[i + 1])] = std::uint32_t(i + 1);
            // A ")" closing more than the scan opened ends it: the byte before the first one at a
            // depth below the scan's start.
            const std::uint32_t below = reached[slot(depth[i] - 1)];
            m_destination[i] = std::min(m_next[blank][i], below == never ? std::uint32_t(n) : below - 1);
        }
    }

    // The end of a destination not in angle brackets that starts at `at`: its first blank, a ")"
    // closing more parentheses than it opened, or the limit.
    std::size_t destinationEnd(std::size_t at) const { return at >= m_limit ? m_limit : m_start + m_destination[at - m_start]; }
    // The first unescaped `close` ('"', '\'' or ')') at or after `at`, or the limit.
    std::size_t next(char close, std::size_t at) const
    {
        const std::size_t k = close == '"' ? quote : close == '\'' ? apostrophe : parenthesis;
        return at >= m_limit ? m_limit : m_start + m_next[k][at - m_start];
    }

private:
    enum { blank, quote, apostrophe, parenthesis, kinds };
    static bool matches(std::size_t kind, char c)
    {
        switch (kind) {
        case blank: return static_cast<unsigned char>(c) <= ' ';
        case quote: return c == '"';
        case apostrophe: return c == '\'';
        default: return c == ')';
        }
    }

    std::size_t m_start;
    std::size_t m_limit;
    std::array<std::vector<std::uint32_t>, kinds> m_next;
    std::vector<std::uint32_t> m_destination;
};

// A link's destination and title, read from just after "](" as far as `limit`: closed (`end`
// after its parenthesis), open across the limit, or no destination at all.
struct LinkTail {
    enum class Kind { closed, open, none };
    Kind kind = Kind::none;
    std::size_t end = 0;
};

LinkTail linkTail(std::string_view text, std::size_t at, std::size_t limit, const TailEnds& ends)
{
    const auto skipSpaces = [&](std::size_t p) {
        while (p < limit && isSpaceOrTab(text[p]))
            ++p;
        return p;
    };
    const LinkTail open{LinkTail::Kind::open};
    std::size_t p = skipSpaces(at);
    if (p < limit && text[p] == '<') {
        // Ends at the next "<": scans from different openers do not overlap.
        for (++p; p < limit && text[p] != '>'; ++p) {
            if (text[p] == '<' || isLineEnd(text[p]))
                return {};
            if (text[p] == '\\')
                ++p;
        }
        if (p >= limit)
            return open;
        ++p;
    } else {
        p = ends.destinationEnd(p);
    }
    p = skipSpaces(p);
    if (p < limit && (text[p] == '"' || text[p] == '\'' || text[p] == '(')) {
        p = ends.next(text[p] == '(' ? ')' : text[p], p + 1);
        p = skipSpaces(p + 1);
    }
    if (p >= limit)
        return open;
    return text[p] == ')' ? LinkTail{LinkTail::Kind::closed, p + 1} : LinkTail{};
}

// The cut in the line [start, limit), which has no line end: before its last space or tab
// outside a code span and a link (its text, destination and title), else at the last character
// boundary before a code span or link open across the limit (or before the limit itself).
std::size_t cutInLine(std::string_view text, std::size_t start, std::size_t limit)
{
    const BacktickRuns runs(text, start, limit);
    // What lies beyond the limit is looked at only for what is still open there.
    std::optional<std::size_t> end;
    const auto paragraphEndAfterLimit = [&] {
        if (!end)
            end = paragraphEnd(text, limit);
        return *end;
    };
    std::optional<BacktickRuns> laterRuns;
    const auto closesLater = [&](std::size_t length) {
        if (!laterRuns)
            laterRuns.emplace(text, limit, paragraphEndAfterLimit());
        return laterRuns->next(length, limit).has_value();
    };
    // A bracket that may open a link's text, with the last space before it.
    struct Opener {
        std::size_t at;
        std::size_t spaceBefore;
    };
    std::vector<Opener> brackets;
    std::optional<TailEnds> tailEnds;
    std::size_t lastSpace = npos;
    std::size_t openFrom = limit;
    for (std::size_t p = start; p < limit;) {
        const char c = text[p];
        if (isSpaceOrTab(c)) {
            lastSpace = p++;
        } else if (c == '\\' && p + 1 < limit && isAsciiPunctuation(text[p + 1])) {
            p += 2;
        } else if (c == '`') {
            const std::size_t runEnd = backtickRunEnd(text, p);
            const std::size_t length = runEnd - p;
            const std::optional<std::size_t> close = runs.next(length, runEnd);
            if (close && *close + length <= limit) {
                p = *close + length;
            } else if (close || closesLater(length)) {
                openFrom = p;
                break;
            } else {
                p = runEnd; // no run closes it: the backticks are text
            }
        } else if (c == '[' || (c == '!' && p + 1 < limit && text[p + 1] == '[')) {
            brackets.push_back({p, lastSpace});
            p += c == '!' ? 2 : 1;
        } else if (c == ']') {
            const std::optional<Opener> opener
                = brackets.empty() ? std::nullopt : std::optional(brackets.back());
            if (opener)
                brackets.pop_back();
            // The text goes on past the limit, so the byte after the last one can be read.
            if (text[p + 1] == '(' && !tailEnds)
                tailEnds.emplace(text, start, limit);
            const LinkTail tail = text[p + 1] == '(' ? linkTail(text, p + 2, limit, *tailEnds) : LinkTail{};
            if (tail.kind == LinkTail::Kind::none) {
                ++p;
                continue;
            }
            // The spaces of a link's text are inside it, whether it closes or not.
            if (opener)
                lastSpace = opener->spaceBefore;
            if (tail.kind == LinkTail::Kind::open) {
                openFrom = opener ? opener->at : p;
                break;
            }
            p = tail.end;
        } else {
            ++p;
        }
    }
    // A bracket still open where the scan ends may be a link's text that closes later.
    if (!brackets.empty() && text.substr(0, paragraphEndAfterLimit()).find(']', openFrom) != npos) {
        openFrom = brackets.front().at;
        lastSpace = brackets.front().spaceBefore;
    }
    if (lastSpace != npos)
        return lastSpace;
    std::size_t cut = openFrom;
    while (cut > start && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return cut;
}

} // namespace

std::size_t markdownFirstPartLength(std::string_view utf8, std::size_t limit)
{
    if (utf8.size() <= limit)
        return utf8.size();
    const std::size_t lastLineEnd = utf8.substr(0, limit).find_last_of("\r\n");
    const std::size_t lineStart = lastLineEnd == npos ? 0 : lastLineEnd + 1;
    if (limit - lineStart <= limit / 2)
        return lineStart;
    return cutInLine(utf8, lineStart, limit);
}

std::string markdownFirstPart(std::string_view utf8, std::size_t limit)
{
    const std::size_t length = markdownFirstPartLength(utf8, limit);
    if (length > 0 || utf8.empty() || utf8[0] != '`')
        return std::string(utf8.substr(0, length));
    // Nothing before the span: it is open across the limit, and no run of its length comes before.
    const std::size_t opener = backtickRunEnd(utf8, 0);
    std::size_t cut = limit;
    while (cut > opener && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80)
        --cut;
    while (cut > opener && utf8[cut - 1] == '`')
        --cut;
    if (cut == opener)
        return {};
    std::string part(utf8.substr(0, cut));
    part.append(opener, '`');
    return part;
}

} // namespace quillora
