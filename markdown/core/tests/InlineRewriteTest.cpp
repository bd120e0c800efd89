#include "ModelBuilders.h"
#include "Printers.h"
#include "markdown/InlineRewrite.h"
#include "markdown/MarkdownParser.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace markdown;
using namespace markdown::test;

namespace {

std::vector<InlineNode> keep(InlineNode node) { return {std::move(node)}; }

std::vector<BlockNode> everyKind()
{
    return parseMarkdownBlocks("# *H* ![i](h.png)\n\n"
                               "> quote ![q](q.png)\n\n"
                               "- a **![b](b.png)**\n\n"
                               "3. c\n\n"
                               "- [x] done ![t](t.png)\n\n"
                               "| h | ![c](c.png) |\n|---|---|\n| [![l](l.png)](u) | x |\n\n"
                               "```\n![code](x.png)\n```\n\n"
                               "<div>![html](y.png)</div>\n\n"
                               "---\n\n"
                               "![only](o.png)\n")
        .value();
}

} // namespace

TEST(InlineRewrite, IdentityKeepsTheTree)
{
    const auto blocks = everyKind();
    EXPECT_EQ(rewriteInlinesInBlocks(blocks, keep), blocks);
}

TEST(InlineRewrite, RemovingImagesEverywhereKeepsBlocksAndText)
{
    const auto dropImages = [](InlineNode node) -> std::vector<InlineNode> {
        if (node.is<I::Image>())
            return {};
        return {std::move(node)};
    };
    const auto original = everyKind();
    const auto rewritten = rewriteInlinesInBlocks(original, dropImages);
    const std::vector<BlockNode> expected = {
        B::heading(1, {I::emphasis({I::text("H")}), I::text(" ")}),
        B::blockquote({B::paragraph({I::text("quote ")})}),
        B::bulletedList(true, {RawListItem{{B::paragraph({I::text("a "), I::strong({})})}}}),
        original[3],
        B::taskList(true, {RawTaskListItem{true, {B::paragraph({I::text("done ")})}}}),
        B::table({RawTableColumnAlignment::none, RawTableColumnAlignment::none},
                 {RawTableRow{{RawTableCell{{I::text("h")}}, RawTableCell{}}},
                  RawTableRow{{RawTableCell{{I::link("u", {})}}, RawTableCell{{I::text("x")}}}}}),
        original[6], // code block
        original[7], // HTML block
        original[8], // thematic break
        B::paragraph({}), // held only an image: still present, now empty
    };
    EXPECT_EQ(rewritten, expected);
}

TEST(InlineRewrite, CallsDeepestFirstAndContainersAfterTheirChildren)
{
    const std::vector<InlineNode> nodes = {I::emphasis({I::text("x"), I::strong({I::text("y")})})};
    std::vector<InlineNode> seen;
    const auto upper = [&seen](InlineNode node) -> std::vector<InlineNode> {
        seen.push_back(node);
        if (const auto* text = node.as<I::Text>())
            return {I::text(text->text + text->text), I::softBreak()};
        return {std::move(node)};
    };
    const auto result = rewriteInlineNodes(nodes, upper);
    const InlineNode rebuiltStrong = I::strong({I::text("yy"), I::softBreak()});
    const InlineNode rebuiltEmphasis = I::emphasis({I::text("xx"), I::softBreak(), rebuiltStrong});
    EXPECT_EQ(seen, (std::vector<InlineNode>{I::text("x"), I::text("y"), rebuiltStrong, rebuiltEmphasis}));
    EXPECT_EQ(result, std::vector<InlineNode>{rebuiltEmphasis});
}

TEST(InlineRewrite, FirstErrorStopsTheWalk)
{
    const auto blocks = parseMarkdownBlocks("a *b* c\n\n> d e\n").value();
    int calls = 0;
    const auto failOnThird = [&calls](InlineNode node) -> std::vector<InlineNode> {
        if (++calls == 3)
            throw std::runtime_error("third");
        return {std::move(node)};
    };
    EXPECT_THROW(
        try { rewriteInlinesInBlocks(blocks, failOnThird); } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "third");
            throw;
        },
        std::runtime_error);
    EXPECT_EQ(calls, 3);
}

TEST(InlineRewrite, LeafBlocksNeverReachTheRewriter)
{
    const std::vector<BlockNode> blocks = {B::codeBlock("md", "![a](b)"), B::htmlBlock("<img src=x>"), B::thematicBreak()};
    int calls = 0;
    const auto count = [&calls](InlineNode node) -> std::vector<InlineNode> {
        ++calls;
        return {std::move(node)};
    };
    EXPECT_EQ(rewriteInlinesInBlocks(blocks, count), blocks);
    EXPECT_EQ(calls, 0);
}

TEST(InlineText, CollectsFragmentsInReadingOrder)
{
    using Fragments = std::vector<std::string>;
    const std::vector<std::pair<std::vector<InlineNode>, Fragments>> cases = {
        {{I::text("a"), I::softBreak(), I::strong({I::text("b")}), I::lineBreak(), I::code("c")}, {"a", " ", "b", "\n", "c"}},
        {{I::link("http://x", {})}, {}},
        {{I::image("src.png", {I::text("alt")})}, {"alt"}},
        {{I::html("<b>"), I::strikethrough({I::emphasis({I::text("deep")})}), I::html("</b>")}, {"<b>", "deep", "</b>"}},
    };
    for (const auto& [nodes, fragments] : cases)
        EXPECT_EQ(collectInlineText(nodes), fragments);
    EXPECT_TRUE(textFragments(I::emphasis({I::text("x")})).empty());
}
