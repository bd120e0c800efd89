// Where the guard defuses marks, it replaces them by placeholders that cmark-gfm reads as plain
// text, and the conversion turns them back. The model must come out as it does with the marks
// escaped by backslashes (cmark-gfm joins the text nodes of escapes into one): every case is
// parsed both ways and the two models compared, and so are their plain text and HTML renderings.

#include "InputGuard.h"
#include "LogCapture.h"
#include "Printers.h"
#include "TestSupport.h"
#include "markdown/MarkdownRenderer.h"

#include <gtest/gtest.h>

#include <functional>

using namespace markdown;
using namespace markdown::test;
using detail::MarkStyle;

namespace {

std::vector<BlockNode> parsed(std::string_view markdown, MarkStyle style)
{
    std::optional<std::vector<BlockNode>> blocks = detail::parseMarkdownBlocks(markdown, style);
    EXPECT_TRUE(blocks);
    return blocks.value_or(std::vector<BlockNode>{});
}

// Both ways, the same model, placeholders taken.
void expectSameBothWays(const std::string& markdown)
{
    detail::GuardedInput guarded;
    detail::guardInput(markdown, guarded);
    EXPECT_TRUE(guarded.placeholders);
    const std::vector<BlockNode> escaped = parsed(markdown, MarkStyle::escapes);
    const std::vector<BlockNode> replaced = parsed(markdown, MarkStyle::placeholders);
    EXPECT_EQ(replaced, escaped);
    EXPECT_EQ(renderBlocksAsPlainText(replaced), renderBlocksAsPlainText(escaped));
    EXPECT_EQ(renderBlocksAsHTML(replaced), renderBlocksAsHTML(escaped));
}

// Paragraphs the guard rewrites: carefully (code, angle brackets and bare links kept), or
// thoroughly, as the marks inside bare links alone pass the bound (each link made walks them).
const std::string carefulHostile = repeat("*a_", 12'000) + repeat("*_", 12'000);
const std::string thoroughHostile = repeat("http://a.b/*_ [c](d) ", 8'000);

// Inline texts whose parse depends on the marks around them.
constexpr const char* commonSnippets[] = {
    "*a* _b_ ~~c~~ **d** ~e~ ***f***",
    "*www.a.b* _www.a.b_ ~www.a.b~ (www.a.b) *(www.a.b)*",
    "*http://a.b/c* *https://x.org/d_e* _ftp://f.g_",
    "http://a.b/*c* www.a.b/_d_ http://e.f/g~",
    "a_b@c.de *a@b.cd* _a_@b.cd a@b_c.de a@b.cd_ x_a\\_b@c.de x_a&#95;b@c.de x_`a`_b@c.de a@b.cd*www.e.fg",
    "[a*b](c_d \"t*\") [x](<a*b>) ![i*](s_t.png) [*](~)",
    "&amp;* &#42;_ \\*a\\* \\\\*b* \\_",
    "é*a*é “*a*” *a*. 日_本_",
};
constexpr const char* carefulSnippets[] = {
    "`a*b_c` *`a`* ``x_`y`_z``",
    "<http://a.b/*c*> <span title=\"*x*\">_y_</span> <!-- *c* --> <a_b>",
};

} // namespace

TEST(DefusedMarks, PlaceholdersParseAsEscapes)
{
    LogCapture capture; // the warnings of the bounds passed
    const std::function<std::string(const std::string&)> blocks[] = {
        [](const std::string& s) { return s; },
        [](const std::string& s) { return "# " + s; },
        [](const std::string& s) { return "- " + s; },
        [](const std::string& s) { return "> " + s; },
        [](const std::string& s) { return "| h |\n|---|\n| " + s + " |"; },
    };
    for (const std::string_view snippet : commonSnippets) {
        SCOPED_TRACE(snippet);
        for (const auto& block : blocks)
            expectSameBothWays(block(std::string(snippet) + ' ' + carefulHostile + ' ' + std::string(snippet)));
        expectSameBothWays(std::string(snippet) + ' ' + thoroughHostile + std::string(snippet));
    }
    for (const std::string_view snippet : carefulSnippets) {
        SCOPED_TRACE(snippet);
        for (const auto& block : blocks)
            expectSameBothWays(block(std::string(snippet) + ' ' + carefulHostile + ' ' + std::string(snippet)));
    }

    // Lines of one paragraph, breaks, reference definitions, and images defused as well.
    const std::string documents[] = {
        "*a*\n" + carefulHostile + "\\\n_b_  \n~c~\n",
        "[r*]: /u_v \"t~\"\n[r*] " + carefulHostile + " [r*] [R*]\n\n[r*]\n",
        "*a*\n\n" + carefulHostile + "\n\n_b_\n",
        carefulHostile + ' ' + repeat("![*[]_()", 5'000),
    };
    for (const std::string& markdown : documents) {
        SCOPED_TRACE(markdown.substr(0, 40));
        expectSameBothWays(markdown);
    }
}

// Code spans and tags that a thorough rewrite defuses, and a line of code made of marks, kept
// their escapes as text; placeholders leave their text exact. And a link label is matched as
// written: "[a*b]" matches no definition "[a\*b]", as without the guard.
TEST(DefusedMarks, PlaceholdersKeepCodeTagsAndLabelsExact)
{
    LogCapture capture;
    const std::string thorough = "`a*b` <span title=\"_x_\"> <!-- *~d~* --> " + thoroughHostile;
    const auto inlinesOf = [](const std::vector<BlockNode>& blocks) {
        return blocks.size() == 1 && blocks[0].is<BlockNode::Paragraph>() ? blocks[0].as<BlockNode::Paragraph>()->content
                                                                          : std::vector<InlineNode>{};
    };
    const std::vector<InlineNode> replaced = inlinesOf(parsed(thorough, MarkStyle::placeholders));
    const std::vector<InlineNode> escaped = inlinesOf(parsed(thorough, MarkStyle::escapes));
    ASSERT_GE(replaced.size(), 5u);
    ASSERT_GE(escaped.size(), 5u);
    EXPECT_EQ(replaced[0], InlineNode::code("a*b"));
    EXPECT_EQ(escaped[0], InlineNode::code("a\\*b"));
    EXPECT_EQ(replaced[2], InlineNode::html("<span title=\"_x_\">"));
    EXPECT_EQ(escaped[2], InlineNode::html("<span title=\"\\_x\\_\">"));
    EXPECT_EQ(replaced[4], InlineNode::html("<!-- *~d~* -->"));
    EXPECT_EQ(escaped[4], InlineNode::html("<!-- \\*\\~d\\~\\* -->"));

    const std::string code = "    " + carefulHostile + "\n";
    const auto codeOf = [](const std::vector<BlockNode>& blocks) {
        return blocks.size() == 1 && blocks[0].is<BlockNode::CodeBlock>() ? blocks[0].as<BlockNode::CodeBlock>()->content
                                                                          : std::string();
    };
    EXPECT_EQ(codeOf(parsed(code, MarkStyle::placeholders)), carefulHostile + "\n");
    EXPECT_EQ(codeOf(parsed(code, MarkStyle::escapes)).substr(0, 5), "\\*a\\_");

    const std::string labelled = "[a\\*b]: /u\n\n[a*b] " + carefulHostile;
    EXPECT_EQ(cmarkHTML("[a\\*b]: /u\n\n[a*b] c\n"), "<p>[a*b] c</p>\n");
    EXPECT_EQ(renderBlocksAsHTML(parsed(labelled, MarkStyle::placeholders)), "<p>[a*b] " + carefulHostile + "</p>\n");
    EXPECT_EQ(inlinesOf(parsed(labelled, MarkStyle::escapes)).at(0), InlineNode::link("/u", {InlineNode::text("a*b")}));
}

// A text that holds a placeholder character of its own is defused with escapes, and keeps it.
TEST(DefusedMarks, TextWithPlaceholdersOfItsOwnIsEscaped)
{
    LogCapture capture;
    for (const std::string own : {"\xEF\xB7\x90", "\xEF\xB7\x91", "\xEF\xB7\x92"}) {
        const std::string markdown = "own " + own + "\n\n" + carefulHostile + "\n";
        detail::GuardedInput guarded;
        detail::guardInput(markdown, guarded);
        EXPECT_FALSE(guarded.placeholders);
        const std::vector<BlockNode> blocks = parsed(markdown, MarkStyle::placeholders);
        EXPECT_EQ(blocks, parsed(markdown, MarkStyle::escapes));
        ASSERT_EQ(blocks.size(), 2u);
        EXPECT_EQ(blocks[0], BlockNode::paragraph({InlineNode::text("own " + own)}));
        EXPECT_EQ(renderBlocksAsPlainText({blocks[1]}), carefulHostile + "\n");
    }
    // Other noncharacters of the block are no placeholders.
    detail::GuardedInput guarded;
    detail::guardInput("\xEF\xB7\x93 \xEF\xB7\xAF " + carefulHostile, guarded);
    EXPECT_TRUE(guarded.placeholders);
}

// cmark-gfm decodes numeric references to the placeholder characters into the characters
// themselves: a text holding them is defused with escapes too, and the references stay what
// they are (not "*", "_" and "~") in a heading, a link's destination and a fence's info.
TEST(DefusedMarks, ReferencesToPlaceholdersAreKept)
{
    LogCapture capture;
    const std::string star = "\xEF\xB7\x90";
    const std::string underscore = "\xEF\xB7\x91";
    const std::string tilde = "\xEF\xB7\x92";
    const struct {
        std::string markdown;
        BlockNode block;
    } cases[] = {
        {"# Title &#xFDD0;", BlockNode::heading(1, {InlineNode::text("Title " + star)})},
        {"# Title &#64976;", BlockNode::heading(1, {InlineNode::text("Title " + star)})},
        {"# Title &#X00fdd2;", BlockNode::heading(1, {InlineNode::text("Title " + tilde)})},
        {"[a](http://e.org/&#xFDD1;x)", BlockNode::paragraph({InlineNode::link("http://e.org/" + underscore + "x", {InlineNode::text("a")})})},
        {"[a](http://e.org/&#0064977;x)", BlockNode::paragraph({InlineNode::link("http://e.org/" + underscore + "x", {InlineNode::text("a")})})},
        {"```&#xFDD0;\nx\n```", BlockNode::codeBlock(star, "x\n")},
        {"```&#64978;\nx\n```", BlockNode::codeBlock(tilde, "x\n")},
    };
    for (const auto& [markdown, block] : cases) {
        SCOPED_TRACE(markdown);
        const std::string document = markdown + "\n\n" + carefulHostile + "\n";
        detail::GuardedInput guarded;
        detail::guardInput(document, guarded);
        EXPECT_FALSE(guarded.placeholders);
        const std::vector<BlockNode> blocks = parsed(document, MarkStyle::placeholders);
        ASSERT_EQ(blocks.size(), 2u);
        EXPECT_EQ(blocks[0], block);
        EXPECT_EQ(renderBlocksAsPlainText({blocks[1]}), carefulHostile + "\n");
    }
    // References to other characters, and ones cmark-gfm reads as text, leave placeholders in use.
    for (const char* other : {"&#xFDD3;", "&#64975;", "&#xFDD0", "&#x;", "&#;FDD0"}) {
        SCOPED_TRACE(other);
        detail::GuardedInput guarded;
        detail::guardInput(std::string(other) + "\n\n" + carefulHostile + "\n", guarded);
        EXPECT_TRUE(guarded.placeholders);
    }
}
