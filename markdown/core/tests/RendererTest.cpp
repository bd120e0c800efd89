#include "ModelBuilders.h"
#include "Printers.h"
#include "TestSupport.h"
#include "markdown/MarkdownContent.h"
#include "markdown/MarkdownParser.h"
#include "markdown/MarkdownRenderer.h"

#include <gtest/gtest.h>

#include <future>

using namespace markdown;
using namespace markdown::test;

namespace {

struct Case {
    const char* name;
    std::vector<BlockNode> blocks;
    const char* commonMark;
    const char* html;
};

} // namespace

TEST(Renderer, WritesEachConstruct)
{
    const std::vector<Case> cases = {
        {"empty document", {}, "\n", ""},
        {"task list as bullets with states",
         {B::taskList(true, {RawTaskListItem{true, {para("a")}}, RawTaskListItem{false, {para("b")}}})},
         "- [x] a\n- [ ] b\n",
         "<ul>\n<li><input type=\"checkbox\" checked=\"\" disabled=\"\" /> a</li>\n"
         "<li><input type=\"checkbox\" disabled=\"\" /> b</li>\n</ul>\n"},
        {"numbered from 7", {B::numberedList(true, 7, {RawListItem{{para("a")}}})}, "7.  a\n",
         "<ol start=\"7\">\n<li>a</li>\n</ol>\n"},
        {"default bullet", {B::bulletedList(false, {RawListItem{{para("a")}}})}, "  - a\n",
         "<ul>\n<li>\n<p>a</p>\n</li>\n</ul>\n"},
        {"absent fence info", {B::codeBlock(std::nullopt, "x\n")}, "``` \nx\n```\n", "<pre><code>x\n</code></pre>\n"},
        {"empty fence info", {B::codeBlock("", "x\n")}, "``` \nx\n```\n", "<pre><code>x\n</code></pre>\n"},
        {"fence info", {B::codeBlock("c++", "x\n")}, "``` c++\nx\n```\n",
         "<pre><code class=\"language-c++\">x\n</code></pre>\n"},
        {"table header first, alignments",
         {B::table({A::left, A::center, A::right, A::none},
                   {RawTableRow{{cell("a"), cell("b"), cell("c"), cell("d")}}, RawTableRow{{cell("1"), cell("2"), cell("3"), cell("4")}}})},
         "| a | b | c | d |\n| :-- | :-: | --: | --- |\n| 1 | 2 | 3 | 4 |\n",
         "<table>\n<thead>\n<tr>\n<th align=\"left\">a</th>\n<th align=\"center\">b</th>\n<th align=\"right\">c</th>\n"
         "<th>d</th>\n</tr>\n</thead>\n<tbody>\n<tr>\n<td align=\"left\">1</td>\n<td align=\"center\">2</td>\n"
         "<td align=\"right\">3</td>\n<td>4</td>\n</tr>\n</tbody>\n</table>\n"},
        {"table without rows", {B::table({A::left}, {})}, "\n", "<table>\n</table>\n"},
        {"link and image without titles", {para({I::link("u", {I::text("l")}), I::image("i.png", {I::text("alt")})})},
         "[l](u)![alt](i.png)\n", "<p><a href=\"u\">l</a><img src=\"i.png\" alt=\"alt\" /></p>\n"},
        {"autolinks", {para({I::link("http://x.test", {I::text("http://x.test")}), I::text(" "),
                             I::link("http://www.x.com", {I::text("www.x.com")})})},
         "<http://x.test> [www.x.com](http://www.x.com)\n",
         "<p><a href=\"http://x.test\">http://x.test</a> <a href=\"http://www.x.com\">www.x.com</a></p>\n"},
        {"soft and hard breaks", {para({I::text("a"), I::softBreak(), I::text("b"), I::lineBreak(), I::text("c")})},
         "a\nb  \nc\n", "<p>a\nb<br />\nc</p>\n"},
        {"inline html is omitted from safe HTML", {para({I::html("<b>"), I::text("x"), I::html("</b>")})}, "<b>x</b>\n",
         "<p><!-- raw HTML omitted -->x<!-- raw HTML omitted --></p>\n"},
        {"emphasis, strong, strikethrough, code",
         {para({I::emphasis({I::text("e")}), I::strong({I::text("s")}), I::strikethrough({I::text("d")}), I::code("c")})},
         "*e***s**~~d~~`c`\n", "<p><em>e</em><strong>s</strong><del>d</del><code>c</code></p>\n"},
        {"quote, heading, break, html block",
         {B::blockquote({B::heading(2, {I::text("h")})}), B::thematicBreak(), B::htmlBlock("<div>x</div>\n")},
         "> ## h\n\n-----\n\n<div>x</div>\n", "<blockquote>\n<h2>h</h2>\n</blockquote>\n<hr />\n<!-- raw HTML omitted -->\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(renderBlocksAsCommonMark(c.blocks), c.commonMark);
        EXPECT_EQ(renderBlocksAsHTML(c.blocks), c.html);
        EXPECT_EQ(renderBlocksAsCommonMark(c.blocks), renderBlocksAsCommonMark(c.blocks)); // repeatable
    }
}

TEST(Renderer, ClampsWhatCmarkCannotTake)
{
    const std::vector<Case> cases = {
        {"heading level 0", {B::heading(0, {I::text("a")})}, "# a\n", "<h1>a</h1>\n"},
        {"heading level 9", {B::heading(9, {I::text("a")})}, "###### a\n", "<h6>a</h6>\n"},
        {"negative start", {B::numberedList(true, -5, {RawListItem{{para("a")}}})}, "0.  a\n",
         "<ol start=\"0\">\n<li>a</li>\n</ol>\n"},
        {"start beyond nine digits", {B::numberedList(true, 5'000'000'000'000, {RawListItem{{para("a")}}})},
         "999999999. a\n", "<ol start=\"999999999\">\n<li>a</li>\n</ol>\n"},
        {"NUL in text", {para(std::string("a\0b", 3))}, "a\xEF\xBF\xBD" "b\n", "<p>a\xEF\xBF\xBD" "b</p>\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(renderBlocksAsCommonMark(c.blocks), c.commonMark);
        EXPECT_EQ(renderBlocksAsHTML(c.blocks), c.html);
    }
}

TEST(Renderer, RowWiderThanAlignmentsWidensTheTable)
{
    const BlockNode table = B::table({A::left}, {RawTableRow{{cell("h")}}, RawTableRow{{cell("1"), cell("2"), cell("3")}}});
    const std::string commonMark = renderBlocksAsCommonMark({table}).value();
    EXPECT_EQ(commonMark, "| h |  |  |\n| :-- | --- | --- |\n| 1 | 2 | 3 |\n");
    // Read back, every cell is still there.
    const BlockNode expected = B::table({A::left, A::none, A::none},
                                        {RawTableRow{{cell("h"), RawTableCell{}, RawTableCell{}}},
                                         RawTableRow{{cell("1"), cell("2"), cell("3")}}});
    EXPECT_EQ(parseMarkdownBlocks(commonMark), std::vector<BlockNode>{expected});
    EXPECT_EQ(renderBlocksAsHTML({table}), renderBlocksAsHTML({expected}));

    // Beyond 65535 columns the extra cells cannot be written.
    const BlockNode huge = B::table({}, {RawTableRow{std::vector<RawTableCell>(70'000, cell("x"))}});
    const std::string written = renderBlocksAsCommonMark({huge}).value();
    std::size_t cells = 0;
    for (std::size_t at = written.find(" x |"); at != std::string::npos; at = written.find(" x |", at + 1))
        ++cells;
    EXPECT_EQ(cells, 65'535u);
}

namespace {

std::string renderedByCmark(const std::string& markdown, char* (*render)(cmark_node*, int, int))
{
    const CmarkDocument document = parseWithCmark(markdown);
    char* text = render(document.get(), CMARK_OPT_DEFAULT, 0);
    std::string result(text);
    cmark_get_default_mem_allocator()->free(text);
    return result;
}

std::vector<RawListItem> numberedItems(std::size_t count)
{
    std::vector<RawListItem> items;
    items.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        items.push_back(RawListItem{{para("item" + std::to_string(i))}});
    return items;
}

std::size_t occurrences(const std::string& text, const std::string& piece)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size()))
        ++count;
    return count;
}

} // namespace

// The items write their own numbers: exactly what cmark writes when it counts them itself,
// for its own tree of the same text, across the marker widths and in nested containers.
TEST(Renderer, NumbersOrderedItemsAsCmarkDoes)
{
    std::vector<RawListItem> loose;
    for (int i = 0; i < 120; ++i) {
        loose.push_back(RawListItem{{para({I::text("line " + std::to_string(i)), I::softBreak(), I::text("more")}),
                                     B::numberedList(true, 98, {RawListItem{{para("a")}}, RawListItem{{para("b")}},
                                                                RawListItem{{para("c")}}})}});
    }
    const std::vector<BlockNode> blocks = {
        B::numberedList(false, 0, loose),
        B::blockquote({B::numberedList(true, 7, numberedItems(5))}),
        B::numberedList(true, 999'999'990, numberedItems(9)),
    };
    const std::string commonMark = renderBlocksAsCommonMark(blocks).value();
    EXPECT_EQ(commonMark, renderedByCmark(commonMark, cmark_render_commonmark));
    EXPECT_EQ(renderBlocksAsPlainText(blocks), renderedByCmark(commonMark, cmark_render_plaintext));
    EXPECT_NE(commonMark.find("\n119. line 119\n     more\n     \n     98. a\n     99. b\n     100. c\n"), std::string::npos);
    EXPECT_EQ(parseMarkdownBlocks(commonMark), blocks);
}

// One long list stays one list, written and read back in linear time.
TEST(Renderer, LongNumberedListRoundTrips)
{
    for (const std::size_t count : {std::size_t(1'001), std::size_t(100'000)}) {
        SCOPED_TRACE(count);
        const std::vector<BlockNode> blocks = {B::numberedList(true, 5, numberedItems(count))};
        const std::string last = std::to_string(count + 4) + ". item" + std::to_string(count - 1) + "\n";

        const std::string commonMark = renderBlocksAsCommonMark(blocks).value();
        EXPECT_EQ(commonMark.find("<!--"), std::string::npos);
        EXPECT_NE(commonMark.find("\n1005. item1000\n"), std::string::npos);
        EXPECT_TRUE(commonMark.ends_with("\n" + last));
        EXPECT_EQ(parseMarkdownBlocks(commonMark), blocks);

        // Items of plain words read the same as Markdown.
        const std::string plain = renderBlocksAsPlainText(blocks).value();
        EXPECT_EQ(plain, commonMark);
        EXPECT_EQ(parseMarkdownBlocks(plain), blocks);

        const std::string html = renderBlocksAsHTML(blocks).value();
        EXPECT_EQ(occurrences(html, "<ol"), 1u);
        EXPECT_EQ(occurrences(html, "<li>"), count);
        EXPECT_EQ(html, cmarkHTML(commonMark));
    }
}

// Past the nine digits cmark reads, the largest number repeats: the list reads back whole.
TEST(Renderer, NumbersStopAtTheLargestReadable)
{
    const std::vector<BlockNode> blocks = {B::numberedList(true, 999'999'998, numberedItems(3))};
    const std::string commonMark = renderBlocksAsCommonMark(blocks).value();
    EXPECT_EQ(commonMark, "999999998. item0\n999999999. item1\n999999999. item2\n");
    EXPECT_EQ(parseMarkdownBlocks(commonMark), blocks);
}

TEST(Renderer, RendersConcurrentlyWithParsing)
{
    const std::string document = "| a | b |\n|---|:-:|\n| ~~x~~ | y |\n\n- [x] t\n\n1. n\n\n> *q*\n";
    const std::vector<BlockNode> blocks = parseMarkdownBlocks(document).value();
    const std::string commonMark = renderBlocksAsCommonMark(blocks).value();
    const std::string html = renderBlocksAsHTML(blocks).value();
    std::vector<std::future<bool>> results;
    for (int thread = 0; thread < 8; ++thread) {
        results.push_back(std::async(std::launch::async, [&] {
            bool same = true;
            for (int round = 0; round < 100; ++round) {
                same = same && parseMarkdownBlocks(document) == blocks;
                same = same && renderBlocksAsCommonMark(blocks) == commonMark && renderBlocksAsHTML(blocks) == html;
            }
            return same;
        }));
    }
    for (auto& result : results)
        EXPECT_TRUE(result.get());
}

TEST(MarkdownContentRendering, TrimsOneFinalLineFeedExceptFromHTML)
{
    EXPECT_TRUE(MarkdownContent("").blocks().empty());
    EXPECT_EQ(MarkdownContent("").renderMarkdown(), "");
    EXPECT_EQ(MarkdownContent("").renderHTML(), "");

    const MarkdownContent word("word");
    EXPECT_EQ(word.blocks(), std::vector<BlockNode>{para("word")});
    EXPECT_EQ(word.renderMarkdown(), "word");
    EXPECT_EQ(word.renderPlainText(), "word");
    EXPECT_EQ(word.renderHTML(), "<p>word</p>\n");

    // The code block's text ends the CommonMark output with a blank line: only one goes.
    const MarkdownContent code({B::codeBlock(std::nullopt, "x\n\n")});
    EXPECT_EQ(renderBlocksAsCommonMark(code.blocks()), "``` \nx\n\n```\n");
    EXPECT_EQ(code.renderMarkdown(), "``` \nx\n\n```");
    EXPECT_EQ(code.renderPlainText(), "x\n");

    EXPECT_EQ(MarkdownContent("# T\n\n- a\n"), MarkdownContent({B::heading(1, {I::text("T")}),
                                                                 B::bulletedList(true, {RawListItem{{para("a")}}})}));
}
