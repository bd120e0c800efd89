#include "TestSupport.h"
#include "LogCapture.h"
#include "Printers.h"
#include "markdown/MarkdownParser.h"
#include "markdown/MarkdownRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace markdown;
using namespace markdown::test;

namespace {

struct Shape {
    std::string text;
    int blockDepth = 0;
    int inlineDepth = 0;
};

void collectInlines(const std::vector<InlineNode>& nodes, int depth, Shape& shape)
{
    if (!nodes.empty())
        shape.inlineDepth = std::max(shape.inlineDepth, depth);
    for (const InlineNode& node : nodes) {
        if (const auto* n = node.as<InlineNode::Text>())
            shape.text += n->text;
        else if (const auto* n = node.as<InlineNode::Code>())
            shape.text += n->code;
        else if (const auto* n = node.as<InlineNode::Html>())
            shape.text += n->html;
        else if (node.is<InlineNode::SoftBreak>())
            shape.text += ' ';
        else if (node.is<InlineNode::LineBreak>())
            shape.text += '\n';
        if (const auto* children = node.children())
            collectInlines(*children, depth + 1, shape);
    }
}

void collectBlocks(const std::vector<BlockNode>& blocks, int depth, Shape& shape)
{
    if (!blocks.empty())
        shape.blockDepth = std::max(shape.blockDepth, depth);
    for (const BlockNode& block : blocks) {
        if (const auto* n = block.as<BlockNode::Paragraph>())
            collectInlines(n->content, 1, shape);
        else if (const auto* n = block.as<BlockNode::Heading>())
            collectInlines(n->content, 1, shape);
        else if (const auto* n = block.as<BlockNode::CodeBlock>())
            shape.text += n->content;
        else if (const auto* n = block.as<BlockNode::HtmlBlock>())
            shape.text += n->content;
        else if (const auto* n = block.as<BlockNode::Table>())
            for (const auto& row : n->rows)
                for (const auto& cell : row.cells)
                    collectInlines(cell.content, 1, shape);
        collectBlocks(block.blockChildren(), depth + 1, shape);
    }
}

Shape shapeOf(std::string_view markdown)
{
    Shape shape;
    const auto blocks = parseMarkdownBlocks(markdown);
    EXPECT_TRUE(blocks);
    if (blocks)
        collectBlocks(*blocks, 1, shape);
    return shape;
}

// The literal text of cmark-gfm's own tree, in document order, as the model would hold it.
std::string cmarkText(std::string_view markdown)
{
    const CmarkDocument root = parseWithCmark(markdown);
    std::string text;
    cmark_iter* iter = cmark_iter_new(root.get());
    while (cmark_iter_next(iter) != CMARK_EVENT_DONE) {
        cmark_node* node = cmark_iter_get_node(iter);
        if (cmark_iter_get_event_type(iter) != CMARK_EVENT_ENTER)
            continue;
        switch (cmark_node_get_type(node)) {
        case CMARK_NODE_SOFTBREAK:
            text += ' ';
            break;
        case CMARK_NODE_LINEBREAK:
            text += '\n';
            break;
        default:
            if (const char* literal = cmark_node_get_literal(node))
                text += literal;
        }
    }
    cmark_iter_free(iter);
    return text;
}

std::size_t occurrences(std::string_view text, std::string_view needle)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(needle); at != std::string_view::npos; at = text.find(needle, at + needle.size()))
        ++count;
    return count;
}

} // namespace

TEST(HostileInput, DeepNestingKeepsAllTextAndCapsStructure)
{
    const std::vector<std::pair<const char*, std::string>> bombs = {
        {"block quotes", repeat(">", 100'000) + " deep\n"},
        {"bullets", repeat("* ", 100'000) + "deep\n"},
        {"ordered items", repeat("1. ", 50'000) + "deep\n"},
        {"emphasis", repeat("*", 100'000) + "x" + repeat("*", 100'000)},
        {"underscores", repeat("_", 60'000) + "x" + repeat("_", 60'000)},
        {"quoted emphasis", repeat(">", 1'000) + repeat("**", 1'000) + "y" + repeat("**", 1'000)},
    };
    LogCapture quiet;
    for (const auto& [name, markdown] : bombs) {
        SCOPED_TRACE(name);
        const Shape shape = shapeOf(markdown);
        EXPECT_EQ(shape.text, cmarkText(markdown));
        EXPECT_LE(shape.blockDepth, maxBlockDepth + 1);
        EXPECT_LE(shape.inlineDepth, maxInlineDepth + 1);
    }
    EXPECT_GT(shapeOf(repeat(">", 1'000) + " q").blockDepth, maxBlockDepth - 1); // structure kept up to the cap
}

TEST(HostileInput, WideTableOverManyLinesIsParsedWithoutTables)
{
    const std::string bomb = "|" + repeat("a|", 5'000) + "\n|" + repeat("-|", 5'000) + "\n" + repeat("x\n", 5'000);
    LogCapture capture;
    const auto blocks = parseMarkdownBlocks(bomb);
    ASSERT_TRUE(blocks);
    EXPECT_TRUE(std::none_of(blocks->begin(), blocks->end(), [](const BlockNode& b) { return b.is<BlockNode::Table>(); }));
    Shape shape;
    collectBlocks(*blocks, 1, shape);
    EXPECT_EQ(occurrences(shape.text, "a"), 5'000u);
    EXPECT_EQ(occurrences(shape.text, "x"), 5'000u);
    const auto entries = capture.entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].level, LogLevel::warning);
    EXPECT_EQ(entries[0].category, "MarkdownParser");
    EXPECT_NE(entries[0].message.find("without tables"), std::string::npos);

    // One very wide line is quadratic in cmark-gfm even without padding.
    const std::string wide = "|" + repeat("a|", 20'000) + "\n|" + repeat("-|", 20'000) + "\n";
    const auto wideBlocks = parseMarkdownBlocks(wide);
    ASSERT_TRUE(wideBlocks);
    EXPECT_TRUE(std::none_of(wideBlocks->begin(), wideBlocks->end(), [](const BlockNode& b) { return b.is<BlockNode::Table>(); }));
    EXPECT_EQ(capture.messages(LogLevel::warning).size(), 2u);

    // A large but ordinary table stays a table.
    const std::string table = "|" + repeat("a|", 20) + "\n|" + repeat("-|", 20) + "\n" + repeat("|" + repeat("1|", 20) + "\n", 2'000);
    const auto parsed = parseMarkdownBlocks(table);
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->size(), 1u);
    EXPECT_EQ((*parsed)[0].as<BlockNode::Table>()->rows.size(), 2'001u);
    EXPECT_EQ(capture.messages(LogLevel::warning).size(), 2u);
}

// Each line that looks like a delimiter row under a header of another width makes
// cmark-gfm rescan the whole paragraph above it, in any line-ending style.
TEST(HostileInput, ManyUnmatchedDelimiterRowsAreParsedWithoutTables)
{
    LogCapture capture;
    for (const std::string_view ending : {"\n", "\r", "\r\n"}) {
        const std::string piece = "a" + std::string(ending) + "-|-" + std::string(ending);
        const Shape shape = shapeOf(repeat(piece, 20'000));
        EXPECT_EQ(occurrences(shape.text, "a"), 20'000u);
        EXPECT_EQ(occurrences(shape.text, "-|-"), 20'000u);
    }
    EXPECT_EQ(capture.messages(LogLevel::warning).size(), 3u);

    // One search under a paragraph of many lines is already quadratic; a NUL ends no row.
    for (const std::string& text : {repeat("x\n", 64'000) + "-|-\n", repeat(std::string("\0\n:-", 4), 20'000)}) {
        const Shape shape = shapeOf(text);
        EXPECT_EQ(occurrences(shape.text, "\n"), 0u);
        EXPECT_GE(shape.text.size(), 60'000u);
    }
    EXPECT_EQ(capture.messages(LogLevel::warning).size(), 5u);

    // Ordinary tables, and a few unmatched rows, keep the extension.
    const std::string document = "x\n-|-\n\n" + repeat("a|b\r\n-|-\r\n1|2\r\n\r\n", 1'000);
    const auto blocks = parseMarkdownBlocks(document);
    ASSERT_TRUE(blocks);
    EXPECT_EQ(std::count_if(blocks->begin(), blocks->end(), [](const BlockNode& b) { return b.is<BlockNode::Table>(); }), 1'000);
    EXPECT_EQ(capture.messages(LogLevel::warning).size(), 5u);
}

TEST(HostileInput, RunawayImageOpenersBecomeText)
{
    LogCapture capture;
    const std::string bomb = repeat("![[]()", 20'000);
    const Shape shape = shapeOf(bomb);
    EXPECT_EQ(occurrences(shape.text, "!["), 20'000u);
    EXPECT_EQ(capture.messages(LogLevel::warning).size(), 1u);

    // Fenced code is never rewritten, and ordinary paragraphs keep their images.
    const std::string fenced = "```\n" + repeat("![[]()", 20'000) + "\n```\n\n![a](b.png) [c](d)\n";
    const auto blocks = parseMarkdownBlocks(fenced);
    ASSERT_TRUE(blocks);
    ASSERT_EQ(blocks->size(), 2u);
    EXPECT_EQ((*blocks)[0], BlockNode::codeBlock("", repeat("![[]()", 20'000) + "\n"));
    EXPECT_EQ((*blocks)[1], BlockNode::paragraph({InlineNode::image("b.png", {InlineNode::text("a")}), InlineNode::text(" "),
                                                  InlineNode::link("d", {InlineNode::text("c")})}));
    EXPECT_EQ(capture.messages(LogLevel::warning).size(), 1u);
}

TEST(HostileInput, RunawayEmphasisBeforeLinksBecomesText)
{
    LogCapture capture;
    const Shape shape = shapeOf("[o]: /u\n\n" + repeat("*[o] _[o](/u) ~[o] ", 15'000));
    EXPECT_EQ(occurrences(shape.text, "*"), 15'000u);
    EXPECT_EQ(occurrences(shape.text, "_"), 15'000u);
    EXPECT_EQ(occurrences(shape.text, "o"), 45'000u);
    EXPECT_EQ(capture.messages(LogLevel::warning).size(), 1u);

    // Ordinary emphasis and links stay.
    const auto blocks = parseMarkdownBlocks("*a* [b](c)\n");
    ASSERT_TRUE(blocks);
    EXPECT_EQ(*blocks, std::vector<BlockNode>{BlockNode::paragraph(
                           {InlineNode::emphasis({InlineNode::text("a")}), InlineNode::text(" "),
                            InlineNode::link("c", {InlineNode::text("b")})})});
    EXPECT_EQ(capture.messages(LogLevel::warning).size(), 1u);
}

// A closer that finds no opener walks every delimiter pending before it, and cmark-gfm forgets
// where such a walk may stop once the delimiter it remembered is matched: quadratic with no
// link in sight. Each case crosses the bound with some tens of kilobytes.
TEST(HostileInput, EmphasisClosersWithoutOpenersBecomeText)
{
    const std::pair<const char*, std::string> cases[] = {
        {"* openers, then _ closers", repeat("*a_", 12'000) + repeat("*_", 12'000)},
        {"_ openers, then * closers", repeat("_a*", 12'000) + repeat("_*", 12'000)},
        {"~ against *", repeat("~a*", 12'000) + repeat("~*", 12'000)},
        {"in a quote, over lines", "> " + repeat("*a_\n", 12'000) + repeat("*_", 12'000)},
    };
    for (const auto& [name, markdown] : cases) {
        SCOPED_TRACE(name);
        LogCapture capture;
        const Shape shape = shapeOf(markdown);
        for (const char mark : {'*', '_', '~'}) {
            EXPECT_EQ(std::count(shape.text.begin(), shape.text.end(), mark), std::count(markdown.begin(), markdown.end(), mark));
        }
        const auto warnings = capture.messages(LogLevel::warning);
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find("emphasis marks"), std::string::npos) << warnings[0];
        EXPECT_NE(warnings[0].find("at most " + std::to_string(maxEmphasisWork)), std::string::npos) << warnings[0];
    }
}

// Texts with many marks that cmark-gfm matches quickly keep their emphasis: a paragraph of
// emphasised words, and openers and closers that each find their kind's lower place at once.
TEST(HostileInput, ManyMarksMatchedQuicklyKeepTheirEmphasis)
{
    std::string words;
    for (int i = 0; i < 5'000; ++i)
        words += "*w" + std::to_string(i) + "* ";
    const std::pair<std::string, std::size_t> cases[] = {
        {words, 5'000},
        {repeat("*a_", 2'000) + repeat("*_", 2'000), 1},
        {repeat("**a __b__ ~c~ ", 3'000), 3'000},
    };
    for (const auto& [markdown, emphases] : cases) {
        SCOPED_TRACE(markdown.substr(0, 30));
        LogCapture capture;
        const auto blocks = parseMarkdownBlocks(markdown);
        ASSERT_TRUE(blocks);
        EXPECT_TRUE(capture.messages(LogLevel::warning).empty());
        ASSERT_EQ(blocks->size(), 1u);
        const auto& inlines = (*blocks)[0].as<BlockNode::Paragraph>()->content;
        EXPECT_GE(std::count_if(inlines.begin(), inlines.end(),
                                [](const InlineNode& node) { return !node.is<InlineNode::Text>() && !node.is<InlineNode::SoftBreak>(); }),
                  std::ptrdiff_t(emphases));
    }
}

// Only the costly paragraphs lose their emphasis; code spans and links in them keep their text.
TEST(HostileInput, EmphasisRewriteKeepsCodeAndLinksAndOtherParagraphs)
{
    LogCapture capture;
    const std::string hostile = "`a_b*c` <https://x.org/d_e> https://y.org/f_g " + repeat("*a_", 12'000) + repeat("*_", 12'000);
    const auto blocks = parseMarkdownBlocks("*kept*\n\n" + hostile + "\n\n*kept too*\n");
    ASSERT_TRUE(blocks);
    ASSERT_EQ(blocks->size(), 3u);
    EXPECT_EQ((*blocks)[0], BlockNode::paragraph({InlineNode::emphasis({InlineNode::text("kept")})}));
    EXPECT_EQ((*blocks)[2], BlockNode::paragraph({InlineNode::emphasis({InlineNode::text("kept too")})}));
    const auto& inlines = (*blocks)[1].as<BlockNode::Paragraph>()->content;
    ASSERT_GE(inlines.size(), 5u);
    EXPECT_EQ(inlines[0], InlineNode::code("a_b*c"));
    EXPECT_EQ(inlines[2], InlineNode::link("https://x.org/d_e", {InlineNode::text("https://x.org/d_e")}));
    EXPECT_EQ(inlines[4], InlineNode::link("https://y.org/f_g", {InlineNode::text("https://y.org/f_g")}));
    EXPECT_TRUE(std::none_of(inlines.begin(), inlines.end(), [](const InlineNode& node) { return node.is<InlineNode::Emphasis>(); }));
    EXPECT_EQ(capture.messages(LogLevel::warning).size(), 1u);

    // Marks inside code spans alone can pass the bound: then they are escaped too, text kept.
    const Shape coded = shapeOf(repeat("`*a_` ", 12'000) + repeat("`*_`", 12'000));
    EXPECT_EQ(std::count(coded.text.begin(), coded.text.end(), 'a'), 12'000);
    EXPECT_EQ(capture.messages(LogLevel::warning).size(), 2u);
}

// Table cells are parsed one by one, so an ordinary long table keeps every cell's emphasis.
TEST(HostileInput, LongTableKeepsItsEmphasis)
{
    std::string table = "| a | b |\n|---|---|\n";
    for (int row = 0; row < 3'000; ++row)
        table += "| *e* | [x](u" + std::to_string(row) + ") |\n";
    LogCapture capture;
    const auto blocks = parseMarkdownBlocks(table);
    ASSERT_TRUE(blocks);
    ASSERT_EQ(blocks->size(), 1u);
    const auto& rows = (*blocks)[0].as<BlockNode::Table>()->rows;
    ASSERT_EQ(rows.size(), 3'001u);
    for (std::size_t row = 1; row < rows.size(); ++row)
        ASSERT_EQ(rows[row].cells[0].content, std::vector<InlineNode>{InlineNode::emphasis({InlineNode::text("e")})}) << row;
    EXPECT_TRUE(capture.messages(LogLevel::warning).empty());
}

// The autolink extension rescans a failed "www." domain from every "www." in it, trims closing
// parentheses one at a time recounting them all, and scans each "@" to its run's end: past
// their bounds the document is parsed without bare links, its text unchanged.
TEST(HostileInput, CostlyBareLinksAreParsedAsText)
{
    const struct {
        const char* name;
        std::string text;
        const char* says;
    } cases[] = {
        {"failing www. domains", repeat("www.a_", 5'000), "domain scans"},
        {"closing parentheses", "http://a.b/" + repeat(")", 8'000), "closing parentheses"},
        {"addresses", repeat("a@", 26'000), "address scans"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture capture;
        const auto blocks = parseMarkdownBlocks(c.text);
        ASSERT_TRUE(blocks);
        Shape shape;
        collectBlocks(*blocks, 1, shape);
        EXPECT_EQ(shape.text, c.text);
        const auto warnings = capture.messages(LogLevel::warning);
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find(c.says), std::string::npos) << warnings[0];
        EXPECT_NE(warnings[0].find("without bare links"), std::string::npos) << warnings[0];
    }
}

// Every line walks the containers open at it, and a blank or lazy line costs cmark-gfm that
// walk for a byte or two. Past the bound the depth is capped; the text stays.
TEST(HostileInput, DeepContainersOverManyLinesAreCapped)
{
    const std::pair<const char*, std::string> cases[] = {
        {"blank lines in a deep list", repeat("- ", 2'000) + "a\n" + repeat("\n", 6'000) + "  b\n"},
        {"lazy lines in a deep quote", repeat(">", 2'000) + " a\n" + repeat("b\n", 6'000)},
        {"lazy lines in a deep ordered list", repeat("1. ", 2'000) + "a\n" + repeat("b\n", 6'000)},
    };
    for (const auto& [name, markdown] : cases) {
        SCOPED_TRACE(name);
        LogCapture capture;
        const Shape shape = shapeOf(markdown);
        EXPECT_EQ(std::count(shape.text.begin(), shape.text.end(), 'a'), 1);
        EXPECT_GE(std::count(shape.text.begin(), shape.text.end(), 'b'), 1);
        EXPECT_LE(shape.blockDepth, maxBlockDepth + 1);
        const auto warnings = capture.messages(LogLevel::warning);
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find("nests blocks too deeply"), std::string::npos) << warnings[0];
    }
}

// The guards change nothing in ordinary documents: a manual, its long reference pages and the
// changelogs and READMEs of the packages it bundles parse with no warning, to cmark-gfm's own text
// and HTML.
TEST(HostileInput, OrdinaryDocumentsParseAsWithoutGuards)
{
    const std::string folder = documentsFolder();
    if (folder.empty())
        GTEST_SKIP() << documentsVariable << " is not set: " << fetchDocumentsHint;
    const auto documents = loadMarkdownDocuments(folder);
    ASSERT_GT(documents.size(), 60u) << "too few Markdown documents under " << folder;
    LogCapture capture;
    for (const auto& [path, markdown] : documents) {
        SCOPED_TRACE(path);
        EXPECT_EQ(shapeOf(markdown).text, cmarkText(markdown));
        const auto blocks = parseMarkdownBlocks(markdown);
        ASSERT_TRUE(blocks);
        EXPECT_EQ(renderBlocksAsHTML(*blocks), cmarkHTML(markdown));
    }
    EXPECT_EQ(capture.messages(LogLevel::warning), std::vector<std::string>{});
}

TEST(HostileInput, EmptyAndBlankTexts)
{
    for (const std::string_view text : {std::string_view(""), std::string_view("\n\n\n"), std::string_view("   \r\n\t")}) {
        const auto blocks = parseMarkdownBlocks(text);
        ASSERT_TRUE(blocks);
        EXPECT_TRUE(blocks->empty());
    }
}
