#include "window/MarkdownFirstPart.h"

#include <markdown/MarkdownContent.h>

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>

using quillora::markdownFirstPartLength;

namespace {

struct CutCase {
    const char* name;
    const char* text; // '|' marks the limit and is not part of the text
    const char* firstPart;
};

// Each text is longer than its limit.
const CutCase cutCases[] = {
    {"the last line end when the line after it is short", "a first line that is long\nthen| more",
     "a first line that is long\n"},
    {"a lone CR is a line end", "a first line that is long\rthen| more", "a first line that is long\r"},
    {"a long line after an early line end is cut at its last space", "# Title\nwords and more words past| the limit",
     "# Title\nwords and more words"},
    {"no line end: before the last space", "*a* _b_ **c** `d` [e](f) ~~g~~ wor|d more", "*a* _b_ **c** `d` [e](f) ~~g~~"},
    {"a tab is a space", "words\tand\tta|bs more", "words\tand"},
    {"a code span open across the cut is left out", "some words `a code span with sp|aces` and after", "some words"},
    {"spaces inside a closed code span are not cut at", "x `a b c d e f`yyyyyyyy|yy more", "x"},
    {"a code span closes at a run of its own length", "x ``a ` b`` c ``d e|`` f", "x ``a ` b`` c"},
    {"a backtick that nothing closes is text", "a ` stray backtick then words| and more", "a ` stray backtick then"},
    {"a backtick closed only in another paragraph is text", "a ` backtick closed in another p|aragraph\n\n`",
     "a ` backtick closed in another"},
    {"a backtick closed later in its paragraph opens a code span", "a ` backtick closed in the same p|aragraph\n`", "a"},
    {"an escaped backtick opens nothing", "an \\` escaped backtick and wor|ds `", "an \\` escaped backtick and"},
    {"a link whose title is open across the cut is left out", "see [text](dest \"title with spa|ces\")", "see"},
    {"a link whose text is open across the cut is left out", "go [a link text that goes| on](f)", "go"},
    {"spaces in a closed link's title are not cut at", "go [e](f \"a b c\")zzzzz|zz more", "go"},
    {"spaces in a closed link's text are not cut at", "go [e e](f)zzzz|z more", "go"},
    {"a bracket that ends at the limit may open a link", "go [e e e e]|(f)", "go"},
    {"spaces in an angle-bracket destination are not cut at", "go [e](<a b c>)zzzz|z more", "go"},
    {"a destination holds balanced parentheses", "go [e](f(g) \"t t\")zzz|z more", "go"},
    {"brackets that make no link leave their spaces", "[a b] c d e|f", "[a b] c d"},
    {"a bracket that nothing closes is text", "a [ stray bracket and wor|ds", "a [ stray bracket and"},
    {"\"](\" with no destination is text", "](a b c d|e", "](a b c"},
    {"\"](\" over and over with no destination is text", "](](](](](](]( a wor|ds", "](](](](](](]( a"},
    {"a destination closes at a parenthesis it did not open", "[x](a(b)c)d e f g|h", "[x](a(b)c)d e f"},
    {"an escaped parenthesis closes nothing", "[x](a\\)b) c d|e", "[x](a\\)b) c"},
    {"a destination open at a space is no link", "[x](a(b c) d|e", "[x](a(b c)"},
    {"a title in parentheses", "[x](a (t t)) c d|e", "[x](a (t t)) c"},
    {"an escaped quote does not end a title", "[x](a \"t\\\" t\") c d|e", "[x](a \"t\\\" t\") c"},
    {"no space at all: the limit", "abcdefghij|klmnop", "abcdefghij"},
    {"no space: not inside a character", "abcdefgh\xF0\x9F|\x98\x80ijk", "abcdefgh"},
    {"no space: after a whole character", "abcd\xC3\xA9|fgh", "abcd\xC3\xA9"},
    {"a code span open from the start leaves nothing", "`code from the start| to beyond`", ""},
    {"a line open from its start is left out whole", "# Title\n`a long code| span`", "# Title\n"},
};

TEST(MarkdownFirstPart, IsCutAtTheLastSafePlace)
{
    for (const CutCase& c : cutCases) {
        SCOPED_TRACE(c.name);
        std::string text = c.text;
        const std::size_t limit = text.find('|');
        ASSERT_NE(limit, std::string::npos);
        text.erase(limit, 1);
        EXPECT_EQ(text.substr(0, markdownFirstPartLength(text, limit)), c.firstPart);
    }
    EXPECT_EQ(markdownFirstPartLength("within the limit", 40), 16u);
}

// A text that opens with a code span closing past the limit is shown as that code so far.
TEST(MarkdownFirstPart, CodeSpanOpenFromTheStartIsShownAsCode)
{
    const struct {
        const char* text; // '|' marks the limit
        const char* firstPart;
        const char* code; // the one inline the first part parses to
    } cases[] = {
        {"`code from the start| to beyond`", "`code from the start`", "code from the start"},
        {"``a ` b| c``", "``a ` b``", "a ` b"},
        {"`ab``|c`", "`ab`", "ab"},
        {"`abcd\xC3|\xA9 f`", "`abcd`", "abcd"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string text = c.text;
        const std::size_t limit = text.find('|');
        text.erase(limit, 1);
        const std::string first = quillora::markdownFirstPart(text, limit);
        EXPECT_EQ(first, c.firstPart);
        const markdown::MarkdownContent parsed{std::string_view(first)};
        ASSERT_EQ(parsed.blocks().size(), 1u);
        EXPECT_EQ(parsed.blocks()[0].as<markdown::BlockNode::Paragraph>()->content,
                  std::vector<markdown::InlineNode>{markdown::InlineNode::code(c.code)});
    }
    // Otherwise the first part is the cut's.
    EXPECT_EQ(quillora::markdownFirstPart("# Title\n`a long code span`", 14), "# Title\n");
    EXPECT_EQ(quillora::markdownFirstPart("words and `more` words", 13), "words and");
    EXPECT_EQ(quillora::markdownFirstPart("[a link text from the start](x)", 10), "");
}

// A line of inline tokens, some with spaces inside their code spans, link texts and titles, cut
// at every limit: the beginning parses to the whole's first inlines, but for the text it ends
// with, so that what is shown first is never a code span or link broken in two.
// Tokens joined by spaces, or now and then by nothing when `sometimesJoined`; each cut at most
// `slack` bytes before its limit.
void expectBeginningsOfTheWhole(const std::vector<const char*>& tokens, unsigned seed, bool sometimesJoined,
                                std::size_t slack)
{
    std::mt19937 random(seed);
    std::string line;
    while (line.size() < 3000) {
        line += tokens[random() % tokens.size()];
        line += !sometimesJoined || random() % 4 ? " " : "";
    }
    const markdown::MarkdownContent whole{std::string_view(line)};
    ASSERT_EQ(whole.blocks().size(), 1u);
    const auto& wholeInlines = whole.blocks()[0].as<markdown::BlockNode::Paragraph>()->content;
    for (std::size_t limit = 20; limit < 2900; limit += 7) {
        SCOPED_TRACE(limit);
        const std::size_t length = markdownFirstPartLength(line, limit);
        ASSERT_GE(length + slack, limit);
        ASSERT_LE(length, limit);
        const markdown::MarkdownContent first{std::string_view(line).substr(0, length)};
        ASSERT_EQ(first.blocks().size(), 1u);
        auto inlines = first.blocks()[0].as<markdown::BlockNode::Paragraph>()->content;
        while (!inlines.empty() && inlines.back().is<markdown::InlineNode::Text>())
            inlines.pop_back();
        ASSERT_LE(inlines.size(), wholeInlines.size());
        EXPECT_TRUE(std::equal(inlines.begin(), inlines.end(), wholeInlines.begin()))
            << "cut after: " << line.substr(length - std::min<std::size_t>(length, 40), 40);
    }
}

TEST(MarkdownFirstPart, ParsesToTheBeginningOfTheWhole)
{
    expectBeginningsOfTheWhole({"*a*", "_b_", "**c**", "`d *x* d`", "``e ` *y*``", "[f *z* f](g \"h *w* h\")", "[i](<j k>)",
                                "![l](m (n n))", "~~o~~", "word", "http://example.org/p", "\\`"},
                               40, false, 40);
    // Links, "](" and parentheses run together, escaped or not, with titles of each kind: a
    // bracket open early may be a link's text that closes later, so a cut can come far before.
    expectBeginningsOfTheWhole({"](", "[", "]", "(", ")", "\\(", "\\)", "\\", "a", "\"t t\"", "'u'", "(v v)", "[w](x)",
                                "[y](z(1)2 \"3\")", "](<4 5>)"},
                               46, true, 3000);
}

} // namespace
