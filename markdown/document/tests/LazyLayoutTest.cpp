// Documents laid out lazily, as a scrolling window shows them, draw and copy exactly what the
// whole document laid out at once draws and copies.

#include "mddoc/Markdown.h"
#include "mddoc/OffscreenDocument.h"
#include "mddoc/Themes.h"

#include "mdview/Host.h"

#include "TestSupport.h"

#include <testsupport/EventLoop.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace mddoc;
using mdview::ColorScheme;

namespace {

constexpr double width = 800;
constexpr double screen = 600;

OffscreenDocument eager(const QString& text, const Theme& theme = themes::basic())
{
    return OffscreenDocument(text, theme, ColorScheme::light, width);
}

OffscreenDocument lazy(const QString& text, const Theme& theme = themes::basic())
{
    return OffscreenDocument(text, theme, ColorScheme::light, width, {}, screen);
}

// About a megabyte of real Markdown: the GFM reference text, repeated, after a page of tables,
// lists and quotes.
const QString& longDocument()
{
    static const QString text = [] {
        const QString spec = QString::fromStdString(markdown::test::readGzip(markdown::test::gfmReferencePath));
        QString page = QStringLiteral("# Long document\n\n| Left | Right |\n|:--|--:|\n| a | b |\n| c | d |\n\n"
                                      "9. nine\n10. ten\n\n> quoted *text*\n\n- [x] done\n- [ ] open\n\n");
        QString all = page;
        while (all.size() < (1 << 20))
            all += spec + QStringLiteral("\n\n") + page;
        return all;
    }();
    return text;
}

// What a window grabs carries a colour space that a painted image does not: the pixels compared.
bool samePixels(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (x.size() != y.size())
        return false;
    for (int row = 0; row < x.height(); ++row) {
        if (std::memcmp(x.constScanLine(row), y.constScanLine(row), std::size_t(x.width()) * 4) != 0)
            return false;
    }
    return true;
}

} // namespace

TEST(LazyLayout, DocumentsOfOneScreenDrawTheSamePixels)
{
    const struct {
        const char* name;
        QString text;
        Theme theme;
    } cases[] = {
        {"readme", QStringLiteral("# Title\n\nSome *emphasis*, a [link](https://example.org) and `code`.\n\n"
                                  "- one\n- two\n  - nested\n\n```swift\nlet x = 1\n```\n\n> A quote.\n"),
         themes::basic()},
        {"tables and lists", QStringLiteral("| a | b | c |\n|:-|:-:|-:|\n| 1 | 2 | 3 |\n| 4 | 5 |\n\n9. nine\n10. ten\n\n"
                                            "---\n\n- [x] done\n- [ ] open\n"),
         themes::docC()},
        {"github", QStringLiteral("# One\n\n## Two\n\n| h | i |\n|---|---|\n| x | y |\n| z | w |\n\n<div>html</div>\n\n"
                                  "```\na very long line of code that is much wider than the window it is shown in, "
                                  "so that it scrolls sideways under an indicator\n```\n"),
         themes::gitHub()},
    };
    for (const auto& c : cases) {
        OffscreenDocument whole = eager(c.text, c.theme);
        OffscreenDocument shown = lazy(c.text, c.theme);
        ASSERT_LT(whole.height(), screen) << c.name;
        EXPECT_EQ(shown.height(), whole.height()) << c.name;
        EXPECT_EQ(shown.paint(0, screen), whole.paint(0, screen)) << c.name;
        EXPECT_EQ(shown.dump(), whole.dump()) << c.name;
    }
}

TEST(LazyLayout, ALongDocumentDrawsItsFirstAndLastScreensAsLaidOutWhole)
{
    OffscreenDocument whole = eager(longDocument());
    OffscreenDocument shown = lazy(longDocument());
    EXPECT_FALSE(shown.host().isSettled());
    EXPECT_EQ(shown.paint(0, screen), whole.paint(0, screen));

    // End, before anything above it is measured.
    const double top = shown.scrollTo(0, true);
    EXPECT_FALSE(shown.host().isSettled());
    EXPECT_EQ(shown.paint(top, screen), whole.paint(whole.height() - screen, screen));

    // Once everything is measured, the viewport is where the whole layout puts the end.
    shown.settle(120000);
    ASSERT_TRUE(shown.host().isSettled());
    EXPECT_EQ(shown.height(), whole.height());
    EXPECT_NEAR(shown.host().viewportTop(), whole.height() - screen, 1);
}

TEST(LazyLayout, TheViewportKeepsWhatItShowsWhileTheHeightsAboveSettle)
{
    OffscreenDocument whole = eager(longDocument());
    OffscreenDocument shown = lazy(longDocument());
    const double top = shown.scrollTo(shown.height() * 0.6);
    const QImage before = shown.paint(top, screen);
    shown.settle(120000);
    ASSERT_TRUE(shown.host().isSettled());
    const double settled = shown.host().viewportTop();
    EXPECT_EQ(shown.paint(settled, screen), before);
    // Where the whole layout draws the same: the scroll bar stands where it would have.
    EXPECT_EQ(whole.paint(settled, screen), before);
}

TEST(LazyLayout, CopyingTheWholeDocumentGivesWhatTheWholeLayoutGives)
{
    OffscreenDocument whole = eager(longDocument());
    OffscreenDocument shown = lazy(longDocument());
    whole.host().selectAll();
    shown.host().selectAll();
    const QString expected = whole.host().selectedText();
    EXPECT_GT(expected.size(), 700'000);
    EXPECT_EQ(shown.host().selectedText().toStdString(), expected.toStdString());
}

TEST(LazyLayout, AWindowJumpsToTheEndAndCopiesTheWholeDocument)
{
    Markdown window(longDocument());
    window.resize(int(width), int(screen));
    window.show();
    QCoreApplication::processEvents();
    auto* area = window.findChild<QAbstractScrollArea*>();
    ASSERT_TRUE(area);
    QScrollBar* bar = area->verticalScrollBar();
    mdview::ViewHost& host = window.host();
    const int viewportHeight = area->viewport()->height();
    OffscreenDocument whole(longDocument(), themes::basic(), ColorScheme::light, area->viewport()->width());

    // End, before the rest is laid out: the last screen, as the whole layout draws it.
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
    QApplication::sendEvent(area, &end);
    EXPECT_FALSE(host.isSettled());
    EXPECT_EQ(bar->value(), bar->maximum());
    const QImage last = area->viewport()->grab().toImage();
    EXPECT_TRUE(samePixels(last, whole.paint(whole.height() - viewportHeight, viewportHeight)));

    // The scroll bar settles where the whole layout puts the end, the last screen unchanged.
    ASSERT_TRUE(testsupport::waitUntil([&] { return host.isSettled(); }, 120000));
    EXPECT_EQ(bar->maximum(), int(std::ceil(whole.height())) - viewportHeight);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_TRUE(samePixels(area->viewport()->grab().toImage(), last));

    QKeyEvent selectAll(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier);
    QApplication::sendEvent(area, &selectAll);
    QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
    QApplication::sendEvent(area, &copy);
    whole.host().selectAll();
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), whole.host().selectedText().toStdString());
}

TEST(LazyLayout, ANewWidthShowsTheVisibleBlocksFirstAndTheRestFollow)
{
    Markdown window(longDocument());
    window.resize(int(width), int(screen));
    window.show();
    auto* area = window.findChild<QAbstractScrollArea*>();
    ASSERT_TRUE(area);
    QScrollBar* bar = area->verticalScrollBar();
    mdview::ViewHost& host = window.host();
    ASSERT_TRUE(testsupport::waitUntil([&] { return host.isSettled(); }, 120000));
    bar->setValue(bar->maximum() * 6 / 10);

    // A window edge dragged: what the viewport shows is laid out at the new width at once.
    window.resize(int(width) - 170, int(screen));
    const QImage shown = area->viewport()->grab().toImage();
    EXPECT_FALSE(host.isSettled());
    ASSERT_TRUE(testsupport::waitUntil([&] { return host.isSettled(); }, 120000));
    EXPECT_TRUE(samePixels(area->viewport()->grab().toImage(), shown));

    // Where the whole layout at that width draws the same.
    const int viewportHeight = area->viewport()->height();
    OffscreenDocument whole(longDocument(), themes::basic(), ColorScheme::light, area->viewport()->width());
    EXPECT_EQ(bar->maximum(), int(std::ceil(whole.height())) - viewportHeight);
    EXPECT_TRUE(samePixels(shown, whole.paint(bar->value(), viewportHeight)));
}
