// Pixels of the painted view: colours and attributes, the screen-wide reverse flag, the
// selection, the caret and inline images.
#include "ViewTestSupport.h"

#include "../src/CellPainter.h"
#include "terminal/CellTables.h"
#include "terminal/UnicodeUtil.h"
#include "terminal/view/CaretView.h"
#include "testsupport/AddedFont.h"
#include "testsupport/EventLoop.h"

#include <QBuffer>
#include <QGlyphRun>
#include <QPainter>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>
#include <set>

namespace terminal {
namespace {

using testing::grabView;
using testing::makeView;

// The colours painted in one cell (its rectangle shrunk a little, away from the neighbours).
std::set<QRgb> cellColors(const QImage& image, const TerminalView& view, int col, int row)
{
    const QSizeF cell = view.cellSize();
    std::set<QRgb> colors;
    for (int y = static_cast<int>(std::ceil(row * cell.height())); y < static_cast<int>((row + 1) * cell.height()); ++y)
        for (int x = static_cast<int>(std::ceil(col * cell.width())) + 1; x < static_cast<int>((col + 1) * cell.width()) - 1; ++x)
            colors.insert(image.pixel(x, y) & 0xffffff);
    return colors;
}

QRgb rgb(int r, int g, int b)
{
    return qRgb(r, g, b) & 0xffffff;
}

// The most saturated painted colour of a cell that is not its background.
bool paints(const std::set<QRgb>& colors, QRgb color)
{
    return colors.count(color & 0xffffff) > 0;
}

TEST(Drawing, SgrColoursAndAttributes)
{
    auto view = makeView(20, 4);
    const auto& palette = view->terminal().ansiColors();
    auto paletteColor = [&](int i) { return QColor::fromRgba64(palette[i].red, palette[i].green, palette[i].blue).rgb(); };
    // Full blocks fill their cells, so each shows its colour exactly.
    view->feed("\x1b[31m█\x1b[0m"             // 0: red
               "\x1b[42m \x1b[0m"             // 1: green background
               "\x1b[1;34m█\x1b[0m"           // 2: bold blue shows bright blue
               "\x1b[1;37m█\x1b[0m"           // 3: bold white (7) stays 7
               "\x1b[7m \x1b[0m"              // 4: inverse default: the inverted background
               "\x1b[8;31m█\x1b[0m"           // 5: invisible: nothing drawn
               "\x1b[9;33m \x1b[0m"           // 6: strike-through over a blank
               "\x1b[4;35m \x1b[0m"           // 7: underline over a blank
               "\x1b[38;2;10;200;30m█\x1b[0m" // 8: true colour
               "\x1b[2;37m█\x1b[0m");         // 9: dim: at 0.6 over the background
    const QImage image = grabView(*view);
    EXPECT_TRUE(paints(cellColors(image, *view, 0, 0), paletteColor(1)));
    EXPECT_EQ(cellColors(image, *view, 1, 0), std::set<QRgb>{paletteColor(2) & 0xffffff});
    EXPECT_TRUE(paints(cellColors(image, *view, 2, 0), paletteColor(12)));
    EXPECT_FALSE(paints(cellColors(image, *view, 2, 0), paletteColor(4)));
    EXPECT_TRUE(paints(cellColors(image, *view, 3, 0), paletteColor(7)));
    EXPECT_FALSE(paints(cellColors(image, *view, 3, 0), paletteColor(15)));
    EXPECT_EQ(cellColors(image, *view, 4, 0), std::set<QRgb>{rgb(255, 255, 255)});
    EXPECT_EQ(cellColors(image, *view, 5, 0), std::set<QRgb>{rgb(0, 0, 0)});
    EXPECT_TRUE(paints(cellColors(image, *view, 6, 0), paletteColor(3)));
    EXPECT_TRUE(paints(cellColors(image, *view, 7, 0), paletteColor(5)));
    EXPECT_TRUE(paints(cellColors(image, *view, 8, 0), rgb(10, 200, 30)));
    const QColor seven = QColor::fromRgb(paletteColor(7));
    const auto dim = cellColors(image, *view, 9, 0);
    EXPECT_FALSE(paints(dim, paletteColor(7)));
    EXPECT_TRUE(std::any_of(dim.begin(), dim.end(), [&](QRgb c) { return std::abs(qRed(c) - seven.red() * 0.6) <= 2; }));

    // Without bright colours only the bright half of the palette maps down.
    view->setUseBrightColors(false);
    view->feed("\r\n\x1b[91m█\x1b[38;5;196m█\x1b[1;34m█");
    const QImage plain = grabView(*view);
    EXPECT_TRUE(paints(cellColors(plain, *view, 0, 1), paletteColor(1)));
    EXPECT_FALSE(paints(cellColors(plain, *view, 0, 1), paletteColor(9)));
    EXPECT_TRUE(paints(cellColors(plain, *view, 1, 1), paletteColor(196)));
    EXPECT_TRUE(paints(cellColors(plain, *view, 2, 1), paletteColor(4)));
}

// Clusters of one scalar up to the longest a cell keeps are painted, and each cell's glyphs are
// those of its own cluster's text shaped on its own: a long cluster's text lives in the table
// (four scalars and more no longer fit a string's own buffer).
TEST(Drawing, EveryClusterIsShapedFromItsOwnText)
{
    const int longest = static_cast<int>(CellTables::maxClusterScalars);
    auto view = makeView(10, longest);
    static const char32_t marks[] = {0x301, 0x302, 0x323, 0x300, 0x308, 0x327, 0x30A, 0x303, 0x331};
    std::vector<std::u32string> clusters;
    for (int n = 1; n <= longest; ++n) {
        std::u32string cluster(1, n % 2 ? U'e' : U'a');
        for (int i = 1; i < n; ++i)
            cluster += marks[static_cast<std::size_t>(i * 5 + n) % std::size(marks)];
        clusters.push_back(cluster);
        std::string line = "\x1b[" + std::to_string(n) + "H";
        for (char32_t c : cluster)
            appendUtf8(line, c);
        view->feed(line);
    }
    const QImage painted = grabView(*view);
    EXPECT_FALSE(painted.isNull());

    GlyphCache cache;
    const QFont font = testing::testFont();
    cache.setFaces({font, font, font, font});
    const CellTables& tables = view->terminal().tables();
    for (int row = 0; row < longest; ++row) {
        const CharData& cell = view->terminal().buffer().screenLine(row)[0];
        const std::u32string& cluster = clusters[static_cast<std::size_t>(row)];
        ASSERT_EQ(tables.scalars(cell.code), cluster) << "row " << row;
        const GlyphCache::Span cached = cache.glyphs(tables, cell.code, 0);
        const GlyphCache::Span expected =
            cache.shape(QString::fromUcs4(cluster.data(), static_cast<qsizetype>(cluster.size())), 0);
        ASSERT_EQ(cached.count, expected.count) << "row " << row;
        for (std::uint32_t i = 0; i < cached.count; ++i) {
            const GlyphCache::Glyph& a = cache.glyph(cached.first + i);
            const GlyphCache::Glyph& b = cache.glyph(expected.first + i);
            EXPECT_EQ(a.index, b.index) << "row " << row << " glyph " << i;
            EXPECT_EQ(a.offset, b.offset) << "row " << row << " glyph " << i;
            EXPECT_TRUE(cache.font(a.font) == cache.font(b.font)) << "row " << row << " glyph " << i;
        }
    }
}

// The engine gives each pictograph of a ZWJ sequence, an emoji modifier and each regional
// indicator of a flag cells of their own, as the C library counts them. A font with one glyph
// for the whole sequence draws it from the first cell, and the cells after it stay empty;
// a sequence the font has no glyph for is drawn part by part, each in its own cells.
TEST(Drawing, AnEmojiSequenceOverSeveralCellsIsTheFontsOneGlyph)
{
    const std::set<QRgb> blank{rgb(0, 0, 0)};
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
    // Without a font that has it, the family's parts are drawn in their own cells.
    auto plain = makeView(20, 1);
    plain->feed(family);
    const QImage boxes = grabView(*plain);
    for (int col : {0, 2, 4})
        EXPECT_NE(cellColors(boxes, *plain, col, 0), blank) << "column " << col;

    const testsupport::AddedFont emoji(testsupport::colourEmojiFontFile);
    if (!emoji.isAdded())
        GTEST_SKIP() << "fonts-noto-color-emoji is not installed";
    // A desktop's monochrome symbol font, which the system's fallback may pick for a pictograph
    // before the colour font.
    const testsupport::AddedFont symbols(testsupport::symbolsFontFile);
    // The system's colour font for emoji is asked for with the font: no family names it here.
    auto view = makeView(20, 4);
    view->setTerminalFont(testing::testFont());
    ASSERT_EQ(view->terminal().cols(), 20);
    view->feed(family + "\r\n"                     // three wide cells
               "\U0001F44D\U0001F3FD\r\n"           // thumbs up, medium skin tone: two
               "\U0001F1EB\U0001F1F7\r\n"           // flag of France: two narrow cells
               "\U0001F468\u200Dx\U0001F469");        // man, joiner and x: no glyph for it
    const QImage image = grabView(*view);
    const auto drawn = [&](int col, int row) { return cellColors(image, *view, col, row) != blank; };
    EXPECT_TRUE(drawn(0, 0));
    for (int col = 2; col < 6; ++col)
        EXPECT_FALSE(drawn(col, 0)) << "family, column " << col;
    EXPECT_TRUE(drawn(0, 1));
    EXPECT_FALSE(drawn(2, 1)) << "thumbs up";
    EXPECT_FALSE(drawn(3, 1)) << "thumbs up";
    EXPECT_TRUE(drawn(0, 2));
    EXPECT_FALSE(drawn(2, 2)) << "flag";
    EXPECT_TRUE(drawn(2, 3)) << "x after the joiner";
    EXPECT_TRUE(drawn(3, 3)) << "woman after x";

    // The emoji font has digits too (keycaps): text keeps its own font, named by a generic
    // family or by its own.
    const std::string text = "\x1b[31m0123456789#*AZ";
    view->setTerminalFont(testing::testFont());
    view->feed("\x1b[2J\x1b[H" + text);
    auto generic = makeView(20, 4);
    QFont monospace(QStringLiteral("monospace"));
    monospace.setPixelSize(testing::testFont().pixelSize());
    generic->setTerminalFont(monospace);
    generic->feed(text);
    EXPECT_EQ(grabView(*generic), grabView(*view));
}

// A painter of its own over a view's terminal, into an image of the view's cells.
struct OwnPainter {
    explicit OwnPainter(TerminalView& view, std::size_t glyphCapacity = GlyphCache::defaultCapacity,
                        const QFont& font = testing::testFont(), std::size_t glyphBytes = GlyphCache::defaultMaxBytes)
        : painter(glyphCapacity, glyphBytes)
    {
        painter.setFont(font);
        frame.terminal = &view.terminal();
        frame.foreground = Qt::white;
        frame.background = Qt::black;
        frame.selectionBackground = Qt::blue;
        size = QSize(static_cast<int>(std::ceil(painter.cellSize().width() * view.terminal().cols())),
                     static_cast<int>(std::ceil(painter.cellSize().height() * view.terminal().rows())));
        frame.width = size.width();
    }
    // The area of the rows from `first` to `last`.
    QRect rows(int first, int last) const
    {
        const qreal ch = painter.cellSize().height();
        return QRect(QPoint(0, static_cast<int>(std::ceil(first * ch))),
                     QPoint(size.width() - 1, static_cast<int>((last + 1) * ch) - 1));
    }
    // Those rows painted, the others left black.
    QImage paint(int first, int last)
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter p(&image);
        painter.paint(p, rows(first, last), frame);
        return image;
    }
    struct Glyph {
        QString family;
        quint32 index;
        QPointF position;
    };
    // The glyphs a paint of those rows draws, row by row and left to right.
    std::vector<Glyph> drawnGlyphs(int first, int last)
    {
        std::vector<Glyph> drawn;
        painter.onGlyphRun = [&](const QGlyphRun& run, QRgb) {
            for (qsizetype i = 0; i < run.glyphIndexes().size(); ++i)
                drawn.push_back({run.rawFont().familyName(), run.glyphIndexes()[i], run.positions()[i]});
        };
        paint(first, last);
        painter.onGlyphRun = nullptr;
        // A glyph fitted into its cells stands higher or lower than the row's baseline.
        const qreal ch = painter.cellSize().height();
        std::sort(drawn.begin(), drawn.end(), [&](const Glyph& a, const Glyph& b) {
            return std::pair(std::floor(a.position.y() / ch), a.position.x()) <
                   std::pair(std::floor(b.position.y() / ch), b.position.x());
        });
        return drawn;
    }
    // The one glyph the painter's normal face has for a text on its own.
    quint32 glyphOf(const char* utf8)
    {
        GlyphCache alone;
        alone.setFaces({painter.face(0), painter.face(1), painter.face(2), painter.face(3)});
        const GlyphCache::Span span = alone.shape(QString::fromUtf8(utf8), 0);
        EXPECT_EQ(span.count, 1u) << utf8;
        return span.count ? alone.glyph(span.first).index : 0;
    }

    CellPainter painter;
    CellPainter::Frame frame;
    QSize size;
};

// A chain of toned pictographs that the font has no one glyph for ("that line shapes to 7
// glyphs") is drawn as its members, each pictograph with its tone as the font's one glyph from
// the member's first cell: no tone is left as a square of its own.
TEST(Drawing, AChainTheFontCannotJoinIsDrawnAsItsPictographsEachWithItsTone)
{
    const testsupport::AddedFont emoji(testsupport::colourEmojiFontFile);
    if (!emoji.isAdded())
        GTEST_SKIP() << "fonts-noto-color-emoji is not installed";
    auto view = makeView(20, 1);
    view->feed("\U0001F44B\U0001F3FB\u200D\U0001F469\U0001F3FF\u200D\U0001F467\U0001F3FD\u200D\U0001F466");
    OwnPainter own(*view);
    const auto drawn = own.drawnGlyphs(0, 0);
    struct Member {
        const char* text;
        int col;
    };
    const Member members[] = {{"\U0001F44B\U0001F3FB", 0}, {"\U0001F469\U0001F3FF", 4}, {"\U0001F467\U0001F3FD", 8},
                              {"\U0001F466", 12}};
    ASSERT_EQ(drawn.size(), std::size(members));
    for (std::size_t i = 0; i < std::size(members); ++i) {
        EXPECT_EQ(drawn[i].family, QStringLiteral("Noto Color Emoji")) << members[i].text;
        EXPECT_EQ(drawn[i].index, own.glyphOf(members[i].text)) << members[i].text;
        EXPECT_NEAR(drawn[i].position.x(), members[i].col * own.painter.cellSize().width(), 0.5) << members[i].text;
    }
    EXPECT_NE(own.glyphOf("\U0001F44B"), own.glyphOf("\U0001F44B\U0001F3FB"));
    EXPECT_FALSE(own.painter.chainsPending());
}

// Chains come without end and a new one is slow to shape (Qt decodes each colour glyph to
// measure it), so a paint asks the font about a few new ones and draws the others as their
// members; the view paints again until every chain on the screen was asked, then rests.
TEST(Drawing, APaintJoinsAFewNewChainsAndTheViewPaintsAgainForTheRest)
{
    const testsupport::AddedFont emoji(testsupport::colourEmojiFontFile);
    if (!emoji.isAdded())
        GTEST_SKIP() << "fonts-noto-color-emoji is not installed";
    // Twelve people holding hands in different tones, four a row, each over ten columns.
    auto view = makeView(44, 3);
    std::string screen = "\x1b[2 q\x1b[H"; // a steady caret: a blinking one paints too
    for (int chain = 0; chain < 12; ++chain) {
        appendUtf8(screen, 0x1F9D1);
        appendUtf8(screen, 0x1F3FB + chain / 5);
        screen += "\u200D\U0001F91D\u200D";
        appendUtf8(screen, 0x1F9D1);
        appendUtf8(screen, 0x1F3FB + chain % 5);
        screen += chain % 4 == 3 && chain < 11 ? "\r\n" : " ";
    }
    const auto painted = view->paintCount();
    view->feed(screen);

    OwnPainter own(*view);
    const auto first = own.drawnGlyphs(0, 2);
    EXPECT_TRUE(own.painter.chainsPending());
    // Eight chains as one glyph each, four as three members.
    EXPECT_GE(first.size(), 8u + 4 * 3);
    const auto second = own.drawnGlyphs(0, 2);
    EXPECT_FALSE(own.painter.chainsPending());
    ASSERT_EQ(second.size(), 12u);
    const QSizeF cell = own.painter.cellSize();
    for (int chain = 0; chain < 12; ++chain) {
        EXPECT_EQ(second[chain].family, QStringLiteral("Noto Color Emoji")) << chain;
        EXPECT_NEAR(second[chain].position.x(), chain % 4 * 11 * cell.width(), 0.5) << chain;
        EXPECT_LT(second[chain].position.y(), (chain / 4 + 1) * cell.height()) << chain;
    }

    // The view's own paints: the first, the one after it, and then none.
    ASSERT_TRUE(testsupport::waitUntil([&] { return view->paintCount() >= painted + 2; }, 3000));
    testsupport::spin(100);
    const auto settled = view->paintCount();
    testsupport::spin(200);
    EXPECT_EQ(view->paintCount(), settled);
}

std::string randomCluster(std::mt19937& random)
{
    std::string cluster;
    appendUtf8(cluster, U'a' + random() % 26);
    for (int mark = 0; mark < 3; ++mark)
        appendUtf8(cluster, 0x300 + random() % 0x70);
    return cluster;
}

// Output makes clusters without end; the cache keeps to its number of entries, the least
// recently drawn going first, and its glyph store with them. A cell whose entry went is shaped
// again when it is drawn next, to the same pixels.
TEST(Drawing, TheGlyphCacheKeepsToItsBudgetAndAnEvictedClusterDrawsAlike)
{
    constexpr std::size_t capacity = 64;
    auto view = makeView(40, 4);
    OwnPainter own(*view, capacity);
    std::mt19937 random(3);
    std::vector<std::string> first;
    std::string line = "\x1b[H";
    for (int i = 0; i < 12; ++i) {
        first.push_back(randomCluster(random));
        line += first.back();
    }
    line += "中文 über";
    view->feed(line);
    const QRect top = own.rows(0, 0);
    const QImage before = own.paint(0, 0).copy(top);
    const GlyphCache& cache = own.painter.glyphCache();
    ASSERT_EQ(cache.capacity(), capacity);
    EXPECT_EQ(cache.size(), first.size() + 3); // the clusters, 中, 文 and ü
    ASSERT_TRUE(cache.holds(first[0], 0));

    // Screens of other clusters below the first row, far more than the cache holds.
    for (int screen = 0; screen < 20; ++screen) {
        std::string rows = "\x1b[2H";
        for (int row = 1; row < 4; ++row) {
            for (int col = 0; col < 40; ++col)
                rows += randomCluster(random);
            if (row < 3)
                rows += "\r\n";
        }
        view->feed(rows);
        own.paint(1, 3);
        EXPECT_EQ(cache.size(), capacity) << "screen " << screen;
        // A cluster's three marks and letter are at most a few glyphs.
        EXPECT_LE(cache.storedGlyphs(), 16 * capacity) << "screen " << screen;
    }
    for (const std::string& cluster : first)
        EXPECT_FALSE(cache.holds(cluster, 0));

    EXPECT_EQ(own.paint(0, 0).copy(top), before);
    EXPECT_TRUE(cache.holds(first[0], 0));
    EXPECT_EQ(cache.size(), capacity);
}

// The one glyph the colour emoji font alone has for a text, shaped without the view's code; 0
// when it has none.
quint32 emojiFontGlyph(const char* utf8)
{
    QFont font(QStringLiteral("Noto Color Emoji"));
    font.setPixelSize(12);
    font.setStyleStrategy(QFont::NoFontMerging);
    QTextLayout layout(QString::fromUtf8(utf8), font);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = line.glyphRuns();
    return runs.size() == 1 && runs[0].glyphIndexes().size() == 1 ? runs[0].glyphIndexes()[0] : 0;
}

// The monospaced fonts emoji are drawn beside: the one the tests pin, and the one desktops with
// Noto's fonts resolve "monospace" to, which has glyphs for the joiner and variation selectors.
struct Monospace {
    const char* name; // of the test case
    const char* family;
    QString file; // added for the test; empty for a pinned font
};

void PrintTo(const Monospace& monospace, std::ostream* out)
{
    *out << monospace.family;
}

class EmojiDrawing : public ::testing::TestWithParam<Monospace> {
protected:
    void SetUp() override
    {
        emoji_.emplace(testsupport::colourEmojiFontFile);
        if (!emoji_->isAdded())
            GTEST_SKIP() << "fonts-noto-color-emoji is not installed";
        if (!GetParam().file.isEmpty()) {
            monospace_.emplace(GetParam().file);
            if (!monospace_->isAdded())
                GTEST_SKIP() << GetParam().family << " is not installed (fonts-noto-mono, which .ci/run installs)";
        }
    }
    QFont font() const
    {
        QFont font(QString::fromLatin1(GetParam().family));
        font.setPixelSize(testing::testFont().pixelSize());
        return font;
    }
    // A view of `cols` x `rows` cells in the font, its caret hidden.
    std::unique_ptr<TerminalView> view(int cols, int rows) const
    {
        auto view = makeView(cols, rows);
        view->setTerminalFont(font());
        const QSizeF cell = view->cellSize();
        view->setFixedSize(static_cast<int>(std::ceil(cell.width() * cols)) + view->scroller()->sizeHint().width(),
                           static_cast<int>(std::ceil(cell.height() * rows)));
        view->feed("\x1b[?25l");
        return view;
    }

private:
    std::optional<testsupport::AddedFont> emoji_;
    std::optional<testsupport::AddedFont> monospace_;
};

INSTANTIATE_TEST_SUITE_P(Fonts, EmojiDrawing,
                         ::testing::Values(Monospace{"DejaVuSansMono", "DejaVu Sans Mono", {}},
                                           Monospace{"NotoSansMono", "Noto Sans Mono", testsupport::notoMonoFontFile}),
                         [](const auto& info) { return std::string(info.param.name); });

bool colourful(QRgb pixel)
{
    const int high = std::max({qRed(pixel), qGreen(pixel), qBlue(pixel)});
    const int low = std::min({qRed(pixel), qGreen(pixel), qBlue(pixel)});
    return high - low > 40;
}

// The engine gives a keycap and a heart with U+FE0F one cell each, as shells count them; their
// colour pictures are wider than that, and are drawn scaled into the cell. The keycap is the
// colour font's one glyph, not a digit from the text's font with the font's frame over the next
// cells.
TEST_P(EmojiDrawing, AnEmojiIsDrawnInsideTheCellsItsClusterOwns)
{
    auto view = this->view(30, 2);
    view->feed("x|AAAA  1\ufe0f\u20e3|AAAA  \u2764\ufe0f|AAAA\r\n"
               "x|AAAA  x|AAAA  x|AAAA");
    const int emojiCols[] = {8, 16};
    for (int col : emojiCols)
        ASSERT_EQ(view->terminal().buffer().screenLine(0)[col].width, 1) << col;
    const QImage image = grabView(*view);
    const QSizeF cell = view->cellSize();
    const int rowHeight = static_cast<int>(cell.height());
    auto inEmoji = [&](int x) {
        return std::any_of(std::begin(emojiCols), std::end(emojiCols), [&](int col) {
            return x >= std::floor(col * cell.width()) && x < std::ceil((col + 1) * cell.width());
        });
    };
    // Every pixel outside the emoji's cells is the same as beside a plain letter.
    int differing = 0;
    for (int x = 0; x < static_cast<int>(22 * cell.width()); ++x)
        for (int y = 0; y < rowHeight && !inEmoji(x); ++y)
            differing += image.pixel(x, y) != image.pixel(x, y + static_cast<int>(std::ceil(cell.height())));
    EXPECT_EQ(differing, 0);
    for (int col : emojiCols) {
        int coloured = 0;
        for (int x = static_cast<int>(std::floor(col * cell.width())); x < std::ceil((col + 1) * cell.width()); ++x)
            for (int y = 0; y < rowHeight; ++y)
                coloured += colourful(image.pixel(x, y));
        EXPECT_GT(coloured, 4) << "column " << col;
    }

    OwnPainter own(*view, GlyphCache::defaultCapacity, font());
    std::vector<OwnPainter::Glyph> keycap;
    for (const auto& glyph : own.drawnGlyphs(0, 0))
        if (glyph.position.x() >= 8 * cell.width() - 0.5 && glyph.position.x() < 9 * cell.width())
            keycap.push_back(glyph);
    ASSERT_EQ(keycap.size(), 1u);
    EXPECT_EQ(keycap[0].family, QStringLiteral("Noto Color Emoji"));
    EXPECT_EQ(keycap[0].index, emojiFontGlyph("1\ufe0f\u20e3"));
}

// Sequences with U+FE0F or skin tones inside, which the text's font (with glyphs for U+FE0F or
// U+200D) would cut in two, are the colour font's one glyph each: in a fresh view, and again
// after screens of distinct clusters and chains have filled the glyph cache past its bound.
TEST_P(EmojiDrawing, ASequenceTheColourFontHasIsItsOneGlyphWheneverItIsDrawn)
{
    static const char* const sequences[] = {
        "\U0001F3F3\ufe0f\u200d\U0001F308",              // rainbow flag
        "\U0001F468\u200d\U0001F469\u200d\U0001F467", // family
        "\U0001F469\U0001F3FD\u200d\U0001F4BB",          // technologist, medium skin tone
        "#\ufe0f\u20e3"};
    std::string line;
    for (const char* sequence : sequences) {
        ASSERT_NE(emojiFontGlyph(sequence), 0u) << sequence;
        line += std::string(sequence) + " ";
    }
    auto view = this->view(40, 6);
    constexpr std::size_t capacity = 64;
    OwnPainter own(*view, capacity, font());
    auto expectOneGlyphEach = [&](int row) {
        auto drawn = own.drawnGlyphs(row, row);
        for (int paint = 0; paint < 2 && own.painter.chainsPending(); ++paint)
            drawn = own.drawnGlyphs(row, row);
        EXPECT_FALSE(own.painter.chainsPending());
        ASSERT_EQ(drawn.size(), std::size(sequences)) << "row " << row;
        for (std::size_t i = 0; i < std::size(sequences); ++i) {
            EXPECT_EQ(drawn[i].family, QStringLiteral("Noto Color Emoji")) << sequences[i];
            EXPECT_EQ(drawn[i].index, emojiFontGlyph(sequences[i])) << sequences[i];
        }
    };
    view->feed("\x1b[H" + line);
    expectOneGlyphEach(0);

    std::mt19937 random(11);
    for (int screen = 0; screen < 12; ++screen) {
        std::string rows = "\x1b[2H";
        for (int row = 1; row < 6; ++row) {
            for (int col = 0; col < 40;) {
                if (random() % 8) {
                    rows += randomCluster(random);
                    ++col;
                } else if (col + 8 <= 40) {
                    for (int member = 0; member < 2; ++member) {
                        appendUtf8(rows, 0x1F466 + random() % 4);
                        appendUtf8(rows, 0x1F3FB + random() % 5);
                        if (!member)
                            rows += "\u200d";
                    }
                    col += 8;
                }
            }
            if (row < 5)
                rows += "\r\n";
        }
        view->feed(rows);
        own.paint(1, 5);
        own.paint(1, 5);
    }
    EXPECT_EQ(own.painter.glyphCache().size(), capacity + capacity / 8);
    view->feed("\x1b[6H\x1b[2K" + line);
    expectOneGlyphEach(5);
}

// A screen of more distinct clusters than the glyph cache holds, with more chains than a paint
// shapes: the paint in progress keeps what it used, the next one shapes every chain left, and
// then the view rests. The chains the cache cannot keep are shaped by each paint again.
TEST(Drawing, AScreenLargerThanTheCacheWithManyChainsSettles)
{
    const testsupport::AddedFont emoji(testsupport::colourEmojiFontFile);
    if (!emoji.isAdded())
        GTEST_SKIP() << "fonts-noto-color-emoji is not installed";
    std::mt19937 random(17);
    // Distinct clusters everywhere, and `chains` people holding hands in the last rows, each
    // after a letter: eleven columns.
    auto screen = [&](int cols, int rows, int chains) {
        std::string text = "\x1b[2 q\x1b[H"; // a steady caret: a blinking one paints too
        const int chainRows = (chains + cols / 11 - 1) / (cols / 11);
        for (int row = 0; row < rows; ++row) {
            int col = 0;
            for (; row >= rows - chainRows && chains > 0 && col + 11 <= cols; col += 11, --chains) {
                text += "x\U0001F9D1";
                appendUtf8(text, 0x1F3FB + random() % 5);
                text += "\u200d\U0001F91D\u200d\U0001F9D1";
                appendUtf8(text, 0x1F3FB + random() % 5);
            }
            for (; col < cols; ++col)
                text += randomCluster(random);
            if (row + 1 < rows)
                text += "\r\n";
        }
        return text;
    };

    // 480 clusters and 30 chains for 64 entries and 8 chains.
    constexpr std::size_t capacity = 64;
    auto small = makeView(40, 12);
    small->feed(screen(40, 12, 30));
    OwnPainter own(*small, capacity);
    std::string first;
    small->terminal().tables().appendUtf8(small->terminal().buffer().screenLine(0)[0].code, first);
    own.paint(0, 11);
    EXPECT_TRUE(own.painter.chainsPending());
    const QImage second = own.paint(0, 11);
    EXPECT_FALSE(own.painter.chainsPending());
    const auto glyphs = own.drawnGlyphs(0, 11);
    EXPECT_FALSE(own.painter.chainsPending());
    EXPECT_EQ(own.paint(0, 11), second);
    EXPECT_FALSE(own.painter.chainsPending());
    const auto joined = std::count_if(glyphs.begin(), glyphs.end(), [](const OwnPainter::Glyph& g) {
        return g.family == QStringLiteral("Noto Color Emoji");
    });
    EXPECT_EQ(joined, 30);
    // The first cells drawn keep their entries; the later ones are shaped for each paint.
    EXPECT_TRUE(own.painter.glyphCache().holds(first, 0));
    EXPECT_EQ(own.painter.glyphCache().size(), capacity + capacity / 8);

    // The view's own cache, on a screen of more cells than it has entries.
    const int cols = 200;
    const int rows = static_cast<int>(GlyphCache::defaultCapacity / cols) + 10;
    auto view = makeView(cols, rows);
    const auto before = view->paintCount();
    view->feed(screen(cols, rows, 24));
    ASSERT_TRUE(testsupport::waitUntil([&] { return view->paintCount() > before; }, 5000));
    std::uint64_t painted = 0;
    for (int wait = 0; wait < 40 && painted != view->paintCount(); ++wait) {
        painted = view->paintCount();
        testsupport::spin(300);
    }
    EXPECT_EQ(view->paintCount(), painted) << "still painting";
    EXPECT_LE(painted - before, 3u);
}

// Chains of 40 pictographs with 30 marks each make entries of 30 KB: the cache keeps to its bytes
// (the glyphs of entries let go and not yet compacted included), and what it draws after letting
// go is what a fresh cache draws.
TEST(Drawing, TheGlyphCacheKeepsToItsBytesUnderLongMarkedChains)
{
    const testsupport::AddedFont emoji(testsupport::colourEmojiFontFile);
    if (!emoji.isAdded())
        GTEST_SKIP() << "fonts-noto-color-emoji is not installed";
    constexpr std::size_t maxBytes = 4 << 20;
    auto view = makeView(80, 4);
    view->feed("\x1b[?25l");
    OwnPainter own(*view, GlyphCache::defaultCapacity, testing::testFont(), maxBytes);
    const GlyphCache& cache = own.painter.glyphCache();
    std::mt19937 random(23);
    std::size_t most = 0;
    for (int screen = 0; screen < 16; ++screen) {
        std::string rows = "\x1b[H";
        for (int row = 0; row < 4; ++row) {
            for (int member = 0; member < 40; ++member) {
                if (member)
                    rows += "\u200d";
                appendUtf8(rows, 0x1F466 + random() % 4);
                for (int mark = 0; mark < 30; ++mark)
                    appendUtf8(rows, 0x300 + random() % 0x70);
            }
            if (row < 3)
                rows += "\r\n";
        }
        view->feed(rows);
        for (int paint = 0; paint < 2; ++paint) {
            own.paint(0, 3);
            most = std::max(most, cache.bytes());
            ASSERT_LE(cache.bytes(), maxBytes) << "screen " << screen;
        }
    }
    EXPECT_GT(most, maxBytes / 2);
    EXPECT_LT(cache.size(), cache.capacity());
    OwnPainter fresh(*view, GlyphCache::defaultCapacity, testing::testFont(), maxBytes);
    EXPECT_EQ(own.paint(0, 3), fresh.paint(0, 3));
}

TEST(Drawing, ScreenReverseSwapsTheDefaultColoursAndWideCellsSpanTwoColumns)
{
    auto view = makeView(10, 3);
    view->feed("\x1b[44m日\x1b[0m");
    QImage image = grabView(*view);
    const QRgb blue = QColor::fromRgba64(view->terminal().ansiColors()[4].red, view->terminal().ansiColors()[4].green,
                                         view->terminal().ansiColors()[4].blue)
                          .rgb();
    EXPECT_TRUE(paints(cellColors(image, *view, 1, 0), blue));
    EXPECT_EQ(cellColors(image, *view, 5, 2), std::set<QRgb>{rgb(0, 0, 0)});

    view->feed("\x1b[?5h");
    image = grabView(*view);
    EXPECT_EQ(cellColors(image, *view, 5, 2), std::set<QRgb>{rgb(255, 255, 255)});
    // The strip below the last full row takes the background too.
    EXPECT_EQ(image.pixel(2, image.height() - 1) & 0xffffff, rgb(255, 255, 255));
    view->feed("\x1b[?5l");
    image = grabView(*view);
    EXPECT_EQ(cellColors(image, *view, 5, 2), std::set<QRgb>{rgb(0, 0, 0)});
}

TEST(Drawing, TheSelectionIsHighlighted)
{
    auto view = makeView(10, 3);
    view->setSelectedTextBackgroundColor(QColor(0, 0, 200));
    view->feed("abc def");
    view->selection().selectWordOrExpression({4, 0});
    const QImage image = grabView(*view);
    EXPECT_TRUE(paints(cellColors(image, *view, 4, 0), rgb(0, 0, 200)));
    EXPECT_TRUE(paints(cellColors(image, *view, 6, 0), rgb(0, 0, 200)));
    EXPECT_FALSE(paints(cellColors(image, *view, 2, 0), rgb(0, 0, 200)));
    EXPECT_FALSE(paints(cellColors(image, *view, 7, 0), rgb(0, 0, 200)));
}

// The blink fades from opaque to clear in 0.7 s along 1 - t², then back: drawn as frames at
// equal steps of opacity, each one changing the caret's pixels.
TEST(Drawing, TheCaretBlinksInFramesOfEqualStepsAlongItsFade)
{
    const std::vector<CaretView::BlinkFrame>& frames = CaretView::blinkFrames();
    ASSERT_GE(frames.size(), 16u);
    EXPECT_DOUBLE_EQ(frames.back().atMs, 1400);
    EXPECT_EQ(frames.back().opacity, 1);
    double last = 0;
    qreal lastOpacity = 1;
    for (const CaretView::BlinkFrame& frame : frames) {
        EXPECT_GT(frame.atMs, last);
        const double t = (frame.atMs <= 700 ? frame.atMs : 1400 - frame.atMs) / 700;
        EXPECT_NEAR(frame.opacity, 1 - t * t, 1e-9) << frame.atMs;
        EXPECT_GE(std::abs(frame.opacity - lastOpacity), 1.0 / 16) << frame.atMs;
        last = frame.atMs;
        lastOpacity = frame.opacity;
    }
}

TEST(Drawing, TheCaretFollowsTheCursorItsStyleAndTheFocus)
{
    auto view = makeView(10, 3);
    view->setCaretColor(QColor(250, 0, 0));
    view->feed("ab");
    view->activateWindow();
    view->setFocus();
    ASSERT_TRUE(testsupport::waitUntil([&] { return view->hasFocusForCaret(); }, 2000));
    view->caret().setStyle(CursorStyle::steadyBlock);
    QImage image = grabView(*view);
    EXPECT_TRUE(paints(cellColors(image, *view, 2, 0), rgb(250, 0, 0)));
    EXPECT_FALSE(paints(cellColors(image, *view, 1, 0), rgb(250, 0, 0)));

    view->caret().setStyle(CursorStyle::steadyBar);
    image = grabView(*view);
    const QRectF caret = view->caretFrame();
    EXPECT_EQ(image.pixel(static_cast<int>(caret.left()) + 1, static_cast<int>(caret.center().y())) & 0xffffff, rgb(250, 0, 0));
    EXPECT_EQ(image.pixel(static_cast<int>(caret.center().x()) + 1, static_cast<int>(caret.center().y())) & 0xffffff, rgb(0, 0, 0));
    EXPECT_FALSE(view->caret().blinking());
    view->caret().setStyle(CursorStyle::blinkUnderline);
    EXPECT_TRUE(view->caret().blinking());

    // Hidden by the program: no caret at all.
    view->feed("\x1b[?25l");
    image = grabView(*view);
    EXPECT_FALSE(paints(cellColors(image, *view, 2, 0), rgb(250, 0, 0)));
}

TEST(Drawing, ImagesAreCutIntoRowStripsClampedAndDropped)
{
    auto view = makeView(20, 10);
    const QSizeF cell = view->cellSize();
    view->feed("ab");
    const int height = static_cast<int>(cell.height() * 2.5);
    std::vector<std::uint8_t> red(std::size_t(30) * height * 4);
    for (std::size_t i = 0; i < red.size(); i += 4) {
        red[i] = 255;
        red[i + 3] = 255;
    }
    view->createImageFromBitmap(view->terminal(), red, 30, height);
    // Three strips from the cursor down; the cursor ends below them in its column.
    EXPECT_EQ(view->terminal().buffer().y(), 3);
    EXPECT_EQ(view->terminal().buffer().x(), 2);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(view->terminal().buffer().lines()[row].images.size(), 1u);
    const QImage image = grabView(*view);
    EXPECT_EQ(image.pixel(static_cast<int>(2 * cell.width() + 5), static_cast<int>(cell.height() * 1.5)) & 0xffffff,
              rgb(255, 0, 0));

    // Wider than the view: clamped to its width; zero-size and mismatched bitmaps: dropped.
    std::vector<std::uint8_t> wide(std::size_t(4000) * 10 * 4, 255);
    view->createImageFromBitmap(view->terminal(), wide, 4000, 10);
    const auto& strips = view->terminal().buffer().lines()[3].images;
    ASSERT_EQ(strips.size(), 1u);
    EXPECT_LE(static_cast<const ImageStrip&>(*strips[0]).image.width(), view->width());
    const int y = view->terminal().buffer().y();
    std::vector<std::uint8_t> empty;
    view->createImageFromBitmap(view->terminal(), empty, 0, 0);
    std::vector<std::uint8_t> shortBitmap(10);
    view->createImageFromBitmap(view->terminal(), shortBitmap, 10, 10);
    EXPECT_EQ(view->terminal().buffer().y(), y);

    // An encoded image too tall for four screens is fitted into them.
    QImage tall(10, 5000, QImage::Format_RGB32);
    tall.fill(Qt::green);
    QByteArray png;
    QBuffer device(&png);
    tall.save(&device, "PNG");
    view->feed("\x1b[H\x1b[2J\x1b[3J");
    view->createImage(view->terminal(), std::span(reinterpret_cast<const std::uint8_t*>(png.data()), png.size()),
                      {}, {}, true);
    int placed = 0;
    for (int row = 0; row < view->terminal().buffer().lines().count(); ++row)
        placed += static_cast<int>(view->terminal().buffer().lines()[row].images.size());
    EXPECT_LE(placed * cell.height(), 4 * view->height() + cell.height());
    EXPECT_GT(placed, 10);
    const QByteArray junk("not an image");
    view->createImage(view->terminal(), std::span(reinterpret_cast<const std::uint8_t*>(junk.data()), junk.size()),
                      {}, {}, true);
}

std::span<const std::uint8_t> span(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()), static_cast<std::size_t>(bytes.size())};
}

QByteArray png(QSize size, QColor color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer device(&bytes);
    image.save(&device, "PNG");
    return bytes;
}

int placedStrips(TerminalView& view)
{
    int placed = 0;
    for (int row = 0; row < view.terminal().buffer().lines().count(); ++row)
        placed += static_cast<int>(view.terminal().buffer().lines()[row].images.size());
    return placed;
}

TEST(Drawing, ImagesPastTheirLimitsAreDroppedAndOldOnesMakeRoom)
{
    auto view = makeView(200, 50);
    // Too many pixels (only the header is read), too many encoded bytes: nothing is placed.
    view->createImage(view->terminal(), span(QByteArray("P6\n5000 5000\n255\n") + QByteArray(64, 'x')), {}, {}, true);
    QByteArray padded = png({4, 4}, Qt::red);
    padded.append(QByteArray(static_cast<qsizetype>(TerminalView::maxEncodedImageBytes) - padded.size() + 1, '\0'));
    view->createImage(view->terminal(), span(padded), {}, {}, true);
    EXPECT_EQ(placedStrips(*view), 0);
    padded.chop(1);
    view->createImage(view->terminal(), span(padded), {}, {}, true);
    EXPECT_EQ(placedStrips(*view), 1);

    // Screens of images, each over the last, past the terminal's budget: the oldest go first.
    const ImageSizeRequest half{ImageSizeRequest::Kind::percent, 50};
    const ImageSizeRequest whole{ImageSizeRequest::Kind::percent, 100};
    const QByteArray source = png({2, 2}, Qt::blue);
    view->feed("\x1b[H");
    view->createImage(view->terminal(), span(source), whole, half, false);
    const std::weak_ptr<const TerminalImage> first = view->terminal().buffer().lines()[0].images.back();
    const std::size_t stripBytes = static_cast<const ImageStrip&>(*first.lock()).image.sizeInBytes();
    const std::size_t bytesPerImage = stripBytes * (view->terminal().rows() / 2);
    const std::size_t images = TerminalView::imageBudgetBytes / bytesPerImage + 4;
    for (std::size_t i = 0; i < images; ++i) {
        view->feed("\x1b[H");
        view->createImage(view->terminal(), span(source), whole, half, false);
    }
    EXPECT_TRUE(first.expired());
    std::size_t kept = 0;
    for (int row = 0; row < view->terminal().buffer().lines().count(); ++row)
        for (const auto& image : view->terminal().buffer().lines()[row].images)
            kept += static_cast<const ImageStrip&>(*image).image.sizeInBytes();
    EXPECT_LE(kept, TerminalView::imageBudgetBytes);
    EXPECT_GT(kept, TerminalView::imageBudgetBytes / 2);
}

} // namespace
} // namespace terminal
