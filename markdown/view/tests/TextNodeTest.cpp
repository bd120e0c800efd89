#include "mdview/Environment.h"
#include "mdview/TextNode.h"
#include "mdview/View.h"

#include "richtext/gui/EmojiFont.h"

#include "testsupport/AddedFont.h"
#include "testsupport/GlyphRuns.h"
#include "testsupport/QtPrinting.h"

#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <optional>

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

// The breaks a long run is given fall between characters as the reader sees them: an emoji with
// its skin tone, a flag, a letter with its mark each stays whole on one line, so every copy of
// it is as wide as the others. (The run is shorter than the 4,096 characters after which
// QTextLayout itself starts a new item, splitting whatever character stands there.)
TEST(TextNode, BreaksInLongRunsNeverSplitACharacter)
{
    const QString thumb = QString::fromUtf8("\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD");  // thumbs up, medium skin
    const QString flag = QString::fromUtf8("\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA");   // two regional indicators
    const QString accented = QString::fromUtf8("e\xCC\x81");
    const QString unit = thumb + flag + accented;
    const auto node = laidOut(richtext::AttributedText(QStringLiteral("start ") + repeated(unit, 300)), 300);
    ASSERT_GT(node->frame().height(), 20 * QFontMetricsF(QFont()).height());
    for (const QString& character : {thumb, flag, accented}) {
        SCOPED_TRACE(character.toStdString());
        const int within = int(unit.indexOf(character));
        double narrowest = 1e9, widest = 0;
        for (int i = 0; i < 300; ++i) {
            const int offset = 6 + i * int(unit.size()) + within;
            const double width = node->rangeRect(offset, offset + int(character.size())).width();
            narrowest = std::min(narrowest, width);
            widest = std::max(widest, width);
        }
        EXPECT_GT(narrowest, 0);
        EXPECT_LT(widest - narrowest, 0.5);
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

namespace {

// A text laid out in parts that each take up where the one above left off, placed one below the
// other as a stack of them places them.
struct Parts {
    std::vector<std::unique_ptr<TextNode>> nodes;
    double height = 0;
    QString text;
};

std::unique_ptr<TextNode> builtText(const richtext::AttributedText& text, TextContinuation continuation,
                                    const Environment& environment)
{
    RenderNodePtr node = Text(text, {}, continuation).build(environment);
    std::unique_ptr<TextNode> result(dynamic_cast<TextNode*>(node.release()));
    EXPECT_TRUE(result);
    return result;
}

Parts laidOutInParts(const QString& text, const std::vector<qsizetype>& cuts, double width, const Environment& environment)
{
    Parts parts;
    TextNode::RunOn start;
    for (std::size_t i = 0; i <= cuts.size(); ++i) {
        const qsizetype from = i == 0 ? 0 : cuts[i - 1];
        const qsizetype to = i == cuts.size() ? text.size() : cuts[i];
        richtext::AttributedText part = start.text;
        part.append(QStringView(text).sliced(from, to - from), richtext::TextAttributes{});
        TextContinuation continuation = start.continuation;
        continuation.below = i < cuts.size();
        auto node = builtText(part, continuation, environment);
        const QSizeF size = node->measure({width, std::nullopt});
        node->place(QRectF(QPointF(0, parts.height), size));
        parts.height += size.height();
        parts.text += node->text();
        start = node->runOn();
        parts.nodes.push_back(std::move(node));
    }
    return parts;
}

} // namespace

// Parts of a text, each beginning with the line the part above left unfinished, break into the
// lines of the text laid out whole and draw as it draws: with its spacing between the parts' lines,
// the breaks given to a long run where the whole text has them, a part too short to show a line
// of its own showing none, and QTextLayout's own items (it starts one every 4,096 characters of
// a script) starting where that changes nothing. (Inside a run without a space, kerning across
// where one starts may still differ by a fraction of a point: these runs kern nothing there.)
TEST(TextNode, ATextLaidOutInPartsDrawsAsTheTextLaidOutWhole)
{
    const QString family = QString::fromUtf8("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7");
    const struct {
        const char* name;
        QString text;
        std::vector<qsizetype> cuts; // after a space, or inside a long run without one
    } cases[] = {
        {"words with kerning pairs", repeated(QStringLiteral("AVAST Wave To Yo-yo "), 900), {3'000, 7'000, 7'020, 12'000}},
        {"a run without a space", repeated(QStringLiteral("AVw"), 6'000), {2'999, 6'000, 9'001, 12'000}},
        {"a run broken at its hyphens", repeated(QStringLiteral("wave-"), 3'000), {3'000, 6'000, 9'000}},
        {"emoji", repeated(family, 2'000), {3'200, 6'400, 9'600}},
        {"words and line feeds", repeated(QStringLiteral("Some AV words\nand a longer line of words that wraps "), 300),
         {2'580, 6'000, 9'000}},
    };
    Environment environment;
    environment.lineSpacing = 3;
    for (const auto& c : cases) {
        for (const double width : {300.0, 437.0}) {
            SCOPED_TRACE(c.name + QStringLiteral(" at %1").arg(width).toStdString());
            auto whole = builtText(richtext::AttributedText(c.text), {}, environment);
            const QSizeF size = whole->measure({width, std::nullopt});
            whole->place(QRectF(QPointF(0, 0), size));
            const Parts parts = laidOutInParts(c.text, c.cuts, width, environment);
            EXPECT_EQ(parts.text, c.text);
            EXPECT_EQ(parts.height, size.height());
            const auto draw = [&](auto&& paint) {
                QImage image(int(width), int(size.height()), QImage::Format_ARGB32_Premultiplied);
                image.fill(Qt::white);
                QPainter painter(&image);
                paint(painter);
                return image;
            };
            const QRectF all(0, 0, width, size.height());
            EXPECT_EQ(draw([&](QPainter& painter) {
                          for (const auto& node : parts.nodes)
                              node->paint(painter, all);
                      }),
                      draw([&](QPainter& painter) { whole->paint(painter, all); }));
        }
    }
}

namespace {

// The glyphs drawn for each piece of testsupport::emojiLine: plain, and with its second half in
// a run of monospaced, coloured text (laid out with formats).
QStringList emojiLineGlyphs(bool styled)
{
    const QString& line = testsupport::emojiLine;
    const qsizetype half = line.indexOf(testsupport::emojiPieces[3]);
    richtext::AttributedText text(line.left(half));
    richtext::TextAttributes code;
    code.font = richtext::FontSpec{};
    code.font->monospaced = true;
    code.foregroundColor = richtext::Color{0.8, 0.1, 0.1};
    text.append(line.mid(half), styled ? code : richtext::TextAttributes{});
    const auto node = laidOut(text, 600);
    return testsupport::glyphFamiliesByPiece(line, [&](int start, int end) { return node->glyphRuns(start, end); });
}

} // namespace

// Each emoji is one picture of the colour emoji font, whatever text fonts with outlines for
// pictographs stand before it among the system's fallbacks (DejaVu, Noto Sans Symbols2), and in
// any style; © and the digit stay in the text's font.
TEST(TextNode, EmojiAreOneGlyphOfTheColourEmojiFont)
{
    const testsupport::AddedFont emoji(testsupport::colourEmojiFontFile);
    if (!emoji.isAdded())
        GTEST_SKIP() << "fonts-noto-color-emoji is not installed";
    ASSERT_EQ(richtext::colourEmojiFamily(), QStringLiteral("Noto Color Emoji"));
    for (const bool withSymbols : {false, true}) {
        SCOPED_TRACE(withSymbols ? "with Noto Sans Symbols2" : "with the test's fonts");
        std::optional<testsupport::AddedFont> symbols;
        if (withSymbols) {
            symbols.emplace(testsupport::symbolsFontFile);
            if (!symbols->isAdded())
                GTEST_SKIP() << "fonts-noto-core is not installed";
        }
        EXPECT_EQ(emojiLineGlyphs(false), testsupport::emojiLineInFamilies(QStringLiteral("Noto Color Emoji"), QStringLiteral("DejaVu Sans")));
        EXPECT_EQ(emojiLineGlyphs(true),
                  testsupport::emojiLineInFamilies(QStringLiteral("Noto Color Emoji"), QStringLiteral("DejaVu Sans Mono")));
    }
}

// Without a colour emoji font the text is laid out as before: as a bare QTextLayout lays it out.
TEST(TextNode, WithoutAColourEmojiFontEmojiAreLaidOutAsBefore)
{
    ASSERT_TRUE(richtext::colourEmojiFamily().isEmpty());
    const QString& line = testsupport::emojiLine;
    const auto node = laidOut(richtext::AttributedText(line), 600);
    QTextLayout bare(line, TextNode::fontFor(richtext::FontSpec{}));
    bare.beginLayout();
    bare.createLine().setLineWidth(600);
    bare.endLayout();
    const auto glyphs = [](const QList<QGlyphRun>& runs) {
        QStringList drawn;
        for (const QGlyphRun& run : runs) {
            for (const quint32 index : run.glyphIndexes())
                drawn.push_back(run.rawFont().familyName() + QLatin1Char(' ') + QString::number(index));
        }
        return drawn;
    };
    EXPECT_EQ(glyphs(node->glyphRuns(0, int(line.size()))), glyphs(bare.glyphRuns()));
}

// Painted, the emoji are in colour, and the thumb with its skin tone is one picture as wide as
// any other emoji, with no square of the tone beside it.
TEST(TextNode, EmojiArePaintedInColourAsOnePicture)
{
    const testsupport::AddedFont emoji(testsupport::colourEmojiFontFile);
    if (!emoji.isAdded())
        GTEST_SKIP() << "fonts-noto-color-emoji is not installed";
    const testsupport::AddedFont symbols(testsupport::symbolsFontFile);
    const QString& line = testsupport::emojiLine;
    const auto node = laidOut(richtext::AttributedText(line), 600);
    QImage image(node->frame().size().toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    node->paint(painter, node->frame());
    painter.end();
    // Pixels of colour (grey text has none) within the rectangle of a piece of the line.
    const auto saturated = [&](const QString& piece) {
        const int start = int(line.indexOf(piece));
        const QRect rect = node->rangeRect(start, start + int(piece.size())).toAlignedRect() & image.rect();
        int count = 0;
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            for (int x = rect.left(); x <= rect.right(); ++x) {
                const QColor colour = image.pixelColor(x, y);
                count += colour.hsvSaturationF() > 0.3 && colour.valueF() > 0.3;
            }
        }
        return count;
    };
    const auto width = [&](const QString& piece) {
        const int start = int(line.indexOf(piece));
        return node->rangeRect(start, start + int(piece.size())).width();
    };
    for (const QString& piece : testsupport::emojiPieces.mid(0, 2))
        EXPECT_GT(saturated(piece), 20) << piece.toStdString();
    EXPECT_EQ(saturated(testsupport::textPieces[0]), 0);
    const QString& thumb = testsupport::emojiPieces[3];
    EXPECT_GT(saturated(thumb), 20);
    EXPECT_NEAR(width(thumb), width(testsupport::emojiPieces[0]), 0.5);
}

namespace {

// A paint device that keeps the characters of the text items drawn on it.
class DrawnText final : public QPaintDevice {
public:
    QString drawn;

    QPaintEngine* paintEngine() const override { return &m_engine; }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth: return 2000;
        case PdmHeight: return 2000;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY: return 96;
        case PdmDepth: return 32;
        case PdmDevicePixelRatio: return 1;
        case PdmDevicePixelRatioScaled: return int(devicePixelRatioFScale());
        default: return 0;
        }
    }

private:
    class Engine final : public QPaintEngine {
    public:
        explicit Engine(DrawnText& device)
            : m_device(device)
        {
        }
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState&) override {}
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawTextItem(const QPointF&, const QTextItem& item) override { m_device.drawn += item.text(); }
        Type type() const override { return User; }

    private:
        DrawnText& m_device;
    };
    mutable Engine m_engine{*this};
};

} // namespace

// A chain of pictographs joined into one cluster longer than any emoji sequence is laid out as
// its pieces: each pictograph one glyph of the colour emoji font, the joiners nothing, in lines
// that break between them; its text (and so what is selected and copied) stays the chain.
TEST(TextNode, AClusterTooLongToBeOnePictureIsLaidOutAsItsPieces)
{
    const testsupport::AddedFont emoji(testsupport::colourEmojiFontFile);
    if (!emoji.isAdded())
        GTEST_SKIP() << "fonts-noto-color-emoji is not installed";
    const QString man = QString::fromUtf8("👨");
    const QString chain = repeated(man + QChar(0x200D), 1'999) + man;
    const auto node = laidOut(richtext::AttributedText(chain), 400);
    EXPECT_EQ(node->text(), chain);
    EXPECT_GT(node->frame().height(), 40 * node->rangeRect(0, 2).height()) << "it breaks into lines";
    EXPECT_LE(node->frame().width(), 400);
    // Glyphs per man, from the start, the middle and the end of the chain.
    for (const int member : {0, 1'000, 1'999}) {
        SCOPED_TRACE(member);
        const int at = member * 3;
        QStringList families;
        for (const QGlyphRun& run : node->glyphRuns(at, at + 2)) {
            for (qsizetype i = 0; i < run.glyphIndexes().size(); ++i)
                families.push_back(run.rawFont().familyName());
        }
        EXPECT_EQ(families, QStringList{QStringLiteral("Noto Color Emoji")});
        EXPECT_LE(std::abs(node->offsetAt(node->rangeRect(at, at + 2).center()) - at), 2);
    }
    // A recommended sequence beside it stays one picture.
    const QString family = QString::fromUtf8("👨‍👩‍👧‍👦");
    const auto both = laidOut(richtext::AttributedText(family + QStringLiteral(" ") + chain), 400);
    EXPECT_EQ(both->glyphRuns(0, int(family.size())).size(), 1);
    EXPECT_EQ(both->glyphRuns(0, int(family.size())).at(0).glyphIndexes().size(), 1);
}

// A paint of a small rectangle of a long run of emoji draws the glyphs of the lines that cross it
// alone, for a chain laid out as its pieces as for emoji side by side.
TEST(TextNode, APaintOfASmallRectangleDrawsOnlyTheEmojiThatCrossIt)
{
    const testsupport::AddedFont emoji(testsupport::colourEmojiFontFile);
    if (!emoji.isAdded())
        GTEST_SKIP() << "fonts-noto-color-emoji is not installed";
    const QString man = QString::fromUtf8("👨");
    for (const QString& run : {repeated(man + QChar(0x200D), 4'999) + man, repeated(man, 5'000)}) {
        SCOPED_TRACE(run.size());
        const auto node = laidOut(richtext::AttributedText(run), 600);
        const double line = node->rangeRect(0, 2).height();
        ASSERT_GT(line, 0);
        const double perLine = 5'000 * line / node->frame().height();
        DrawnText device;
        QPainter painter(&device);
        const QRectF exposed(100, node->frame().height() / 2, 40, line / 2);
        painter.setClipRect(exposed);
        node->paint(painter, exposed);
        painter.end();
        const qsizetype drawn = device.drawn.count(man);
        EXPECT_GT(drawn, 0);
        EXPECT_LE(drawn, 2 * perLine + 1) << "a line or two of " << perLine << " emoji each";
    }
}
