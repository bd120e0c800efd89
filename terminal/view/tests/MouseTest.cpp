// The mouse: reports for each of the program's modes, selecting with clicks and drags, the
// wheel, and links.
#include "ViewTestSupport.h"

#include "terminal/CellTables.h"
#include "testsupport/EventLoop.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace terminal {
namespace {

using testing::makeView;
using testing::RecordingDelegate;
using testing::RecordingView;

QPointF cellCenter(const TerminalView& view, int col, int row)
{
    return {(col + 0.5) * view.cellSize().width(), (row + 0.5) * view.cellSize().height()};
}

void mouse(QWidget* view, QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons,
           Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent event(type, at, view->mapToGlobal(at), button, buttons, modifiers);
    QApplication::sendEvent(view, &event);
}

void wheel(QWidget* view, QPointF at, QPoint angle, QPoint pixels = {}, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWheelEvent event(at, view->mapToGlobal(at), pixels, angle, Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &event);
}

// A press at one cell, a drag through two more, a release at the last.
void pressDragRelease(RecordingView& view, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    mouse(&view, QEvent::MouseButtonPress, cellCenter(view, 1, 1), Qt::LeftButton, Qt::LeftButton, modifiers);
    mouse(&view, QEvent::MouseMove, cellCenter(view, 1, 1) + QPointF(1, 0), Qt::NoButton, Qt::LeftButton, modifiers);
    mouse(&view, QEvent::MouseMove, cellCenter(view, 3, 1), Qt::NoButton, Qt::LeftButton, modifiers);
    mouse(&view, QEvent::MouseMove, cellCenter(view, 3, 2), Qt::NoButton, Qt::LeftButton, modifiers);
    mouse(&view, QEvent::MouseButtonRelease, cellCenter(view, 3, 2), Qt::LeftButton, Qt::NoButton, modifiers);
}

std::vector<int> flags(const std::vector<MouseReport>& reports)
{
    std::vector<int> result;
    for (const MouseReport& r : reports)
        result.push_back(r.buttonFlags());
    return result;
}

TEST(Mouse, ReportsFollowTheProgramsMode)
{
    struct Case {
        const char* mode;
        std::vector<int> flags; // press, drags, release
    };
    const Case cases[] = {
        {"\x1b[?9h", {0}},                     // X10: presses only
        {"\x1b[?1000h", {0, 3}},               // press and release, no drags
        {"\x1b[?1002h", {0, 32, 32, 3}},       // drags, once per cell
        {"\x1b[?1003h", {0, 32, 32, 3}},
    };
    for (const Case& c : cases) {
        auto view = makeView<RecordingView>(10, 5);
        view->feed(c.mode);
        pressDragRelease(*view);
        EXPECT_EQ(flags(view->reports), c.flags) << c.mode + 2;
        EXPECT_FALSE(view->selectionActive());
    }

    auto view = makeView<RecordingView>(10, 5);
    view->feed("\x1b[?1003h\x1b[?1006h");
    // Motion without a button, reported once per cell; modifiers add their bits.
    mouse(view.get(), QEvent::MouseMove, cellCenter(*view, 2, 2), Qt::NoButton, Qt::NoButton);
    mouse(view.get(), QEvent::MouseMove, cellCenter(*view, 2, 2) + QPointF(2, 1), Qt::NoButton, Qt::NoButton);
    mouse(view.get(), QEvent::MouseButtonPress, cellCenter(*view, 2, 2), Qt::RightButton, Qt::RightButton,
          Qt::ControlModifier | Qt::AltModifier);
    // Past the right and bottom edges: the last column and row.
    mouse(view.get(), QEvent::MouseMove, QPointF(view->width() + 50, view->height() + 80), Qt::NoButton, Qt::RightButton);
    mouse(view.get(), QEvent::MouseButtonRelease, QPointF(-20, -20), Qt::RightButton, Qt::NoButton);
    ASSERT_EQ(view->reports.size(), 4u);
    EXPECT_EQ(view->reports[0].buttonFlags(), 35);
    EXPECT_EQ(view->reports[1].buttonFlags(), 2 + 8 + 16);
    EXPECT_EQ(view->reports[2].buttonFlags(), 2 + 32);
    EXPECT_EQ((std::pair{view->reports[2].col, view->reports[2].row}), (std::pair{9, 4}));
    EXPECT_TRUE(view->reports[3].release);
    EXPECT_EQ(view->reports[3].button, 2);
    EXPECT_EQ((std::pair{view->reports[3].col, view->reports[3].row}), (std::pair{0, 0}));

    // The wheel is reported as 64 and 65 while reporting is on.
    view->reports.clear();
    wheel(view.get(), cellCenter(*view, 1, 1), {0, 120});
    wheel(view.get(), cellCenter(*view, 1, 1), {0, -240});
    EXPECT_EQ(flags(view->reports), (std::vector{64, 65, 65}));

    // Shift keeps the mouse for selecting.
    view->reports.clear();
    view->feed("\x1b[2J\x1b[Hab\r\ncdefgh\r\nijklmn");
    pressDragRelease(*view, Qt::ShiftModifier);
    EXPECT_TRUE(view->reports.empty());
    EXPECT_TRUE(view->selectionActive());
    EXPECT_EQ(view->getSelection(), "defgh\nijk");
}

TEST(Mouse, ReportsReachTheProgramInTheEncodingItChose)
{
    struct Case {
        const char* modes;
        std::string expected; // press at (2,1), drag to (4,1), release there, one wheel notch up
    };
    const Case cases[] = {
        {"\x1b[?1002h\x1b[?1006h", "\x1b[<0;3;2M\x1b[<32;5;2M\x1b[<0;5;2m\x1b[<64;5;2M"},
        {"\x1b[?1000h", "\x1b[M #\"\x1b[M#%\"\x1b[M`%\""},
        {"\x1b[?9h", "\x1b[M #\"\x1b[M`%\""}, // presses only, the wheel's among them
    };
    for (const Case& c : cases) {
        RecordingDelegate delegate;
        auto view = makeView(10, 5, &delegate);
        view->feed(c.modes);
        mouse(view.get(), QEvent::MouseButtonPress, cellCenter(*view, 2, 1), Qt::LeftButton, Qt::LeftButton);
        mouse(view.get(), QEvent::MouseMove, cellCenter(*view, 4, 1), Qt::NoButton, Qt::LeftButton);
        mouse(view.get(), QEvent::MouseButtonRelease, cellCenter(*view, 4, 1), Qt::LeftButton, Qt::NoButton);
        wheel(view.get(), cellCenter(*view, 4, 1), {0, 120});
        EXPECT_EQ(delegate.sent, c.expected) << c.modes + 2;
    }
}

// Letters with several marks each are clusters too long for a string's own buffer; they are
// letters all the same, and a double-click takes the whole word.
TEST(Mouse, ADoubleClickSelectsAWordOfLongClusters)
{
    const std::string word = "n\u0303\u0301\u0323a\u0301\u0302\u0323\u0300\u0308e\u0301\u0302\u0323\u0300\u0308\u0327\u030As";
    for (int col : {2, 3, 4, 5}) {
        auto view = makeView<RecordingView>(30, 3);
        view->feed("x " + word + " y");
        QTest::mouseDClick(view.get(), Qt::LeftButton, {}, cellCenter(*view, col, 0).toPoint());
        EXPECT_EQ(view->getSelection(), word) << "column " << col;
    }
}

TEST(Mouse, ClicksSelectWordsAndRowsOnTheRowShown)
{
    auto view = makeView<RecordingView>(20, 3);
    for (int i = 0; i < 10; ++i)
        view->feed("word" + std::to_string(i) + " other\r\n");
    view->scrollUp(4);
    const int shownTop = view->terminal().buffer().yDisp();
    QTest::mouseDClick(view.get(), Qt::LeftButton, {}, cellCenter(*view, 1, 1).toPoint());
    EXPECT_EQ(view->getSelection(), "word" + std::to_string(shownTop + 1));
    // A third click in time selects the row.
    QTest::mouseClick(view.get(), Qt::LeftButton, {}, cellCenter(*view, 1, 1).toPoint());
    EXPECT_EQ(view->getSelection(), "word" + std::to_string(shownTop + 1) + " other");
    EXPECT_EQ(view->selection().selectionMode(), SelectionService::SelectionMode::row);
    // Wheel without reporting: three lines a notch by default, pixels gathered to a row.
    const int before = view->terminal().buffer().yDisp();
    wheel(view.get(), cellCenter(*view, 1, 1), {0, -120});
    EXPECT_EQ(view->terminal().buffer().yDisp(), before + QApplication::wheelScrollLines());
    const int after = view->terminal().buffer().yDisp();
    const int half = static_cast<int>(view->cellSize().height() / 2) + 1;
    wheel(view.get(), cellCenter(*view, 1, 1), {0, 60}, {0, half});
    EXPECT_EQ(view->terminal().buffer().yDisp(), after);
    wheel(view.get(), cellCenter(*view, 1, 1), {0, 60}, {0, half});
    EXPECT_EQ(view->terminal().buffer().yDisp(), after - 1);
}

TEST(Mouse, LinksParseOpenOnlySafeSchemesAndShowOnHover)
{
    const auto link = parseLinkPayload("id=7:x=;https://example.com/a;b;c");
    ASSERT_TRUE(link);
    EXPECT_EQ(link->address, QStringLiteral("https://example.com/a;b;c"));
    EXPECT_EQ(link->params, (std::map<QString, QString>{{QStringLiteral("id"), QStringLiteral("7")}}));
    EXPECT_FALSE(parseLinkPayload("https://no-semicolon"));

    struct Case {
        const char* address;
        bool opens;
    };
    const Case cases[] = {
        {"https://example.com/a%20b?q=1#frag", true},
        {"http://example.com", true},
        {"mailto:someone@example.com", true},
        {"file:///tmp/notes.txt", true},
        {"javascript:alert(1)", false},
        {"ftp://example.com", false},
        {"smb://host/share", false},
        {"https://", false},
        {"relative/path", false},
        {"https://exa mple.com", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(linkToOpen(QString::fromUtf8(c.address)).has_value(), c.opens) << c.address;
    // Never re-encoded: what the program wrote is what opens.
    EXPECT_EQ(linkToOpen(QStringLiteral("https://example.com/a%20b"))->toString(QUrl::FullyEncoded),
              QStringLiteral("https://example.com/a%20b"));

    RecordingDelegate delegate;
    auto view = makeView<RecordingView>(20, 3, &delegate);
    view->feed("see here");
    Buffer& buffer = view->terminal().buffer();
    const auto atom = view->terminal().tables().payloadAtom(";https://example.com/x");
    ASSERT_TRUE(atom);
    for (int col = 4; col < 8; ++col)
        buffer.screenLine(0).at(col).payload = *atom;
    // Ctrl-click opens it; a plain click does not.
    QTest::mouseClick(view.get(), Qt::LeftButton, {}, cellCenter(*view, 5, 0).toPoint());
    EXPECT_TRUE(delegate.openedLinks.empty());
    QTest::mouseClick(view.get(), Qt::LeftButton, Qt::ControlModifier, cellCenter(*view, 5, 0).toPoint());
    EXPECT_EQ(delegate.openedLinks, (std::vector{QStringLiteral("https://example.com/x")}));
    // Holding Ctrl over it shows the address at the bottom; releasing Ctrl hides it.
    QTest::keyPress(view.get(), Qt::Key_Control);
    mouse(view.get(), QEvent::MouseMove, cellCenter(*view, 6, 0), Qt::NoButton, Qt::NoButton, Qt::ControlModifier);
    ASSERT_NE(view->urlPreview(), nullptr);
    EXPECT_EQ(view->urlPreview()->text(), QStringLiteral("https://example.com/x"));
    QTest::keyRelease(view.get(), Qt::Key_Control);
    EXPECT_EQ(view->urlPreview(), nullptr);
}

} // namespace
} // namespace terminal
