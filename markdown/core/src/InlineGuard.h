#pragma once

// Linear estimates of what cmark-gfm's inline parsing costs, per stretch of text it parses as
// one, and the rewrites that take the cost away while keeping the text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace markdown::detail {

// Whole lines of a text, [begin, end) in bytes.
struct Segment {
    std::size_t begin = 0;
    std::size_t end = 0;
};

// Runs of non-blank lines: each holds whole any text cmark-gfm parses as one inline text (a
// paragraph, a heading, a table row), but may hold several, and code as well; the rows of a run
// that is certainly a table (with `tables`) come one by one. Measuring these overstates the
// work, cheaply; the units below are measured only when these pass a bound.
std::vector<Segment> lineRuns(std::string_view text, bool tables = true);

// Whether lines can only be one paragraph: the first line opens one and no other opens or
// interrupts another block, each starting with a letter or with a mark that cannot start a
// block there. Such a run of lines is its own inline unit.
bool isPlainParagraph(std::string_view lines);

// The lines of each inline text (paragraph, heading, table row) as cmark-gfm's own block
// structure has them, found by parsing a copy whose emphasis and bracket marks are
// neutralised (cheap to parse, with the same lines and blocks). Lines of no known block come
// as units of their own, so that nothing goes unmeasured.
std::vector<Segment> inlineUnits(std::string_view text, bool tables);

// Upper bounds of cmark-gfm's superlinear inline work on one stretch of text.
struct InlineWork {
    // The steps of cmark-gfm's emphasis matching, counted by doing it as it does (most texts
    // take about one per delimiter run; some take one per pair of them), and every link made
    // walks the delimiters pending before it: those steps plus, for each closing bracket that
    // may end a link, the delimiter runs before it.
    std::uint64_t emphasis = 0;
    // Every link made walks the image openers pending before it: "![" times "]".
    std::uint64_t images = 0;
    // A "www." that fails as a link rescans the domain after it, up to the next space or
    // punctuation, from each such "www." in it: the bytes scanned.
    std::uint64_t domainScans = 0;
    // A bare link trims its closing parentheses one at a time, counting the parentheses of
    // the whole link each time: parentheses times length.
    std::uint64_t linkParentheses = 0;
    // Each "@" of a run of address characters scans to the run's end, up to 1000 times per
    // text: "@" (at most 1000) times run length.
    std::uint64_t emailScans = 0;

    InlineWork& operator+=(const InlineWork& other);
};

// `bareLinks`: the autolink extension takes bare links, whose text delimiters are not.
InlineWork inlineWork(std::string_view text, bool bareLinks);

enum DefuseKind : unsigned {
    defuseEmphasis = 1, // "*", "_" and "~" escaped or replaced (see MarkStyle)
    defuseImages = 2,   // "![" written "!\["
};

// How a rewrite writes the emphasis marks it defuses: escaped with a backslash, or replaced by
// placeholders that cmark-gfm reads as plain text, the noncharacters U+FDD0, U+FDD1 and U+FDD2
// for "*", "_" and "~", which restoreMarks() turns back. While it parses a paragraph, cmark-gfm
// holds a node for every escape and for every piece of text between two (it joins them only at
// the end), whereas the text around placeholders stays one piece: a long paragraph of marks
// takes a fraction of the memory. Placeholders serve only a text that holds none of its own (see
// holdsPlaceholders()), so that no character is ever changed; and the marks the autolink
// extension reads (one just before "www.", "_" in a word with an "@") keep their escapes.
enum class MarkStyle { escapes, placeholders };

// Whether the text holds a placeholder character, written as it is or as a numeric reference
// (which cmark-gfm decodes into the character).
bool holdsPlaceholders(std::string_view text);

// The string with every placeholder turned back into its mark.
void restoreMarks(std::string& s);

// The lines with the marks of the given kinds defused, after each line's container markers.
// A careful rewrite leaves code spans, angle-bracket links and tags, and bare links as they
// are (so their text stays exact); a thorough one defuses everything and turns bare links into
// text, as a backslash inside a bare link is part of it.
std::string defuse(std::string_view lines, unsigned kinds, bool thorough, bool bareLinks, MarkStyle style);

} // namespace markdown::detail
