#include "WindowFixture.h"

#include "window/AppSidebarView.h"
#include "window/FeedbackButtonView.h"

#include <testsupport/EventLoop.h>

#include <QApplication>
#include <QDialog>
#include <QPaintEvent>
#include <QTest>

using namespace quillora;
using testsupport::waitUntil;

namespace {

using FeedbackButtonTest = WindowFixture;

QPalette schemePalette(bool dark)
{
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Window, dark ? QColor(0x1e, 0x1e, 0x1e) : QColor(0xf0, 0xf0, 0xf0));
    palette.setColor(QPalette::WindowText, dark ? QColor(0xe8, 0xe8, 0xe8) : QColor(0x10, 0x10, 0x10));
    return palette;
}

// Pixels of the button that are clearly coloured (not grey), and which colour dominates them.
struct Tint {
    int coloured = 0;
    int blueOverRed = 0; // blue - red summed over them
    int greenOverRed = 0;
};

Tint tintAt(FeedbackButtonView& button, qreal phase)
{
    button.setGlimmerPhase(phase);
    const QImage image = button.grab().toImage();
    Tint tint;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()}) > 60) {
                ++tint.coloured;
                tint.blueOverRed += c.blue() - c.red();
                tint.greenOverRed += c.green() - c.red();
            }
        }
    return tint;
}

TEST_F(FeedbackButtonTest, PressingItOpensTheBoardSheet)
{
    auto& view = openWindow();
    FeedbackButtonView* button = view.sidebar()->feedbackButton();
    ASSERT_TRUE(button);
    EXPECT_EQ(button->text(), QStringLiteral("Suggest Features"));
    EXPECT_TRUE(button->isVisible());
    EXPECT_TRUE(waitUntil([&] { return button->isGlimmering(); })) << "once its window is exposed";
    // Below the tree, with its whole label: never cut, whatever the sidebar's width.
    EXPECT_GE(button->width(), button->fontMetrics().horizontalAdvance(button->text()) + 28);
    EXPECT_GT(button->mapTo(view.sidebar(), QPoint(0, 0)).y(), view.sidebar()->height() / 2);

    EXPECT_FALSE(view.showsFeedback());
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(3, 3)); // the padding takes clicks too
    EXPECT_TRUE(view.showsFeedback());
    view.feedbackSheet()->reject();
    ASSERT_TRUE(waitUntil([&] { return !view.showsFeedback(); }));
}

TEST(FeedbackButton, TheBandIsBlueInTheDarkCyanInTheLightAndOnlyInsideItsSweep)
{
    for (const bool dark : {true, false}) {
        FeedbackButtonView button;
        button.setPalette(schemePalette(dark));
        button.resize(button.sizeHint());
        // At either end of its run the band lies outside the button: only the edge colours show.
        EXPECT_EQ(tintAt(button, -1).coloured, 0) << dark;
        EXPECT_EQ(tintAt(button, 4).coloured, 0) << dark;
        // Half way, its middle crosses the label and the border.
        const Tint middle = tintAt(button, 2);
        EXPECT_GT(middle.coloured, 20) << dark;
        EXPECT_GT(middle.blueOverRed, 0) << dark;
        if (dark)
            EXPECT_GT(middle.blueOverRed, 2 * middle.greenOverRed) << "blue, not cyan";
        else
            EXPECT_GT(middle.greenOverRed, middle.blueOverRed / 3) << "cyan, not blue";
    }
}

// Each frame of the sweep changes the picture, and only inside the label and on the border; the
// last one, the band gone, shows what the button shows before the band comes.
TEST(FeedbackButton, EveryFrameOfTheSweepChangesTheLabelOrBorderAndNothingElse)
{
    FeedbackButtonView button;
    button.setPalette(schemePalette(true));
    button.resize(button.sizeHint());
    button.show();
    ASSERT_TRUE(waitUntil([&] { return button.isGlimmering(); }));
    QCoreApplication::processEvents();
    QRegion repainted;
    struct PaintRegions : QObject {
        QRegion* into;
        bool grabbing = false; // a grab paints everything
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint && !grabbing)
                *into += static_cast<QPaintEvent*>(event)->region();
            return false;
        }
    } filter;
    filter.into = &repainted;
    button.installEventFilter(&filter);
    const auto pictureAt = [&](qreal phase) {
        button.setGlimmerPhase(phase);
        QCoreApplication::processEvents();
        filter.grabbing = true;
        const QImage picture = button.grab().toImage();
        filter.grabbing = false;
        return picture;
    };
    const QImage before = pictureAt(-1);
    QImage previous = before;
    const std::vector<qreal> phases = FeedbackButtonView::sweepPhases();
    ASSERT_GT(phases.size(), 20u);
    for (const qreal phase : phases) {
        const QImage picture = pictureAt(phase);
        if (phase < 4) {
            EXPECT_NE(picture, previous) << phase;
        }
        previous = picture;
    }
    EXPECT_EQ(previous, before);
    EXPECT_EQ(phases.back(), 4);
    // The padding between the border and the label is never repainted.
    EXPECT_FALSE(repainted.contains(QPoint(8, button.height() / 2)));
    EXPECT_TRUE(repainted.contains(QPoint(0, button.height() / 2)));
    EXPECT_TRUE(repainted.contains(button.rect().center()));
}

} // namespace
