// The guards measure cmark-gfm's inline work per stretch of lines, so a stretch must hold every
// line of any text cmark-gfm parses as one: a paragraph split across two would be measured as
// two small ones. Both the cheap runs and the units found by the structure pass (a parse of a
// copy with neutralised marks) are held against cmark-gfm's own tree of the real text.

#include "InlineGuard.h"
#include "TestSupport.h"
#include "TextLines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace markdown;
using namespace markdown::test;

namespace {

// Lines end at LF, CR and CR LF, as cmark-gfm ends them, whichever mix a text holds.
TEST(TextLines, LinesEndAtLfCrAndCrLf)
{
    const struct {
        std::string_view text;
        std::vector<std::string_view> lines;
    } cases[] = {
        {"", {}},
        {"one", {"one"}},
        {"one\n", {"one"}},
        {"a\nb\r\nc\rd\r\r\ne", {"a", "b", "c", "d", "", "e"}},
        {"\r", {""}},
        {"\r\r\n\n", {"", "", ""}},
        {"x\ry\nz\r", {"x", "y", "z"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string_view> lines;
        for (const detail::Line& line : detail::splitLines(c.text))
            lines.push_back(detail::lineText(c.text, line));
        EXPECT_EQ(lines, c.lines) << testing::PrintToString(std::string(c.text));
    }
}

// The lines an inline text spans, from the positions of its inlines (the block's own position
// takes in a heading's underline). A paragraph above a table has no position, nor have its
// inlines a true one: it is left out, as the table's lines hold it.
std::pair<int, int> inlineLines(cmark_node* block)
{
    std::pair<int, int> lines{0, 0};
    if (cmark_node_get_start_line(block) <= 0)
        return lines;
    cmark_iter* iter = cmark_iter_new(block);
    while (cmark_iter_next(iter) != CMARK_EVENT_DONE) {
        cmark_node* node = cmark_iter_get_node(iter);
        if (node == block || cmark_node_get_start_line(node) <= 0)
            continue;
        const int first = cmark_node_get_start_line(node);
        const int last = std::max(first, cmark_node_get_end_line(node));
        lines = lines.first ? std::pair{std::min(lines.first, first), std::max(lines.second, last)} : std::pair{first, last};
    }
    cmark_iter_free(iter);
    return lines;
}

// Every inline text of cmark-gfm's tree (paragraphs, headings, table rows) that no segment holds
// whole, as "first-last" lines.
std::vector<std::string> splitInlineTexts(const std::string& markdown, const std::vector<detail::Segment>& segments)
{
    const std::vector<detail::Line> lines = detail::splitLines(markdown);
    // The lines (1-based) each segment spans.
    std::vector<std::pair<int, int>> spans;
    for (const detail::Segment& segment : segments) {
        const auto first = std::lower_bound(lines.begin(), lines.end(), segment.begin,
                                            [](const detail::Line& line, std::size_t at) { return line.end < at; });
        const auto last = std::lower_bound(lines.begin(), lines.end(), segment.end,
                                           [](const detail::Line& line, std::size_t at) { return line.end < at; });
        spans.emplace_back(int(first - lines.begin()) + 1, int(last - lines.begin()) + 1);
    }
    std::vector<std::string> split;
    const CmarkDocument root = parseWithCmark(markdown);
    cmark_iter* iter = cmark_iter_new(root.get());
    while (cmark_iter_next(iter) != CMARK_EVENT_DONE) {
        cmark_node* node = cmark_iter_get_node(iter);
        const std::string_view type = cmark_node_get_type_string(node);
        if (cmark_iter_get_event_type(iter) != CMARK_EVENT_ENTER
            || (type != "paragraph" && type != "heading" && type != "table_row" && type != "table_header"))
            continue;
        const auto [first, last] = inlineLines(node);
        if (first == 0)
            continue;
        const bool held = std::any_of(spans.begin(), spans.end(), [&](const std::pair<int, int>& span) {
            return span.first <= first && last <= span.second;
        });
        if (!held)
            split.push_back(std::string(type) + " " + std::to_string(first) + "-" + std::to_string(last));
    }
    cmark_iter_free(iter);
    return split;
}

// Runs of lines taken for one plain paragraph in which cmark-gfm's tree has any other block, or
// more than one inline text, as "first-last" lines.
std::vector<std::string> plainRunsHoldingMore(const std::string& markdown)
{
    const std::vector<detail::Line> lines = detail::splitLines(markdown);
    const auto lineOf = [&](std::size_t at) {
        return int(std::lower_bound(lines.begin(), lines.end(), at,
                                    [](const detail::Line& line, std::size_t offset) { return line.end < offset; })
                   - lines.begin()) + 1;
    };
    std::vector<std::pair<int, int>> plain;
    for (const detail::Segment& run : detail::lineRuns(markdown)) {
        const std::string_view text = std::string_view(markdown).substr(run.begin, run.end - run.begin);
        if (text.find_first_of("\r\n") != std::string_view::npos && detail::isPlainParagraph(text))
            plain.emplace_back(lineOf(run.begin), lineOf(run.end));
    }
    std::vector<int> blocks(plain.size(), 0);
    const CmarkDocument root = parseWithCmark(markdown);
    cmark_iter* iter = cmark_iter_new(root.get());
    while (cmark_iter_next(iter) != CMARK_EVENT_DONE) {
        cmark_node* node = cmark_iter_get_node(iter);
        if (cmark_iter_get_event_type(iter) != CMARK_EVENT_ENTER || cmark_node_get_type(node) == CMARK_NODE_DOCUMENT
            || (cmark_node_get_type(node) & CMARK_NODE_TYPE_MASK) == CMARK_NODE_TYPE_INLINE)
            continue;
        const int first = cmark_node_get_start_line(node);
        for (std::size_t i = 0; i < plain.size(); ++i)
            blocks[i] += plain[i].first <= first && first <= plain[i].second;
    }
    cmark_iter_free(iter);
    std::vector<std::string> holding;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        if (blocks[i] > 1)
            holding.push_back(std::to_string(plain[i].first) + "-" + std::to_string(plain[i].second));
    }
    return holding;
}

std::vector<std::string> splitByRuns(const std::string& markdown)
{
    return splitInlineTexts(markdown, detail::lineRuns(markdown));
}

std::vector<std::string> splitByUnits(const std::string& markdown)
{
    return splitInlineTexts(markdown, detail::inlineUnits(markdown, true));
}

#define EXPECT_HELD_WHOLE(markdown)                                                                                    \
    do {                                                                                                               \
        EXPECT_EQ(splitByRuns(markdown), std::vector<std::string>{}) << (markdown);                                    \
        EXPECT_EQ(splitByUnits(markdown), std::vector<std::string>{}) << (markdown);                                   \
        EXPECT_EQ(plainRunsHoldingMore(markdown), std::vector<std::string>{}) << (markdown);                           \
    } while (false)

} // namespace

TEST(InlineStretches, HoldEveryInlineTextOfCmarkWhole)
{
    const std::pair<const char*, std::string> crafted[] = {
        {"table ended by a quote with a lazy line", "a|b\n-|-\nc|d\n> q\nlazy *x_\n"},
        {"paragraph above a table", "p1\np2\na|b\n-|-\nrow\n"},
        {"table in a list item, then a lazy row", "- x\n\n  a|b\n  -|-\n  c|d\ne|f\n"},
        {"header indented unlike the delimiter row", "  a|b\n-|-\nc\n"},
        {"header cells unlike the delimiter row's", "a|b|c\n-|-\nd\ne\n"},
        {"escaped pipes", "\\|a|b\n-|-\nc\n\na\\\\|b\n-|-\nc\n"},
        {"fence inside an HTML block", "<div>\n```\n</div>\n\nafter *a_\nmore\n"},
        {"fence inside an HTML comment", "<!--\n```\n\n-->\npara *x*\nmore\n```\n"},
        {"backtick in a fence's info string", "``` a`b\npara\n\nmore\n"},
        {"ordered item that cannot interrupt", "para\n2. not an item\n3. nor this\n"},
        {"empty item that cannot interrupt", "para\n-\nmore\n"},
        {"list items and lazy lines", "- a\nlazy\n- b\n  1. c\nlazy\n10. d\n"},
        {"quotes and lazy lines", "> a\nb\n>> c\n> d\ne\n"},
        {"setext under a list item's paragraph", "- a\n===\nb\n"},
        {"table rows starting with digits and marks", "a|b\n-|-\n1|2\n-1|x\n*e*|y\n1. z\nlazy\n"},
        {"table of leading pipes, then a line without", "|a|b|\n|-|-|\n|c|d|\nlazy *x_\n|e|f|\n"},
        {"leading pipes, cells unlike the delimiter row's", "|a|b|c|\n|-|-|\n|d|\n|e|\n"},
        {"escaped trailing pipe", "|a|b\\|\n|-|-|\n|c|d|\n"},
        {"plain lines of marks and spans", "*a* b\n`c` d\n[e](f) g\n![h](i) j\n    k\n**l**\n"},
        {"fence behind a list marker and a quote", "- > ```\n  > x\n  > ```\n  > para\n  > more\n"},
        {"fence closed by its item's end", "- ```\n  b\n```\nc\n"},
        {"closing line less indented than the opening one", "- x\n\n   ```\n   a\n  ```\n  para\n  more\n"},
    };
    for (const auto& [name, markdown] : crafted) {
        SCOPED_TRACE(name);
        EXPECT_HELD_WHOLE(markdown);
    }
    if (std::filesystem::exists(gfmReferencePath)) {
        for (const GfmExample& example : gfmExamples(readGzip(gfmReferencePath))) {
            SCOPED_TRACE("example " + std::to_string(example.number));
            EXPECT_HELD_WHOLE(example.markdown);
        }
    }
    // Documents of a few lines drawn from block starts, containers and table parts.
    const char* const pieces[] = {
        "text *a*", "more_b_", "- item", "1. one", "2) two", "  indented", "    code", "> quoted", ">> deep",
        "> - quoted item", "```", "~~~", "  ```", "- ```", "<div>", "<!--", "-->", "</div>", "# heading", "===",
        "---", "***", "a|b", "|a|b|", "-|-", "|-|-|", ":-:|--", "c|d", "\\|x|y", "`a|b`|c", "[a]: /u", "[b]:",
        "<![CDATA[ x", "]]> y", "* * *", "_ x", "__", "<a b_c=1>", "<a *=1>", "\t- tab", "-\tx", "[ ] task", "<script>", "</script> z", "<pre x_y>", "<?x", "?>",
        "<!X y", ">", "   ~~~", "    - x", "1) a", "<div *a_>", "<a title=\"_>\">", "</b_>", "- [x] a_", "", "", "",
        "*em* x", "**strong** y", "`code` z", "![i](u) w", "    deep text", "\xC3\xA9t\xC3\xA9", "*", "*\tx", "` ``",
        "|h|i|", "|--|:-:|", "| r | s |", "|r", "|:-", "|-|-|-|",
    };
    std::uint32_t state = 12345;
    const auto next = [&state] { return (state = state * 1103515245u + 12345u) >> 8; };
    for (int document = 0; document < 20000; ++document) {
        std::string markdown;
        for (std::uint32_t line = 0, lines = 3 + next() % 16; line < lines; ++line)
            markdown += std::string(pieces[next() % std::size(pieces)]) + "\n";
        EXPECT_HELD_WHOLE(markdown);
    }
}

TEST(InlineStretches, HoldEveryInlineTextOfOrdinaryDocumentsWhole)
{
    const std::string folder = documentsFolder();
    if (folder.empty())
        GTEST_SKIP() << documentsVariable << " is not set: " << fetchDocumentsHint;
    const auto documents = loadMarkdownDocuments(folder);
    ASSERT_GT(documents.size(), 60u) << "too few Markdown documents under " << folder;
    for (const auto& [path, markdown] : documents) {
        SCOPED_TRACE(path);
        EXPECT_HELD_WHOLE(markdown);
    }
}
