// The developer's overlay: the status line of counters and the dump of every slot of the rows.
#include "ViewTestSupport.h"

#include "terminal/view/TerminalDebugView.h"

#include <QLabel>

#include <gtest/gtest.h>

namespace terminal {
namespace {

TEST(DebugView, DumpsEverySlotWithItsMarksAndTheCountersAfterEachFlush)
{
    auto view = testing::makeView(6, 3);
    auto* debug = new TerminalDebugView(*view);
    EXPECT_EQ(view->debug(), debug);
    EXPECT_EQ(debug->findChild<QLabel*>()->text(), QStringLiteral("WAITING"));

    view->feed("ab");
    view->flushDirtyRows();
    EXPECT_EQ(debug->findChild<QLabel*>()->text(), QStringLiteral("x: 2 y: 0 yDisp: 0 yBase: 0 clc: 3 startIndex: 0"));
    EXPECT_EQ(debug->slotText(0), QStringLiteral("[000:000]DBab    [000]DBab    "));
    EXPECT_EQ(debug->slotText(2), QStringLiteral("[002:002]        [002]        "));
    EXPECT_EQ(debug->slotText(7), QStringLiteral("[007:007]  <empty>[007]  <empty>"));
    EXPECT_EQ(debug->slotCount(), view->terminal().buffer().lines().maxLength());

    // Scrolled back: the display top and the base are marked on their own slots.
    view->feed("\r\n1\r\n2\r\n3\r\n4");
    view->scrollUp(1);
    view->flushDirtyRows();
    EXPECT_EQ(debug->statusText(), QStringLiteral("x: 1 y: 2 yDisp: 1 yBase: 2 clc: 5 startIndex: 0"));
    EXPECT_TRUE(debug->slotText(1).startsWith(QStringLiteral("[001:001]D 1")));
    EXPECT_TRUE(debug->slotText(2).startsWith(QStringLiteral("[002:002] B2")));
    const QImage dump = debug->grab().toImage();
    EXPECT_EQ(dump.pixel(dump.width() - 1, dump.height() - 1) & 0xffffff, 0xffffffu);

    delete debug;
    EXPECT_EQ(view->debug(), nullptr);
    view->feed("x");
    view->flushDirtyRows();
}

} // namespace
} // namespace terminal
