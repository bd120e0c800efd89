// A block too long to lay out at once (a paragraph, a run of emoji, a code block, a table) is laid
// out in parts: what the viewport shows of it comes first, drawn as the whole layout draws it,
// and the rest follows to the same layout.

#include "BlockParts.h"

#include "mddoc/OffscreenDocument.h"
#include "mddoc/Themes.h"

#include "mdview/Host.h"
#include "mdview/RenderNode.h"
#include "mdview/TextNode.h"

#include "markdown/MarkdownContent.h"

#include <gtest/gtest.h>

using namespace mddoc;
using markdown::BlockNode;
using markdown::InlineNode;
using mdview::ColorScheme;

namespace {

constexpr double width = 800;
constexpr double screen = 600;

const QString family = QString::fromUtf8("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7");

QString repeated(const QString& piece, int count)
{
    QString text;
    text.reserve(piece.size() * count);
    for (int i = 0; i < count; ++i)
        text += piece;
    return text;
}

struct LongBlock {
    const char* name;
    QString text;
};

// Each long block between a short block before it and one after it.
const std::vector<LongBlock>& longBlocks()
{
    static const std::vector<LongBlock> all = [] {
        QString words;
        for (int i = 0; i < 2'500; ++i)
            words += QStringLiteral("Line %1 of *one* paragraph, with `code` and a [link](https://example.org/%1)\n").arg(i);
        QString code = QStringLiteral("```swift\n");
        for (int i = 0; i < 10'000; ++i)
            code += QStringLiteral("let value%1 = compute(%1) // line %1\n").arg(i);
        code += QStringLiteral("```\n");
        QString table = QStringLiteral("| left | middle | right |\n|:--|:-:|--:|\n");
        for (int i = 0; i < 1'000; ++i)
            table += QStringLiteral("| %1 | *cell* %1 | [x](https://example.org/%1) |\n").arg(i);
        const auto between = [](const QString& block) {
            return QStringLiteral("# Before\n\nA short paragraph.\n\n") + block + QStringLiteral("\n\nAfter the long block.\n");
        };
        return std::vector<LongBlock>{
            {"paragraph", between(words)},
            {"unbroken run of emoji", between(repeated(family, 12'000))},
            {"code block", between(code)},
            {"table", between(table)},
        };
    }();
    return all;
}

OffscreenDocument eager(const QString& text)
{
    return OffscreenDocument(text, themes::basic(), ColorScheme::light, width);
}

OffscreenDocument lazy(const QString& text)
{
    return OffscreenDocument(text, themes::basic(), ColorScheme::light, width, {}, screen);
}

std::size_t builtTexts(OffscreenDocument& document)
{
    return mdview::collectTextNodes(*document.host().root()).size();
}

} // namespace

TEST(LongBlocks, TheFirstScreenComesFirstAsTheWholeLayoutDrawsItAndTheRestFollows)
{
    for (const LongBlock& block : longBlocks()) {
        SCOPED_TRACE(block.name);
        OffscreenDocument whole = eager(block.text);
        OffscreenDocument shown = lazy(block.text);
        ASSERT_GT(whole.height(), 4 * screen);
        EXPECT_FALSE(shown.host().isSettled());
        // Only the parts near the viewport are built: a small share of the texts.
        EXPECT_LT(4 * builtTexts(shown), builtTexts(whole));
        EXPECT_EQ(shown.paint(0, screen), whole.paint(0, screen));

        shown.settle(120'000);
        ASSERT_TRUE(shown.host().isSettled());
        EXPECT_EQ(shown.height(), whole.height());
        const double end = shown.scrollTo(0, true);
        EXPECT_EQ(shown.paint(end, screen), whole.paint(whole.height() - screen, screen));
    }
}

// The parts below the first screen settle without repainting it: what it shows is done.
TEST(LongBlocks, PartsBelowTheScreenSettleWithoutRepaintingIt)
{
    for (const LongBlock& block : longBlocks()) {
        SCOPED_TRACE(block.name);
        OffscreenDocument shown = lazy(block.text);
        int repaints = 0;
        QObject::connect(&shown.host(), &mdview::ViewHost::repaintNeeded, [&repaints] { ++repaints; });
        shown.settle(120'000);
        ASSERT_TRUE(shown.host().isSettled());
        EXPECT_LE(repaints, 2);
    }
}

// Inside a long block, the viewport keeps what it shows while the parts above it settle, where
// the whole layout draws the same.
TEST(LongBlocks, TheViewportInsideALongBlockStaysPutWhileThePartsAboveSettle)
{
    for (const LongBlock& block : longBlocks()) {
        SCOPED_TRACE(block.name);
        OffscreenDocument whole = eager(block.text);
        OffscreenDocument shown = lazy(block.text);
        const double top = shown.scrollTo(shown.height() * 0.6);
        const QImage before = shown.paint(top, screen);
        shown.settle(120'000);
        ASSERT_TRUE(shown.host().isSettled());
        const double settled = shown.host().viewportTop();
        EXPECT_EQ(shown.paint(settled, screen), before);
        EXPECT_EQ(whole.paint(settled, screen), before);
    }
}

TEST(LongBlocks, CopyingTheWholeDocumentReachesPartsNotBuiltYet)
{
    for (const LongBlock& block : longBlocks()) {
        SCOPED_TRACE(block.name);
        OffscreenDocument whole = eager(block.text);
        OffscreenDocument shown = lazy(block.text);
        whole.host().selectAll();
        shown.host().selectAll();
        const QString expected = whole.host().selectedText();
        EXPECT_TRUE(expected.endsWith(QStringLiteral("After the long block.")));
        EXPECT_EQ(shown.host().selectedText().toStdString(), expected.toStdString());
    }
}

// A drag from one part into the next selects what it selects in the whole layout.
TEST(LongBlocks, ADragSelectsAcrossPartsAsInTheWholeLayout)
{
    for (const LongBlock& block : longBlocks()) {
        SCOPED_TRACE(block.name);
        OffscreenDocument whole = eager(block.text);
        OffscreenDocument shown = lazy(block.text);
        // Where the second part begins: its first text, after the heading and the paragraph
        // before the block (for a table, the first cell of its first row).
        const markdown::MarkdownContent content(std::string_view(block.text.toStdString()));
        const auto parts = detail::blockParts(content.blocks()[2]);
        ASSERT_TRUE(parts);
        const bool table = content.blocks()[2].is<BlockNode::Table>();
        const std::size_t text = 2 + (table ? parts->starts[1] * 3 : 1);
        const double boundary = mdview::collectTextNodes(*whole.host().root()).at(text)->frame().top();
        shown.scrollTo(boundary - 300);
        for (OffscreenDocument* document : {&whole, &shown}) {
            mdview::ViewHost& host = document->host();
            host.mousePress(QPointF(40, boundary - 200), Qt::LeftButton, Qt::NoModifier);
            host.mouseMove(QPointF(300, boundary + 200), Qt::LeftButton);
            host.mouseRelease(QPointF(300, boundary + 200), Qt::LeftButton);
        }
        const QString selected = whole.host().selectedText();
        EXPECT_GT(selected.size(), 20);
        EXPECT_EQ(shown.host().selectedText().toStdString(), selected.toStdString());
    }
}

// The parts come from the model: they hold the block's text in order, each cut where a line of
// the source ends or, in a long run without one, between two characters as the reader sees them.
TEST(LongBlocks, PartsHoldTheTextInOrderAndCutBetweenCharacters)
{
    const QString run = repeated(family, 4'000);
    const std::string utf8 = run.toStdString();
    const auto parts = detail::blockParts(BlockNode::paragraph({InlineNode::text(utf8)}));
    ASSERT_TRUE(parts);
    ASSERT_GT(parts->count(), 4u);
    std::string joined;
    for (std::size_t part = 0; part < parts->count(); ++part) {
        const std::vector<InlineNode> inlines = detail::partInlines({InlineNode::text(utf8)}, *parts, part);
        ASSERT_EQ(inlines.size(), 1u);
        const std::string& text = inlines.front().as<InlineNode::Text>()->text;
        EXPECT_EQ(QString::fromStdString(text).size() % family.size(), 0) << part;
        joined += text;
    }
    EXPECT_EQ(joined, utf8);

    // Lines of the source: a part ends where one does, and its soft break goes with it.
    const markdown::MarkdownContent content(std::string_view(longBlocks()[0].text.toStdString()));
    const auto& paragraph = *content.blocks()[2].as<BlockNode::Paragraph>();
    const auto lines = detail::blockParts(content.blocks()[2]);
    ASSERT_TRUE(lines);
    std::size_t inlines = 0;
    for (std::size_t part = 0; part < lines->count(); ++part) {
        const std::vector<InlineNode> piece = detail::partInlines(paragraph.content, *lines, part);
        EXPECT_FALSE(piece.back().is<InlineNode::SoftBreak>()) << part;
        inlines += piece.size() + (part + 1 < lines->count() ? 1 : 0);
    }
    EXPECT_EQ(inlines, paragraph.content.size());
    EXPECT_FALSE(detail::blockParts(content.blocks()[1])); // a short paragraph is laid out whole
}
