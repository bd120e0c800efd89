// A block too long to lay out at once (a paragraph, a run of emoji, a code block, a table) is laid
// out in parts: what the viewport shows of it comes first, drawn as the block laid out whole draws
// it, and the rest follows to the same layout.

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
// Where the parts of the run of emoji, when each began a line, left a short line at their ends.
constexpr double narrower = 700;
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
    bool paragraph; // its parts take up where the one above left off
    // Many screens tall: the first screen builds a small share of its parts. (The chain of
    // pictographs is not, drawn without the colour emoji font, in narrow glyphs of the fallback.)
    bool manyScreens = true;
};

// Each long block between a short block before it and one after it.
const std::vector<LongBlock>& longBlocks()
{
    static const std::vector<LongBlock> all = [] {
        // Source lines of many lengths, with emphasis and links that run over their ends.
        QString lines;
        for (int i = 0; i < 2'000; ++i) {
            lines += QStringLiteral("Line %1 has *emphasis that runs\nonto the next line*, `code` and a [link whose words\n"
                                    "run on too](https://example.org/%1)%2\n")
                         .arg(i)
                         .arg(repeated(QStringLiteral(" word"), i % 9));
        }
        // Words and emoji in lines of many lengths, every third ending in a hard line break.
        QString mixed;
        for (int i = 0; i < 3'000; ++i)
            mixed += QStringLiteral("Words %1 %2 and **more**%3\n").arg(i).arg(repeated(family, i % 7), i % 3 == 0 ? "\\" : "");
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
            {"paragraph of source lines", between(lines), true},
            {"unbroken run of emoji", between(repeated(family, 12'000)), true},
            // One grapheme cluster of 12,000 men joined, too long to be one picture: laid out (and
            // cut into parts) between its pictographs.
            {"one cluster of joined pictographs", between(repeated(QString::fromUtf8("\xF0\x9F\x91\xA8\xE2\x80\x8D"), 11'999)
                                                          + QString::fromUtf8("\xF0\x9F\x91\xA8")), true, false},
            {"words and emoji with hard line breaks", between(mixed), true},
            {"code block", between(code), false},
            {"table", between(table), false},
        };
    }();
    return all;
}

// The reference: the long block laid out whole, as one text (one grid, one code text).
OffscreenDocument whole(const QString& text, double at = width)
{
    const detail::WholeBlocksForTesting noParts;
    return OffscreenDocument(text, themes::basic(), ColorScheme::light, at);
}

// Laid out in parts, all of them (no viewport).
OffscreenDocument eager(const QString& text)
{
    return OffscreenDocument(text, themes::basic(), ColorScheme::light, width);
}

// Laid out in parts as a window shows it.
OffscreenDocument lazy(const QString& text, double at = width)
{
    return OffscreenDocument(text, themes::basic(), ColorScheme::light, at, {}, screen);
}

std::size_t builtTexts(OffscreenDocument& document)
{
    return mdview::collectTextNodes(*document.host().root()).size();
}

// Screens at the top, in the middle and at the end of a settled document drawn as the reference
// draws them, with the same height.
void expectSameScreens(OffscreenDocument& shown, OffscreenDocument& reference)
{
    ASSERT_TRUE(shown.host().isSettled());
    EXPECT_EQ(shown.height(), reference.height());
    for (const double at : {0.0, 0.5, 1.0}) {
        SCOPED_TRACE(at);
        const double top = shown.scrollTo(at * (shown.height() - screen));
        EXPECT_EQ(shown.paint(top, screen), reference.paint(top, screen));
    }
}

} // namespace

TEST(LongBlocks, TheFirstScreenComesFirstAsTheWholeLayoutDrawsItAndTheRestFollows)
{
    for (const LongBlock& block : longBlocks()) {
        SCOPED_TRACE(block.name);
        OffscreenDocument parted = eager(block.text);
        OffscreenDocument shown = lazy(block.text);
        EXPECT_FALSE(shown.host().isSettled());
        if (!block.manyScreens)
            continue;
        // Only the parts near the viewport are built: a small share of the texts.
        EXPECT_LT(4 * builtTexts(shown), builtTexts(parted));
        EXPECT_GT(parted.height(), 4 * screen);
    }
}

// At two widths (at the first, a part of the run of emoji ends where a line does), the first
// screen is the whole layout's at once, and every screen is once the rest has settled.
TEST(LongBlocks, PartsDrawAsTheBlockLaidOutWholeAtOnceOnTheFirstScreenAndEverywhereOnceSettled)
{
    for (const LongBlock& block : longBlocks()) {
        for (const double at : {width, narrower}) {
            SCOPED_TRACE(block.name + QStringLiteral(" at %1").arg(at).toStdString());
            OffscreenDocument reference = whole(block.text, at);
            OffscreenDocument shown = lazy(block.text, at);
            EXPECT_FALSE(shown.host().isSettled());
            EXPECT_EQ(shown.paint(0, screen), reference.paint(0, screen));
            shown.settle(120'000);
            expectSameScreens(shown, reference);
        }
    }
}

// At a width where a line holds more than a part, some parts of a run of emoji show no line of
// their own: they hand all of theirs on to the part below, and take no room.
TEST(LongBlocks, PartsTooShortForALineOfTheirOwnShowNoneAndTakeNoRoom)
{
    constexpr double wide = 3'600;
    const LongBlock& run = longBlocks()[1];
    OffscreenDocument reference = whole(run.text, wide);
    OffscreenDocument shown = lazy(run.text, wide);
    EXPECT_EQ(shown.paint(0, screen), reference.paint(0, screen));
    shown.settle(120'000);
    expectSameScreens(shown, reference);
}

// Laid out again at another width once settled, the parts settle to the whole layout at that
// width; the screen shown (the top) is right at once.
TEST(LongBlocks, AfterAResizeThePartsSettleToTheWholeLayoutAtTheNewWidth)
{
    for (const LongBlock& block : longBlocks()) {
        if (!block.paragraph)
            continue;
        SCOPED_TRACE(block.name);
        OffscreenDocument reference = whole(block.text, narrower);
        OffscreenDocument shown = lazy(block.text);
        shown.settle(120'000);
        shown.setWidth(narrower);
        EXPECT_EQ(shown.paint(0, screen), reference.paint(0, screen));
        shown.settle(120'000);
        expectSameScreens(shown, reference);
    }
}

// Sent to the end before anything above it is measured, the viewport shows the end of the block
// laid out whole once the parts above have settled.
TEST(LongBlocks, TheEndShownBeforeThePartsAboveAreMeasuredIsRightOnceTheySettle)
{
    for (const LongBlock& block : longBlocks()) {
        SCOPED_TRACE(block.name);
        OffscreenDocument reference = whole(block.text);
        OffscreenDocument shown = lazy(block.text);
        shown.scrollTo(0, true);
        shown.settle(120'000);
        ASSERT_TRUE(shown.host().isSettled());
        EXPECT_EQ(shown.height(), reference.height());
        EXPECT_EQ(shown.host().viewportTop(), shown.height() - screen);
        EXPECT_EQ(shown.paint(shown.height() - screen, screen), reference.paint(reference.height() - screen, screen));
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

// Inside a long block, the viewport stays with the part it shows while the parts above it settle,
// and shows what the whole layout shows there once they have. Parts of lines or rows show what
// they showed at once; those of a paragraph may begin elsewhere once those above are laid out.
TEST(LongBlocks, TheViewportInsideALongBlockStaysPutWhileThePartsAboveSettle)
{
    for (const LongBlock& block : longBlocks()) {
        SCOPED_TRACE(block.name);
        OffscreenDocument reference = whole(block.text);
        OffscreenDocument shown = lazy(block.text);
        const double top = shown.scrollTo(shown.height() * 0.6);
        const QImage before = shown.paint(top, screen);
        shown.settle(120'000);
        ASSERT_TRUE(shown.host().isSettled());
        const double settled = shown.host().viewportTop();
        EXPECT_GT(settled, reference.height() * 0.3);
        EXPECT_EQ(shown.paint(settled, screen), reference.paint(settled, screen));
        if (!block.paragraph) {
            EXPECT_EQ(shown.paint(settled, screen), before);
        }
    }
}

TEST(LongBlocks, CopyingTheWholeDocumentReachesPartsNotBuiltYet)
{
    for (const LongBlock& block : longBlocks()) {
        SCOPED_TRACE(block.name);
        OffscreenDocument reference = whole(block.text);
        OffscreenDocument shown = lazy(block.text);
        reference.host().selectAll();
        shown.host().selectAll();
        const QString expected = reference.host().selectedText();
        EXPECT_TRUE(expected.endsWith(QStringLiteral("After the long block.")));
        EXPECT_EQ(shown.host().selectedText().toStdString(), expected.toStdString());
    }
}

// A document that ends in a long paragraph: its last part, which grows once the parts above it
// are laid out, is copied whole.
TEST(LongBlocks, CopyingADocumentThatEndsInALongParagraphTakesItsEnd)
{
    const QString text = QStringLiteral("# Before\n\n") + repeated(family + QStringLiteral("ab "), 8'000);
    OffscreenDocument reference = whole(text);
    OffscreenDocument shown = lazy(text);
    reference.host().selectAll();
    shown.host().selectAll();
    const QString expected = reference.host().selectedText();
    EXPECT_TRUE(expected.endsWith(family + QStringLiteral("ab")));
    EXPECT_EQ(shown.host().selectedText().toStdString(), expected.toStdString());
}

// A drag from one part into the next selects what it selects in the whole layout.
TEST(LongBlocks, ADragSelectsAcrossPartsAsInTheWholeLayout)
{
    for (const LongBlock& block : longBlocks()) {
        SCOPED_TRACE(block.name);
        OffscreenDocument reference = whole(block.text);
        OffscreenDocument shown = lazy(block.text);
        shown.settle(120'000);
        // Where the second part begins: its first text, after the heading and the paragraph
        // before the block (for a table, the first cell of its first row).
        const markdown::MarkdownContent content(std::string_view(block.text.toStdString()));
        const auto parts = detail::blockParts(content.blocks()[2]);
        ASSERT_TRUE(parts);
        const bool table = content.blocks()[2].is<BlockNode::Table>();
        const std::size_t text = 2 + (table ? parts->starts[1] * 3 : 1);
        const double boundary = mdview::collectTextNodes(*shown.host().root()).at(text)->frame().top();
        for (OffscreenDocument* document : {&reference, &shown}) {
            mdview::ViewHost& host = document->host();
            host.mousePress(QPointF(40, boundary - 200), Qt::LeftButton, Qt::NoModifier);
            host.mouseMove(QPointF(300, boundary + 200), Qt::LeftButton);
            host.mouseRelease(QPointF(300, boundary + 200), Qt::LeftButton);
        }
        const QString selected = reference.host().selectedText();
        EXPECT_GT(selected.size(), 20);
        EXPECT_EQ(shown.host().selectedText().toStdString(), selected.toStdString());
    }
}

// The parts come from the model: they hold the block's text in order, a paragraph's cut after a
// soft break, after a space, or between two characters as the reader sees them inside a run
// without a space long enough to be given breaks.
TEST(LongBlocks, PartsHoldTheTextInOrderAndCutAfterASpaceOrInsideALongRun)
{
    const QString run = repeated(family, 4'000);
    const struct {
        const char* name;
        QString text;
        bool betweenFamilies; // else after a space
    } texts[] = {
        {"a run without a space", run, true},
        {"words", repeated(QStringLiteral("a few words "), 8'000), false},
        {"runs just too short to be given breaks", repeated(QString(1'000, QLatin1Char('x')) + QLatin1Char(' '), 100), false},
    };
    for (const auto& c : texts) {
        SCOPED_TRACE(c.name);
        const std::string utf8 = c.text.toStdString();
        const auto parts = detail::blockParts(BlockNode::paragraph({InlineNode::text(utf8)}));
        ASSERT_TRUE(parts);
        ASSERT_GT(parts->count(), 4u);
        std::string joined;
        for (std::size_t part = 0; part < parts->count(); ++part) {
            const std::vector<InlineNode> inlines = detail::partInlines({InlineNode::text(utf8)}, *parts, part);
            ASSERT_EQ(inlines.size(), 1u);
            const QString text = QString::fromStdString(inlines.front().as<InlineNode::Text>()->text);
            if (c.betweenFamilies) {
                EXPECT_EQ(text.size() % family.size(), 0) << part;
            } else if (part + 1 < parts->count()) {
                EXPECT_TRUE(text.endsWith(QLatin1Char(' '))) << part;
            }
            joined += text.toStdString();
        }
        EXPECT_EQ(joined, utf8);
    }

    // Lines of the source: a part ends after a soft break, which goes with it.
    const markdown::MarkdownContent content(std::string_view(longBlocks()[0].text.toStdString()));
    const auto& paragraph = *content.blocks()[2].as<BlockNode::Paragraph>();
    const auto lines = detail::blockParts(content.blocks()[2]);
    ASSERT_TRUE(lines);
    std::size_t inlines = 0;
    for (std::size_t part = 0; part < lines->count(); ++part) {
        const std::vector<InlineNode> piece = detail::partInlines(paragraph.content, *lines, part);
        if (part + 1 < lines->count()) {
            EXPECT_TRUE(piece.back().is<InlineNode::SoftBreak>()) << part;
        }
        inlines += piece.size();
    }
    EXPECT_EQ(inlines, paragraph.content.size());
    EXPECT_FALSE(detail::blockParts(content.blocks()[1])); // a short paragraph is laid out whole
}
