#include "mdview/Environment.h"
#include "mdview/TextNode.h"
#include "mdview/View.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using namespace mdview;

namespace {

std::unique_ptr<TextNode> laidOut(const richtext::AttributedText& text, double width)
{
    RenderNodePtr node = Text(text).build(Environment{});
    auto* textNode = dynamic_cast<TextNode*>(node.get());
    EXPECT_TRUE(textNode);
    node.release();
    std::unique_ptr<TextNode> result(textNode);
    const QSizeF size = result->measure({width, std::nullopt});
    result->place(QRectF(QPointF(0, 0), size));
    return result;
}

QString repeated(const QString& piece, int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += piece;
    return text;
}

} // namespace

// A run with no break opportunity is broken into lines no wider than the text, as any run that
// does not fit; the breaks live in the layout alone: the text, its offsets and its links stay.
TEST(TextNode, LongUnbrokenRunsBreakIntoLinesAndKeepTheirOffsets)
{
    const struct {
        const char* name;
        QString piece; // repeated into the run
        int unit;      // code units of a character
    } cases[] = {
        {"letters", QStringLiteral("x"), 1},
        {"letters with combining marks", QString::fromUtf8("e\xCC\x81"), 2},
        {"characters beyond the first plane", QString::fromUtf8("\xF0\x9D\x90\x80"), 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString run = repeated(c.piece, 3'000);
        richtext::AttributedText text(QStringLiteral("start "));
        text.append(run.left(run.size() / 2), richtext::TextAttributes{});
        richtext::TextAttributes linked;
        linked.link = QStringLiteral("https://example.org/");
        text.append(run.mid(run.size() / 2), linked);
        text.append(QStringLiteral(" end"), richtext::TextAttributes{});

        const auto node = laidOut(text, 300);
        EXPECT_EQ(node->text(), text.text());
        EXPECT_LE(node->frame().width(), 300);
        EXPECT_GT(node->frame().height(), 20 * QFontMetricsF(QFont()).height());

        const int start = 6;
        for (const int character : {0, 700, 1'499, 1'500, 2'999}) {
            const int offset = start + character * c.unit;
            const QRectF rect = node->rangeRect(offset, offset + c.unit);
            ASSERT_FALSE(rect.isEmpty()) << offset;
            EXPECT_LE(rect.right(), 300.5) << offset;
            const int hit = node->offsetAt(rect.center());
            EXPECT_TRUE(hit == offset || hit == offset + c.unit) << offset << " hit " << hit;
            EXPECT_EQ(node->linkAt(rect.center()).isEmpty(), character < 1'500) << offset;
        }
        const int end = int(text.text().size());
        EXPECT_EQ(node->offsetAt(node->frame().bottomRight() + QPointF(10, 10)), end);
    }
}

// Drawing finds the lines of the exposed rectangle itself; they come out as when all are drawn.
TEST(TextNode, DrawsTheExposedLinesAsWhenAllAreDrawn)
{
    const auto node = laidOut(richtext::AttributedText(repeated(QStringLiteral("Some words wrap into lines. "), 600)), 300);
    ASSERT_GT(node->frame().height(), 2'000);
    const QRectF band(0, 1'000, 300, 150);
    auto draw = [&](const QRectF& exposed) {
        QImage image(300, 150, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.translate(0, -band.top());
        node->paint(painter, exposed);
        return image;
    };
    const QImage exposedOnly = draw(band);
    EXPECT_EQ(exposedOnly, draw(node->frame()));
    EXPECT_NE(exposedOnly, draw(QRectF(0, 0, 300, 10)));
}
