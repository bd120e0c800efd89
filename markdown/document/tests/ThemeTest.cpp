// The built-in themes' own numbers, read from the layout dump of small documents.

#include "DumpReader.h"

#include "mddoc/OffscreenDocument.h"
#include "mddoc/MarkdownView.h"
#include "mddoc/Themes.h"

#include "mdview/Host.h"
#include "mdview/TextNode.h"

#include "mdview/Environment.h"

#include <gtest/gtest.h>

using namespace mddoc;
using namespace mddoc::testing;
using mdview::ColorScheme;

namespace {

// The colour of the middle of the first glyph of a paragraph of full blocks, drawn solid.
QColor textColour(const Theme& theme, ColorScheme scheme,
                  const QString& markdown = QStringLiteral("\u2588\u2588\u2588\u2588"))
{
    OffscreenDocument document(markdown, theme, scheme, 300);
    const QImage image = document.paint();
    const auto texts = mdview::collectTextNodes(*document.host().root());
    if (texts.empty())
        return {};
    const QPointF centre = texts.front()->frame().center() - QPointF(texts.front()->frame().width() / 4, 0);
    return image.pixelColor(centre.toPoint());
}

} // namespace

TEST(Themes, BasicNumbers)
{
    const auto nodes = nodesOf(QStringLiteral("Para\n\n# Heading\n\n---\n\n```\ncode\n```\n"), themes::basic());
    const auto blocks = topLevel(nodes);
    ASSERT_EQ(blocks.size(), 4u);
    struct Case {
        const DumpNode* node;
        std::optional<double> top, bottom;
    } cases[] = {
        {blocks[0], 0, 13},  // paragraph: 0 and 1 em
        {blocks[1], 20, 13}, // level-1 heading: 1.5 rem = 19.5 rounded away from zero, 1 rem
        {blocks[2], 26, 26}, // thematic break: 2 em both sides
        {blocks[3], 0, 13},  // code block
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.node->type.toStdString());
        EXPECT_EQ(c.node->marginTop, c.top);
        EXPECT_EQ(c.node->marginBottom, c.bottom);
    }
    EXPECT_EQ(blocks[2]->type, "Divider");
    EXPECT_EQ(blocks[3]->type, "HorizontalScroll");
    // The code's leading padding is 1 rem.
    EXPECT_TRUE(find(nodes, QStringLiteral("Padding"), {}, blocks[3])->rest.contains("insets(0,13,0,0)"));
}

TEST(Themes, BasicHeadingSizesAndQuote)
{
    // Heading text heights follow 2, 1.5, 1.17, 1, 0.83 and 0.67 em of the 13-point base.
    const auto nodes = nodesOf(QStringLiteral("# A\n\n## A\n\n### A\n\n#### A\n\n##### A\n\n###### A\n\n> q\n"),
                               themes::basic());
    std::vector<double> heights;
    for (const DumpNode& node : nodes) {
        if (node.type == "Text" && node.shows("A"))
            heights.push_back(node.frame.height());
    }
    ASSERT_EQ(heights.size(), 6u);
    EXPECT_TRUE(std::is_sorted(heights.rbegin(), heights.rend()));
    EXPECT_GT(heights[0], heights[1]);
    // The quote is padded 2 em on the leading side and 1 em on the trailing side.
    const DumpNode* quote = topLevel(nodes).back();
    EXPECT_TRUE(quote->rest.contains("insets(0,0,0,13)"));
    EXPECT_TRUE(find(nodes, QStringLiteral("Padding"), {}, quote)->rest.contains("insets(0,26,0,0)"));
}

TEST(Themes, DocCNumbers)
{
    const auto nodes = nodesOf(QStringLiteral("Para\n\n> Quote\n\n---\n\n| a |\n|---|\n| b |\n"), themes::docC());
    const auto blocks = topLevel(nodes);
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(blocks[0]->marginTop, 10); // 0.8 em = 10.4
    EXPECT_EQ(blocks[0]->marginBottom, 0);
    EXPECT_EQ(blocks[1]->marginTop, 21); // 1.6 em = 20.8
    // The quote is padded 12 on every side (0.94118 rem = 12.24).
    const DumpNode* padding = find(nodes, QStringLiteral("Padding"), {}, blocks[1]);
    ASSERT_TRUE(padding);
    EXPECT_TRUE(padding->rest.contains("insets(12,12,12,12)"));
    // Its box: a filled and a stroked rounded rectangle.
    EXPECT_TRUE(find(nodes, QStringLiteral("Shape"), {}, blocks[1])->rest.contains("fill=#fff5f5f7"));
    EXPECT_EQ(blocks[2]->marginTop, 31); // 2.35 em = 30.55
    EXPECT_EQ(blocks[2]->marginBottom, 31);
    // Horizontal rules only: top and bottom of the table and one between the rows.
    const DumpNode* grid = find(nodes, QStringLiteral("Grid"));
    ASSERT_TRUE(grid);
    int strokes = 0;
    for (const DumpNode& node : nodes)
        strokes += node.type == "Shape" && node.rest.contains("stroke=#ffd2d2d7") && node.line > grid->line;
    EXPECT_EQ(strokes, 3);
}

TEST(Themes, DocCTextColourFollowsTheScheme)
{
    EXPECT_EQ(textColour(themes::docC(), ColorScheme::light), QColor(0x1d, 0x1d, 0x1f));
    EXPECT_EQ(textColour(themes::docC(), ColorScheme::dark), QColor(0xf5, 0xf5, 0xf7));
}

TEST(Themes, LinksTakeTheThemesLinkColourOrThePlatformsTint)
{
    const QString link = QStringLiteral("[\u2588\u2588\u2588\u2588](https://example.org/) text");
    const QString unresolvable = QStringLiteral("[\u2588\u2588\u2588\u2588](<a b>) text");
    struct Case {
        const char* name;
        Theme theme;
        ColorScheme scheme;
        QColor expected;
    } cases[] = {
        {"basic light", themes::basic(), ColorScheme::light, QColor(0x00, 0x68, 0xda)},
        {"basic dark", themes::basic(), ColorScheme::dark, QColor(0x41, 0x9c, 0xff)},
        {"docC light", themes::docC(), ColorScheme::light, QColor(0x00, 0x66, 0xcc)},
        {"docC dark", themes::docC(), ColorScheme::dark, QColor(0x29, 0x97, 0xff)},
        {"gitHub light", themes::gitHub(), ColorScheme::light, QColor(0x2c, 0x65, 0xcf)},
        {"gitHub dark", themes::gitHub(), ColorScheme::dark, QColor(0x4c, 0x8e, 0xf8)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(textColour(c.theme, c.scheme, link).name(), c.expected.name());
    }
    // Text that links nowhere is not tinted.
    EXPECT_EQ(textColour(themes::basic(), ColorScheme::light, unresolvable).name(), QColor(Qt::black).name());
}

TEST(Themes, DocCTaskItemsAreBulletsWhateverTheirState)
{
    const auto nodes = nodesOf(QStringLiteral("- [x] done\n- [ ] open\n"), themes::docC());
    std::vector<QString> symbols;
    for (const DumpNode& node : nodes) {
        if (node.type == "Symbol")
            symbols.push_back(node.rest);
    }
    EXPECT_EQ(symbols, (std::vector<QString>{"circle.fill", "circle.fill"}));
}

TEST(Themes, GitHubNumbers)
{
    const auto nodes = nodesOf(
        QStringLiteral("# Title\n\nPara\n\n> Quote\n\n---\n\n| h |\n|---|\n| 1 |\n| 2 |\n| 3 |\n| 4 |\n\n- [x] a\n- [ ] b\n"),
        themes::gitHub());
    const auto blocks = topLevel(nodes);
    ASSERT_GE(blocks.size(), 6u);
    // Level 1: 32-point text, 24 above, 16 below, 10 of padding above its rule (0.3 em of 32).
    const DumpNode* heading = blocks[0];
    EXPECT_EQ(heading->marginTop, 24);
    EXPECT_EQ(heading->marginBottom, 16);
    EXPECT_EQ(heading->rest, "id=title");
    EXPECT_TRUE(find(nodes, QStringLiteral("Padding"), {}, heading)->rest.contains("insets(0,0,10,0)"));
    EXPECT_TRUE(find(nodes, QStringLiteral("Divider"), {}, heading));
    // Paragraph: 0 and 16.
    EXPECT_EQ(blocks[1]->marginTop, 0);
    EXPECT_EQ(blocks[1]->marginBottom, 16);
    // The quote bar is 3 wide (0.2 em of the 16-point body) and as tall as the quote.
    const DumpNode* bar = find(nodes, QStringLiteral("Frame"), {}, blocks[2]);
    const DumpNode* quoted = find(nodes, QStringLiteral("Text"), QStringLiteral("Quote"));
    ASSERT_TRUE(bar && quoted);
    EXPECT_EQ(bar->frame.width(), 3);
    EXPECT_EQ(bar->frame.height(), quoted->frame.height());
    // The thematic break is a bar 4 thick (0.25 em of 16), 24 above and below.
    EXPECT_EQ(blocks[3]->marginTop, 24);
    EXPECT_EQ(blocks[3]->frame.height(), 4);
    // Rows 0, 1 and 3 on the page colour, rows 2 and 4 shaded.
    std::vector<QString> fills;
    const DumpNode* grid = find(nodes, QStringLiteral("Grid"));
    ASSERT_TRUE(grid);
    for (const DumpNode& node : nodes) {
        if (node.line > grid->line && node.depth > grid->depth && node.type == "Shape"
            && node.rest.startsWith("fill="))
            fills.push_back(node.rest);
    }
    const QString page = "fill=#ffffffff", shade = "fill=#fff7f7f9";
    EXPECT_EQ(fills, (std::vector<QString>{page, page, shade, page, shade}));
    // Check boxes for task items, by state.
    std::vector<QString> symbols;
    for (const DumpNode& node : nodes) {
        if (node.type == "Symbol")
            symbols.push_back(node.rest);
    }
    EXPECT_EQ(symbols, (std::vector<QString>{"checkmark.square.fill", "square"}));
}

TEST(Themes, BuiltOnceAndTheDefault)
{
    // Two reads give the same styles (the same shared bodies); an environment made without a
    // theme draws with basic.
    const QString text = QStringLiteral("# H\n\nP\n");
    mdview::ViewHost host;
    host.setView(mddoc::MarkdownView(text));
    host.layout(600);
    const QString withDefault = mdview::dumpLayout(*host.root());
    EXPECT_EQ(withDefault, dumpOf(text, themes::basic()));
    EXPECT_NE(withDefault, dumpOf(text, Theme()));
}

TEST(Themes, GitHubTextShowsTheRowShadingBehindIt)
{
    // The page colour is drawn behind the document, not behind each run of text, so text on a
    // shaded row stands on the shading.
    OffscreenDocument document(QStringLiteral("| h |\n|---|\n| one |\n| two |\n"), themes::gitHub(), ColorScheme::light, 300);
    const QImage image = document.paint();
    const auto texts = mdview::collectTextNodes(*document.host().root());
    ASSERT_EQ(texts.size(), 3u);
    const QRectF shaded = texts[2]->frame(); // row 2
    EXPECT_EQ(image.pixelColor(QPoint(int(shaded.left()) + 1, int(shaded.top()) + 1)), QColor(0xf7, 0xf7, 0xf9));
}
