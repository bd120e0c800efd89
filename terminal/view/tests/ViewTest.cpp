// The view as a widget: keys and shortcuts, the input method, paste, the scroll-back, resizing
// and when it paints.
#include "ViewTestSupport.h"

#include "testsupport/EventLoop.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QMainWindow>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace terminal {
namespace {

using testing::makeView;
using testing::RecordingDelegate;

TEST(View, KeysReachTheProgramBeforeTheWindowsShortcuts)
{
    RecordingDelegate delegate;
    QMainWindow window;
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    auto* view = new TerminalView(nullptr, testing::testFont());
    view->setTerminalDelegate(&delegate);
    auto* other = new QLineEdit;
    layout->addWidget(view);
    layout->addWidget(other);
    window.setCentralWidget(central);
    int opened = 0;
    for (const char* shortcut : {"Ctrl+O", "Ctrl+W", "Ctrl+R", "Ctrl+,"}) {
        auto* action = new QAction(&window);
        action->setShortcut(QKeySequence(QString::fromLatin1(shortcut)));
        QObject::connect(action, &QAction::triggered, [&] { ++opened; });
        window.addAction(action);
    }
    window.show();
    view->setFocus();
    ASSERT_TRUE(testsupport::waitUntil([&] { return view->hasFocus(); }, 2000));

    QTest::keyClick(view, Qt::Key_O, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_W, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_R, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_Tab);
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_Backspace);
    QTest::keyClick(view, Qt::Key_Left);
    QTest::keyClicks(view, QStringLiteral("ls"));
    EXPECT_EQ(delegate.sent, "\x0f\x17\x12\t\x03\x7f\x1b[Dls");
    EXPECT_EQ(opened, 0);
    EXPECT_TRUE(view->hasFocus()); // Tab stayed in the terminal

    // The program's application-cursor mode changes the arrows.
    delegate.sent.clear();
    view->feed("\x1b[?1h");
    QTest::keyClick(view, Qt::Key_Up);
    EXPECT_EQ(delegate.sent, "\x1bOA");

    // The shell gets nothing for Shift+End and plain forward delete for Shift+Delete; a program
    // on the alternate screen gets xterm's forms.
    delegate.sent.clear();
    QTest::keyClick(view, Qt::Key_End, Qt::ShiftModifier);
    QTest::keyClick(view, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(delegate.sent, "\x1b[3~");
    view->feed("\x1b[?1049h");
    QTest::keyClick(view, Qt::Key_End, Qt::ShiftModifier);
    QTest::keyClick(view, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(delegate.sent, "\x1b[3~\x1b[1;2F\x1b[3;2~");
}

TEST(View, InputMethodCommitsAreSentAndThePreeditOnlyDrawn)
{
    RecordingDelegate delegate;
    auto view = makeView(20, 3, &delegate);
    EXPECT_TRUE(view->testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_TRUE(view->inputMethodQuery(Qt::ImEnabled).toBool());
    view->feed("$ ");
    const QImage before = testing::grabView(*view);

    QInputMethodEvent composing(QStringLiteral("ni"), {});
    QApplication::sendEvent(view.get(), &composing);
    EXPECT_EQ(delegate.sent, "");
    EXPECT_EQ(view->preeditText(), QStringLiteral("ni"));
    EXPECT_NE(testing::grabView(*view), before);
    // The candidate window goes where the caret is, after the composition.
    const QRect caret = view->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    EXPECT_NEAR(caret.left(), 4 * view->cellSize().width(), 1.0);

    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("你"));
    QApplication::sendEvent(view.get(), &commit);
    EXPECT_EQ(delegate.sent, "\xe4\xbd\xa0");
    EXPECT_TRUE(view->preeditText().isEmpty());
}

TEST(View, PasteIsFramedForBracketedPasteAndCannotEndItEarly)
{
    RecordingDelegate delegate;
    auto view = makeView(20, 3, &delegate);
    struct Case {
        bool bracketed;
        QString text;
        std::string expected;
    };
    const Case cases[] = {
        {false, QStringLiteral("echo a\nls\r\n"), "echo a\rls\r"},
        {true, QStringLiteral("echo a\n"), "\x1b[200~echo a\r\x1b[201~"},
        {true, QStringLiteral("\x1b[201~touch X\n"), "\x1b[200~touch X\r\x1b[201~"},
        // Taking one marker out must not leave another behind.
        {true, QStringLiteral("a\x1b[20\x1b[201~1~b"), "\x1b[200~ab\x1b[201~"},
        {true, QString(), ""},
    };
    for (const Case& c : cases) {
        delegate.pasted.clear();
        view->feed(c.bracketed ? "\x1b[?2004h" : "\x1b[?2004l");
        QGuiApplication::clipboard()->setText(c.text);
        view->paste();
        EXPECT_EQ(delegate.pasted, c.expected) << c.text.toStdString();
    }
    EXPECT_EQ(delegate.sent, "");

    // Ctrl+Shift+V pastes, Ctrl+Shift+C copies the selection.
    view->feed("\x1b[?2004l\x1b[2J\x1b[Hhello world");
    view->selection().selectWordOrExpression({7, 0});
    QTest::keyClick(view.get(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("world"));
    delegate.pasted.clear();
    QTest::keyClick(view.get(), Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(delegate.pasted, "world");
    if (QGuiApplication::clipboard()->supportsSelection()) {
        QGuiApplication::clipboard()->setText(QStringLiteral("primary"), QClipboard::Selection);
        delegate.pasted.clear();
        QTest::keyClick(view.get(), Qt::Key_Insert, Qt::ShiftModifier);
        EXPECT_EQ(delegate.pasted, "primary");
    }
}

TEST(View, ScrollBackModel)
{
    RecordingDelegate delegate;
    auto view = makeView(20, 5, &delegate);
    // One screen and no more: nothing to scroll, and never above the top.
    EXPECT_FALSE(view->canScroll());
    view->scroll(0.5);
    view->scrollUp(10);
    EXPECT_EQ(view->terminal().buffer().yDisp(), 0);
    EXPECT_EQ(view->scrollPosition(), 0);

    for (int i = 0; i < 30; ++i)
        view->feed("line " + std::to_string(i) + "\r\n");
    const Buffer& normal = view->terminal().buffer();
    const int bottom = normal.yBase();
    ASSERT_GT(bottom, 20);
    EXPECT_TRUE(view->canScroll());
    EXPECT_EQ(view->scrollPosition(), 1);
    EXPECT_NEAR(view->scrollThumbsize(), 5.0 / normal.lines().count(), 1e-9);
    view->scrollUp(1000);
    EXPECT_EQ(normal.yDisp(), 0);
    view->scrollDown(3);
    EXPECT_EQ(normal.yDisp(), 3);
    view->scrollDown(1000);
    EXPECT_EQ(normal.yDisp(), bottom);
    view->scroll(0);
    EXPECT_EQ(normal.yDisp(), 0);
    // Output keeps a scrolled-back view where it is; typing brings it to the caret.
    view->feed("more\r\n");
    EXPECT_EQ(view->terminal().buffer().yDisp(), 0);
    QTest::keyClick(view.get(), Qt::Key_A);
    EXPECT_EQ(view->terminal().buffer().yDisp(), view->terminal().buffer().yBase());
    // Page Up scrolls here, and goes to the program on the alternate screen.
    QTest::keyClick(view.get(), Qt::Key_PageUp);
    EXPECT_EQ(view->terminal().buffer().yDisp(), view->terminal().buffer().yBase() - 5);
    view->feed("\x1b[?1049h");
    EXPECT_FALSE(view->canScroll());
    EXPECT_EQ(view->scrollPosition(), 0);
    EXPECT_EQ(view->scrollThumbsize(), 0);
    delegate.sent.clear();
    QTest::keyClick(view.get(), Qt::Key_PageUp);
    EXPECT_EQ(delegate.sent, "\x1b[5~");
    EXPECT_FALSE(view->scroller()->isEnabled());
}

// The page keys by the order in which the keyboard's steps are tried: Alt as Meta sends ESC and
// the key's sequence; Ctrl has no control byte for them and sends nothing, though the view goes
// back to the caret as for every key that sends; plain or with Shift they page the scroll-back
// on the normal screen and go to the program on the alternate one. Nothing a shell would type
// as junk (CSI 5;2~ leaves "2~" on the line).
TEST(View, PageKeysPlainAndWithShiftCtrlOrAltOnBothScreens)
{
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int shownFromBottom; // rows above the bottom shown afterwards, starting 10 rows back
        const char* sent;    // on the normal screen
        const char* sentOnAlternate;
    };
    const Case cases[] = {
        {Qt::Key_PageUp, Qt::NoModifier, 15, "", "\x1b[5~"},
        {Qt::Key_PageUp, Qt::ShiftModifier, 15, "", "\x1b[5~"},
        {Qt::Key_PageUp, Qt::ControlModifier, 0, "", ""},
        {Qt::Key_PageUp, Qt::AltModifier, 0, "\x1b\x1b[5~", "\x1b\x1b[5~"},
        {Qt::Key_PageDown, Qt::NoModifier, 5, "", "\x1b[6~"},
        {Qt::Key_PageDown, Qt::ShiftModifier, 5, "", "\x1b[6~"},
        {Qt::Key_PageDown, Qt::ControlModifier, 0, "", ""},
        {Qt::Key_PageDown, Qt::AltModifier, 0, "\x1b\x1b[6~", "\x1b\x1b[6~"},
    };
    for (const Case& c : cases) {
        RecordingDelegate delegate;
        auto view = makeView(20, 5, &delegate);
        for (int i = 0; i < 40; ++i)
            view->feed("line " + std::to_string(i) + "\r\n");
        const Buffer& normal = view->terminal().buffer();
        view->scrollUp(10);
        QTest::keyClick(view.get(), c.key, c.modifiers);
        const std::string name = std::to_string(c.key) + " with " + std::to_string(c.modifiers.toInt());
        EXPECT_EQ(normal.yBase() - normal.yDisp(), c.shownFromBottom) << name;
        EXPECT_EQ(delegate.sent, c.sent) << name;

        view->feed("\x1b[?1049h");
        delegate.sent.clear();
        QTest::keyClick(view.get(), c.key, c.modifiers);
        EXPECT_EQ(delegate.sent, c.sentOnAlternate) << name;
    }
    // Alt that is not Meta leaves the key to page.
    auto view = makeView(20, 5);
    for (int i = 0; i < 40; ++i)
        view->feed("line " + std::to_string(i) + "\r\n");
    view->optionAsMetaKey = false;
    QTest::keyClick(view.get(), Qt::Key_PageUp, Qt::AltModifier);
    EXPECT_EQ(view->terminal().buffer().yBase() - view->terminal().buffer().yDisp(), 5);
}

TEST(View, ResizesKeepTheModesAndACollapsedViewKeepsItsSize)
{
    RecordingDelegate delegate;
    auto view = makeView(40, 10, &delegate);
    view->feed("\x1b[?1h\x1b[?2004h\x1b[5;8r");
    const QSizeF cell = view->cellSize();
    const int scroller = view->scroller()->sizeHint().width();
    view->setFixedSize(static_cast<int>(std::ceil(cell.width() * 60)) + scroller, static_cast<int>(cell.height() * 20));
    QApplication::processEvents();
    EXPECT_EQ(view->terminal().cols(), 60);
    EXPECT_EQ(view->terminal().rows(), 20);
    ASSERT_FALSE(delegate.sizes.empty());
    EXPECT_EQ(delegate.sizes.back(), (std::pair{60, 20}));
    EXPECT_TRUE(view->terminal().modes().applicationCursor);
    EXPECT_TRUE(view->terminal().modes().bracketedPasteMode);

    // The same size again is not a change.
    const std::size_t changes = delegate.sizes.size();
    view->setFixedSize(view->size());
    QApplication::processEvents();
    EXPECT_EQ(delegate.sizes.size(), changes);

    // Collapsed to nothing (an animation, a hidden row): the program keeps its size.
    view->setFixedSize(view->width(), 0);
    QApplication::processEvents();
    EXPECT_EQ(view->terminal().rows(), 20);
    EXPECT_EQ(delegate.sizes.size(), changes);
}

TEST(View, TheFirstChangeAfterQuietPaintsOnTheNextPassOfTheLoop)
{
    auto view = makeView(20, 5);
    testsupport::spin(50);
    const auto painted = view->paintCount();
    view->feed("x");
    // The flush runs from the loop at once, the paint request right after it.
    for (int pass = 0; pass < 3 && view->paintCount() == painted; ++pass)
        QApplication::processEvents();
    EXPECT_GT(view->paintCount(), painted);

    // Output that keeps coming is held to one paint a frame.
    QElapsedTimer clock;
    clock.start();
    const auto first = view->paintCount();
    view->feed("y");
    for (int pass = 0; pass < 3; ++pass)
        QApplication::processEvents();
    if (clock.elapsed() < 10) {
        EXPECT_EQ(view->paintCount(), first);
    }
    EXPECT_TRUE(testsupport::waitUntil([&] { return view->paintCount() > first; }, 1000));
}

} // namespace
} // namespace terminal
