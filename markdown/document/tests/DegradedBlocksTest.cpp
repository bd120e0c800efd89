// A block too large to lay out in time is shown as its plain text under a notice; the other
// blocks of the document are drawn as usual.

#include "BlockBudget.h"
#include "BlockParts.h"

#include "mddoc/MarkdownView.h"
#include "mddoc/Themes.h"

#include "mdview/Environment.h"
#include "mdview/Host.h"
#include "mdview/TextNode.h"

#include "LogCapture.h"

#include <gtest/gtest.h>

using namespace mddoc;
using markdown::BlockNode;
using markdown::InlineNode;

namespace {

BlockNode table(int rows)
{
    std::vector<markdown::RawTableRow> body;
    for (int r = 0; r < rows; ++r)
        body.push_back({{{{InlineNode::emphasis({InlineNode::text("e")})}}, {{InlineNode::link("u", {InlineNode::text("x")})}}}});
    return BlockNode::table({markdown::RawTableColumnAlignment::none, markdown::RawTableColumnAlignment::none},
                            std::move(body));
}

BlockNode paragraphOfLinks(int links)
{
    std::vector<InlineNode> inlines;
    for (int i = 0; i < links; ++i) {
        inlines.push_back(InlineNode::link("u", {InlineNode::text("link")}));
        inlines.push_back(InlineNode::text(" "));
    }
    return BlockNode::paragraph(std::move(inlines));
}

BlockNode deepQuote(int depth, std::string text)
{
    BlockNode block = BlockNode::paragraph({InlineNode::text(std::move(text))});
    for (int i = 0; i < depth; ++i)
        block = BlockNode::blockquote({std::move(block)});
    return block;
}

std::vector<std::shared_ptr<const BlockNode>> shared(std::vector<BlockNode> blocks)
{
    std::vector<std::shared_ptr<const BlockNode>> result;
    for (BlockNode& block : blocks)
        result.push_back(std::make_shared<const BlockNode>(std::move(block)));
    return result;
}

} // namespace

// The estimate grows with what building and laying out do: rows and cells, links, and text
// inside nested blocks once per level; ordinary blocks stay far below the bound.
TEST(DegradedBlocks, TheEstimateFollowsRowsLinksAndNesting)
{
    using detail::blockWork;
    EXPECT_LT(blockWork(table(3'000)), detail::maxBlockWork); // an ordinary long table
    EXPECT_GT(blockWork(table(20'000)), detail::maxBlockWork);
    EXPECT_GT(blockWork(table(2'000)), 2 * blockWork(table(1'000)) * 9 / 10);
    EXPECT_LT(blockWork(paragraphOfLinks(1'000)), detail::maxBlockWork / 10);
    EXPECT_GT(blockWork(paragraphOfLinks(100'000)), detail::maxBlockWork);
    const std::string text(100'000, 'b');
    EXPECT_GT(blockWork(deepQuote(30, text)), 10 * blockWork(deepQuote(1, text)));
}

TEST(DegradedBlocks, OnlyTheCostlyBlocksAreShownAsPlainText)
{
    LogCapture capture;
    const auto blocks = shared({BlockNode::paragraph({InlineNode::emphasis({InlineNode::text("before")})}),
                                table(20'000), BlockNode::paragraph({InlineNode::text("after")})});
    EXPECT_EQ(detail::degradedBlocks(blocks), (std::vector<bool>{false, true, false}));
    const auto warnings = capture.messages(markdown::LogLevel::warning);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("at most " + std::to_string(detail::maxBlockWork)), std::string::npos) << warnings[0];

    // Drawn: the notice and the table's text, rows as lines and cells apart, between the others.
    std::vector<BlockNode> values;
    for (const auto& block : blocks)
        values.push_back(*block);
    mdview::Environment environment;
    environment.setTheme(themes::basic());
    mdview::ViewHost host;
    host.setEnvironment(environment);
    host.setView(MarkdownView(markdown::MarkdownContent(std::move(values))));
    host.layout(900);
    QStringList texts;
    for (const mdview::TextNode* text : mdview::collectTextNodes(*host.root()))
        texts << text->text();
    ASSERT_EQ(texts.size(), 4);
    EXPECT_EQ(texts[0], QStringLiteral("before"));
    EXPECT_EQ(texts[1], QStringLiteral("This table is shown as plain text: it is too large to lay out in time."));
    EXPECT_TRUE(texts[2].startsWith(QStringLiteral("e\tx\ne\tx\n"))) << qPrintable(texts[2].left(40));
    EXPECT_EQ(texts[2].count(QLatin1Char('\n')), 19'999);
    EXPECT_EQ(texts[3], QStringLiteral("after"));
}

// Many blocks each within its bound can still pass the document's: the largest go first.
TEST(DegradedBlocks, ADocumentPastItsBoundLosesItsLargestBlocksFirst)
{
    LogCapture capture;
    std::vector<BlockNode> blocks;
    for (int i = 0; i < 8; ++i)
        blocks.push_back(table(6'000 + 100 * i));
    blocks.push_back(BlockNode::paragraph({InlineNode::text("small")}));
    const std::vector<bool> degraded = detail::degradedBlocks(shared(std::move(blocks)));
    std::uint64_t kept = 0;
    for (std::size_t i = 0; i < degraded.size(); ++i)
        kept += degraded[i] ? 0 : detail::blockWork(i < 8 ? table(6'000 + 100 * int(i)) : BlockNode::paragraph({}));
    EXPECT_LE(kept, detail::maxDocumentWork);
    EXPECT_TRUE(degraded[7]);
    EXPECT_FALSE(degraded[0]);
    EXPECT_FALSE(degraded[8]);
    EXPECT_EQ(capture.messages(markdown::LogLevel::warning).size(), 1u);
}

// A document shown lazily is laid out a slice at a time, so only each block's own bound holds:
// the blocks it shows keep their Markdown where the whole document would pass its bound.
TEST(DegradedBlocks, ALazilyShownDocumentIsHeldOnlyToEachBlocksBound)
{
    LogCapture capture;
    std::vector<BlockNode> blocks;
    for (int i = 0; i < 9; ++i)
        blocks.push_back(paragraphOfLinks(20'000 + 100 * i));
    const auto all = shared(blocks);
    EXPECT_TRUE(detail::degradedBlocks(all, true).back()) << "laid out whole, the largest goes";
    const std::size_t warnings = capture.messages(markdown::LogLevel::warning).size();
    EXPECT_EQ(warnings, 1u);
    EXPECT_EQ(detail::degradedBlocks(all, false), std::vector<bool>(blocks.size(), false));

    mdview::Environment environment;
    environment.setTheme(themes::basic());
    mdview::ViewHost host;
    host.setEnvironment(environment);
    host.setViewportHeight(600);
    host.setView(MarkdownView(markdown::MarkdownContent(std::move(blocks))));
    host.layout(900);
    host.scrollTo(0, true);
    const std::vector<mdview::TextNode*> texts = mdview::collectTextNodes(*host.root());
    ASSERT_FALSE(texts.empty());
    for (const mdview::TextNode* text : texts)
        EXPECT_FALSE(text->text().startsWith(QStringLiteral("This paragraph is shown as plain text")));
    EXPECT_EQ(capture.messages(markdown::LogLevel::warning).size(), warnings);
}

// Past the document's bound by the number of its blocks alone, a document of small blocks loses
// none of them: each would cost about as much as its plain text under a notice.
TEST(DegradedBlocks, ManySmallBlocksAreNeverShownAsPlainText)
{
    LogCapture capture;
    std::vector<BlockNode> blocks(100'000, BlockNode::heading(1, {InlineNode::text("Heading")}));
    blocks.push_back(table(6'000));
    std::uint64_t total = 0;
    for (const BlockNode& block : blocks)
        total += detail::blockWork(block);
    ASSERT_GT(total - detail::blockWork(blocks.back()), detail::maxDocumentWork);
    std::vector<bool> expected(blocks.size(), false);
    expected.back() = true; // the one large block still goes
    EXPECT_EQ(detail::degradedBlocks(shared(std::move(blocks))), expected);
    EXPECT_EQ(capture.messages(markdown::LogLevel::warning).size(), 1u);
}

namespace {

// The font family the glyphs of a laid-out text are drawn in.
QString drawnFamily(mdview::TextNode& text)
{
    const QList<QGlyphRun> runs = text.glyphRuns(0, int(std::min<qsizetype>(text.text().size(), 40)));
    return runs.isEmpty() ? QString() : runs.front().rawFont().familyName();
}

// The texts of a view laid out alone, at 900 pixels, in the basic theme (a viewport of 600 when
// `lazily`).
std::vector<mdview::TextNode*> laidOutTexts(mdview::ViewHost& host, mdview::View view, bool lazily = false)
{
    mdview::Environment environment;
    environment.setTheme(themes::basic());
    host.setEnvironment(environment);
    if (lazily)
        host.setViewportHeight(600);
    host.setView(std::move(view));
    host.layout(900);
    if (lazily)
        host.scrollTo(0, true);
    return mdview::collectTextNodes(*host.root());
}

QString familyOf(const BlockNode& block)
{
    mdview::ViewHost host;
    const auto texts = laidOutTexts(host, MarkdownView(markdown::MarkdownContent({block})));
    return texts.empty() ? QString() : drawnFamily(*texts.front());
}

} // namespace

// Shown as plain text, a block keeps the face of what it is: code (a code block, a paragraph that
// is mostly code spans) in the code face, the rest in the text's.
TEST(DegradedBlocks, PlainTextKeepsTheCodeFaceOfCode)
{
    const QString codeFamily = familyOf(BlockNode::paragraph({InlineNode::code("x")}));
    const QString textFamily = familyOf(BlockNode::paragraph({InlineNode::text("x")}));
    ASSERT_FALSE(codeFamily.isEmpty());
    ASSERT_NE(codeFamily, textFamily);
    const struct {
        const char* name;
        BlockNode block;
        bool code;
    } cases[] = {
        {"one code span", BlockNode::paragraph({InlineNode::code("let x = 1; let y = 2;")}), true},
        {"mostly code spans",
         BlockNode::paragraph({InlineNode::text("see "), InlineNode::code("first_call()"), InlineNode::text(" and "),
                               InlineNode::code("second_call()")}),
         true},
        {"a code block", BlockNode::codeBlock("cpp", "int main()\n{\n}\n"), true},
        {"text with a code span",
         BlockNode::paragraph({InlineNode::text("a sentence of words around "), InlineNode::code("x")}), false},
        {"a table", table(2), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        mdview::ViewHost host;
        const auto texts = laidOutTexts(host, detail::DegradedBlockView(c.block));
        ASSERT_EQ(texts.size(), 2u);
        EXPECT_TRUE(texts[0]->text().startsWith(QStringLiteral("This "))) << qPrintable(texts[0]->text());
        EXPECT_EQ(drawnFamily(*texts[1]), c.code ? codeFamily : textFamily);
    }
    // The lines of a code block stay lines.
    mdview::ViewHost host;
    const auto texts = laidOutTexts(host, detail::DegradedBlockView(BlockNode::codeBlock("", "a\nb\nc\n")));
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_GE(texts[1]->frame().height(), 2.5 * texts[0]->frame().height());
}

// A line of one code span too long to lay out at once is cut into parts, as a line of words is:
// shown lazily it is laid out a slice at a time, as code, not as plain text.
TEST(DegradedBlocks, ALongLineOfOneCodeSpanIsShownLazilyAsCode)
{
    LogCapture capture;
    std::string code;
    while (code.size() < 2 * detail::maxBlockWork)
        code += "code words ";
    const BlockNode block = BlockNode::paragraph({InlineNode::code(code)});
    const std::optional<detail::BlockParts> parts = detail::blockParts(block);
    ASSERT_TRUE(parts);
    ASSERT_GT(parts->count(), 100u);
    std::string joined;
    for (std::size_t i = 0; i < parts->count(); ++i) {
        for (const InlineNode& node : detail::partInlines(block.as<BlockNode::Paragraph>()->content, *parts, i)) {
            ASSERT_TRUE(node.is<InlineNode::Code>());
            joined += node.as<InlineNode::Code>()->code;
        }
    }
    EXPECT_EQ(joined, code);

    const QString codeFamily = familyOf(BlockNode::paragraph({InlineNode::code("x")}));
    mdview::ViewHost host;
    const auto texts = laidOutTexts(host, MarkdownView(markdown::MarkdownContent({block})), true);
    ASSERT_FALSE(texts.empty());
    EXPECT_LT(texts.size(), parts->count());
    EXPECT_TRUE(texts.front()->text().startsWith(QStringLiteral("code words"))) << qPrintable(texts.front()->text().left(40));
    EXPECT_EQ(drawnFamily(*texts.front()), codeFamily);
    EXPECT_TRUE(capture.messages(markdown::LogLevel::warning).empty());
}
