// Layout of documents, read from the dump: margins, lists, tables, images, task lists, code.

#include "DumpReader.h"

#include "mddoc/BlockViews.h"
#include "mddoc/MarkdownView.h"
#include "mddoc/OffscreenDocument.h"
#include "mddoc/Themes.h"

#include "mdview/Environment.h"
#include "mdview/Host.h"
#include "mdview/Providers.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace mddoc;
using namespace mddoc::testing;
using mdview::ColorScheme;
using markdown::InlineNode;

namespace {

// Block images as fixed boxes, so tests need no network.
class BoxImages final : public mdview::ImageProvider {
public:
    mdview::View makeImage(const std::optional<QUrl>& url) const override
    {
        return mdview::ColorView(mdview::Color::black()).frame(40, 30).id(url ? url->toString() : QStringLiteral("none"));
    }
};

std::vector<DumpNode> withBoxImages(const QString& text, double width = 600)
{
    const auto provider = std::make_shared<BoxImages>();
    OffscreenDocument document(text, themes::basic(), ColorScheme::light, width,
                               [provider](const View& view) { return view.markdownImageProvider(provider); });
    return readDump(document.dump());
}

// The gap between two dumped nodes, the second below the first.
double gapBetween(const DumpNode* above, const DumpNode* below)
{
    return below->frame.top() - above->frame.bottom();
}

std::vector<const DumpNode*> all(const std::vector<DumpNode>& nodes, const QString& type)
{
    std::vector<const DumpNode*> result;
    for (const DumpNode& node : nodes) {
        if (node.type == type)
            result.push_back(&node);
    }
    return result;
}

class CountingHighlighter final : public mdview::CodeSyntaxHighlighter {
public:
    richtext::AttributedText highlightCode(const QString& code, const std::optional<QString>& language) const override
    {
        calls.push_back({code, language});
        return richtext::AttributedText(code);
    }
    mutable std::vector<std::pair<QString, std::optional<QString>>> calls;
};

} // namespace

TEST(Document, MarginsCollapseToTheLargerNeverTheSum)
{
    const auto nodes = nodesOf(QStringLiteral("First\n\n# Heading\n\nSecond\n"), themes::basic());
    const auto blocks = topLevel(nodes);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(gapBetween(blocks[0], blocks[1]), 20); // max(13 below, 20 above), not 33
    EXPECT_EQ(gapBetween(blocks[1], blocks[2]), 13); // max(13 below, 0 above)
    EXPECT_EQ(blocks[0]->frame.top(), 0);            // the first block gets no space above
}

TEST(Document, TightAndLooseLists)
{
    for (const auto& [text, gap] : {std::pair{"- a\n- b\n", 0.0}, std::pair{"- a\n\n- b\n", 13.0}}) {
        SCOPED_TRACE(text);
        const auto nodes = nodesOf(QString::fromUtf8(text), themes::basic());
        const auto rows = all(nodes, QStringLiteral("HStack"));
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(gapBetween(rows[0], rows[1]), gap);
    }
    // A quote inside a tight list is tight too.
    const auto nodes = nodesOf(QStringLiteral("- > one\n  > \n  > two\n- b\n"), themes::basic());
    const DumpNode* one = find(nodes, QStringLiteral("Text"), QStringLiteral("one"));
    const DumpNode* two = find(nodes, QStringLiteral("Text"), QStringLiteral("two"));
    ASSERT_TRUE(one && two);
    EXPECT_EQ(gapBetween(one, two), 0);
}

TEST(Document, NumberedMarkersShareTheWidestWidth)
{
    const auto nodes = nodesOf(QStringLiteral("9. nine\n10. ten\n"), themes::basic());
    const auto markers = all(nodes, QStringLiteral("MarkerFrame"));
    ASSERT_EQ(markers.size(), 2u);
    EXPECT_EQ(markers[0]->frame.width(), markers[1]->frame.width());
    // Right-aligned: the numbers end at the same x.
    const DumpNode* nine = find(nodes, QStringLiteral("Text"), QStringLiteral("9."));
    const DumpNode* ten = find(nodes, QStringLiteral("Text"), QStringLiteral("10."));
    EXPECT_EQ(nine->frame.right(), ten->frame.right());

    // The outer markers take the width of the widest marker inside, nested lists' included.
    const auto nested = nodesOf(QStringLiteral("1. outer\n\n   1000000. inner\n2. next\n"), themes::basic());
    const auto frames = all(nested, QStringLiteral("MarkerFrame"));
    ASSERT_EQ(frames.size(), 3u);
    const double inner = frames[1]->frame.width();
    EXPECT_GT(inner, 30); // wider than the 1.5 em minimum
    EXPECT_EQ(frames[0]->frame.width(), inner);
    EXPECT_EQ(frames[2]->frame.width(), inner);
    // A bulleted list keeps its markers' own widths, though they count for an enclosing list.
    const auto bullets = nodesOf(QStringLiteral("- a\n- b\n"), themes::basic());
    for (const DumpNode* frame : all(bullets, QStringLiteral("MarkerFrame")))
        EXPECT_FALSE(frame->rest.contains("width="));
}

TEST(Document, NestedNumberedListsBuildInLinearTime)
{
    // Twelve levels of numbered lists: markers are measured once, at build time.
    QString text;
    for (int level = 0; level < 12; ++level)
        text += QString(level * 3, QLatin1Char(' ')) + QStringLiteral("1. level\n\n");
    const auto nodes = nodesOf(text, themes::basic());
    EXPECT_EQ(all(nodes, QStringLiteral("MarkerFrame")).size(), 12u);
}

TEST(Document, TableAlignmentsShortRowsAndExtraCells)
{
    const auto nodes =
        nodesOf(QStringLiteral("| none | left | center | right |\n|---|:---|:---:|---:|\n| a | b | c | d |\n| e |\n"
                               "| f | g | h | i | extra |\n"),
                themes::basic());
    const DumpNode* grid = find(nodes, QStringLiteral("Grid"));
    ASSERT_TRUE(grid);
    // rows[...] columns[minX+width ...]
    EXPECT_TRUE(grid->rest.contains(QRegularExpression("rows\\[\\S+ \\S+ \\S+ \\S+\\]"))) << grid->rest.toStdString();
    // Every row has one cell per column: the short row ends in empty cells, the extra cell is left out.
    EXPECT_FALSE(find(nodes, QStringLiteral("Text"), QStringLiteral("extra")));
    const auto cells = all(nodes, QStringLiteral("FixedSize"));
    EXPECT_EQ(cells.size(), 1u + 4u * 4u); // the table itself, then 16 cells
    // Alignments inside the columns, from the grid's own column geometry.
    const QRegularExpression column(QStringLiteral("(-?[\\d.]+)\\+([\\d.]+)"));
    const QString columnsText = grid->rest.mid(grid->rest.indexOf("columns["));
    std::vector<std::pair<double, double>> columns; // minX, width in document coordinates
    for (auto it = column.globalMatch(columnsText); it.hasNext();) {
        const auto match = it.next();
        columns.push_back({grid->frame.left() + match.captured(1).toDouble(), match.captured(2).toDouble()});
    }
    ASSERT_EQ(columns.size(), 4u);
    const double padding = 9; // 0.72 em
    const auto textOf = [&](const char* text) { return find(nodes, QStringLiteral("Text"), QString::fromLatin1(text))->frame; };
    EXPECT_EQ(textOf("a").left(), columns[0].first + padding);                       // none: leading
    EXPECT_EQ(textOf("b").left(), columns[1].first + padding);                       // left: leading
    EXPECT_NEAR(textOf("c").center().x(), columns[2].first + columns[2].second / 2, 0.5); // centre
    EXPECT_EQ(textOf("d").right(), columns[3].first + columns[3].second - padding);  // right: trailing
    // Borders on all sides by default: one outer rectangle and inside lines, all measured.
    for (const DumpNode* shape : all(nodes, QStringLiteral("Shape"))) {
        EXPECT_LT(std::abs(shape->frame.x()), 1e6);
        EXPECT_LT(std::abs(shape->frame.y()), 1e6);
    }
}

TEST(Document, ImagesFlowOnlyWhenNothingElseIsBetweenThem)
{
    struct Case {
        const char* text;
        const char* label; // what the paragraph draws
    } cases[] = {
        {"![a](a.png)", "Frame"},                 // one image: the block image
        {"[![a](a.png)](https://x.org)", "Link"}, // a linked block image
        {"![a](a.png)\n![b](b.png)", "Flow"},     // soft break: one row
        {"![a](a.png)  \n![b](b.png)", "Flow"},   // line break: a break item
        {"![a](a.png) and ![b](b.png)", "Text"},  // other text: drawn as text
        {"![a](a.png) ![b](b.png)", "Text"},      // even a single blank
        {"*![a](a.png)*", "Text"},                // emphasis around an image
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto nodes = withBoxImages(QString::fromUtf8(c.text));
        const auto blocks = topLevel(nodes);
        ASSERT_EQ(blocks.size(), 1u);
        // Past the paragraph's own modifier and the state of inline images.
        const DumpNode* label = blocks[0];
        while (label->type == "FixedSize" || label->type == "State")
            label = &nodes[std::size_t(label->line + 1)];
        EXPECT_EQ(label->type, c.label);
    }
    // Images of a flow side by side, 3 points apart (0.25 rem of 13); a line break starts a new row.
    const auto row = withBoxImages(QStringLiteral("![a](a.png)\n![b](b.png)"));
    auto frames = all(row, QStringLiteral("Frame"));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1]->frame.left() - frames[0]->frame.right(), 3);
    EXPECT_EQ(frames[1]->frame.top(), frames[0]->frame.top());
    const auto rows = withBoxImages(QStringLiteral("![a](a.png)  \n![b](b.png)"));
    frames = all(rows, QStringLiteral("Frame"));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1]->frame.left(), frames[0]->frame.left());
    EXPECT_GT(frames[1]->frame.top(), frames[0]->frame.bottom());
}

TEST(Document, ImageFlowItems)
{
    const InlineNode a = InlineNode::image("a.png", {InlineNode::text("A")});
    const InlineNode b = InlineNode::image("b.png", {});
    const auto items = imageFlowItems({a, InlineNode::softBreak(), InlineNode::link("https://x", {b}),
                                       InlineNode::lineBreak(), InlineNode::text(""), a});
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 4u);
    EXPECT_EQ((*items)[0].image->alt, "A");
    EXPECT_EQ((*items)[1].image->destination, QStringLiteral("https://x"));
    EXPECT_FALSE((*items)[2].image);
    EXPECT_FALSE(imageFlowItems({a, InlineNode::text(" "), b}));
    EXPECT_FALSE(imageFlowItems({InlineNode::link("https://x", {b, InlineNode::text("t")})}));
    EXPECT_TRUE(imageFlowItems({})->empty());
}

TEST(Document, TaskMarkers)
{
    const auto nodes = nodesOf(QStringLiteral("- [x] done\n- [ ] open\n- [ ]\n"), themes::basic());
    std::vector<QString> symbols;
    for (const DumpNode* node : all(nodes, QStringLiteral("Symbol")))
        symbols.push_back(node->rest);
    EXPECT_EQ(symbols, (std::vector<QString>{"checkmark.square.fill", "square", "square"}));
    // The marker sits before the item's text.
    const DumpNode* done = find(nodes, QStringLiteral("Text"), QStringLiteral("done"));
    EXPECT_GT(done->frame.left(), all(nodes, QStringLiteral("Symbol"))[0]->frame.right());
}

TEST(Document, CodeBlocksWithAndWithoutLanguage)
{
    const auto highlighter = std::make_shared<CountingHighlighter>();
    const auto modifiers = [highlighter](const View& view) { return view.markdownCodeSyntaxHighlighter(highlighter); };
    const QString text = QStringLiteral("```swift\nlet a = 1\n\n```\n\n```\nplain\n```\n");
    OffscreenDocument first(text, themes::basic(), ColorScheme::light, 600, modifiers);
    ASSERT_EQ(highlighter->calls.size(), 2u);
    // One final line feed is removed; the fence info goes as it is, the empty string without one.
    EXPECT_EQ(highlighter->calls[0], (std::pair<QString, std::optional<QString>>{"let a = 1\n", "swift"}));
    EXPECT_EQ(highlighter->calls[1], (std::pair<QString, std::optional<QString>>{"plain", ""}));
    // Built again (a new width, a new document with one block changed): only new code is highlighted.
    OffscreenDocument again(text + QStringLiteral("\n```\nmore\n```\n"), themes::basic(), ColorScheme::light, 400, modifiers);
    ASSERT_EQ(highlighter->calls.size(), 3u);
    EXPECT_EQ(highlighter->calls[2].first, "more");
    // Another scheme is highlighted anew.
    OffscreenDocument dark(text, themes::basic(), ColorScheme::dark, 600, modifiers);
    EXPECT_EQ(highlighter->calls.size(), 5u);
}

TEST(Document, LongCodeScrollsSidewaysWithAVisibleIndicator)
{
    const QString line = QStringLiteral("let value = ") + QString(300, QLatin1Char('x'));
    const auto nodes = nodesOf(QStringLiteral("```\n") + line + QStringLiteral("\n```\n"), themes::basic(), 400);
    const DumpNode* scroll = find(nodes, QStringLiteral("HorizontalScroll"));
    ASSERT_TRUE(scroll);
    EXPECT_EQ(scroll->frame.width(), 400);
    const DumpNode* text = find(nodes, QStringLiteral("Text"), QStringLiteral("let value"));
    EXPECT_GT(text->frame.width(), 1000); // never cut off: the whole line is laid out
    // Room for the indicator below the last line.
    EXPECT_GE(scroll->frame.bottom(), text->frame.bottom() + 8);
}

TEST(Document, HtmlBlocksShowTheirSource)
{
    const auto nodes = nodesOf(QStringLiteral("<div>\n<script>alert(1)</script>\n</div>\n"), themes::basic());
    const DumpNode* text = find(nodes, QStringLiteral("Text"));
    ASSERT_TRUE(text);
    EXPECT_TRUE(text->rest.startsWith("\"<div>\\n<script>"));
    EXPECT_FALSE(text->rest.endsWith("\\n\"")); // one final line feed removed
}

TEST(Document, ImagesForTheOtherSchemeAreLeftOut)
{
    const QString text = QStringLiteral("![l](l.png#gh-light-mode-only)![d](d.png#GH-DARK-MODE-ONLY)");
    const auto provider = std::make_shared<BoxImages>();
    for (const auto& [scheme, shown] : {std::pair{ColorScheme::light, "l.png#gh-light-mode-only"},
                                        std::pair{ColorScheme::dark, "d.png#GH-DARK-MODE-ONLY"}}) {
        OffscreenDocument document(text, themes::basic(), scheme, 600,
                                   [provider](const View& view) { return view.markdownImageProvider(provider); });
        const auto nodes = readDump(document.dump());
        const auto frames = all(nodes, QStringLiteral("Frame"));
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0]->rest, QStringLiteral("id=") + shown);
    }
}

TEST(Document, HeadingIdentifiers)
{
    const auto nodes = nodesOf(QStringLiteral("# Hello, World!\n\n## !!\n\n### API 2.0 Guide\n"), themes::basic());
    const auto blocks = topLevel(nodes);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0]->rest.section(' ', 0, 0), "id=hello--world-");
    EXPECT_EQ(blocks[1]->rest.section(' ', 0, 0), "id=--");
    EXPECT_EQ(blocks[2]->rest.section(' ', 0, 0), "id=api-2-0-guide");
}
