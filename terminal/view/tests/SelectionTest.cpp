// The selection model over a terminal's buffer: words, brackets, rows, wide characters, the
// scroll-back, and the text it gives.
#include "terminal/Terminal.h"
#include "terminal/view/SelectionService.h"

#include <gtest/gtest.h>

namespace terminal {
namespace {

class CountingHost : public TerminalDelegate {
public:
    int selectionChanges = 0;
    void send(Terminal&, std::span<const std::uint8_t>) override {}
    void selectionChanged(Terminal&) override { ++selectionChanges; }
};

struct Fixture {
    CountingHost host;
    Terminal terminal{&host, [] {
                          TerminalOptions options;
                          options.cols = 30;
                          options.rows = 5;
                          options.scrollback = 200;
                          return options;
                      }()};
    SelectionService selection{terminal};
};

TEST(Selection, DoubleClickSelectsTheWordBlanksOrExpressionUnderIt)
{
    struct Case {
        const char* line;
        int col;
        const char* expected;
    };
    const Case cases[] = {
        {"x foo.bar-baz_1 y", 5, "foo.bar-baz_1"},
        {"x foo.bar-baz_1 y", 2, "foo.bar-baz_1"},
        {"ab    cd", 4, "    "},
        {"a + b", 2, ""},
        {"f(a, (b)) z", 1, "(a, (b))"},
        {"f(a, (b)) z", 8, "(a, (b))"},
        {"f(a, [b) c", 1, ""},        // no partner on the screen
        {"g{x[1]}", 3, "[1]"},
        {"g{x[1]}", 6, "{x[1]}"},
        {"日本語 x", 3, "日本語"},  // on the right half of 本
        {"日本語 x", 0, "日本語"},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.terminal.feed(c.line);
        f.selection.selectWordOrExpression({c.col, 0});
        EXPECT_EQ(f.selection.getSelectedText(), c.expected) << c.line << " at " << c.col;
        EXPECT_EQ(f.selection.selectionMode(), SelectionService::SelectionMode::word);
    }
}

TEST(Selection, BracketsMatchAcrossRowsForwardOnTheScreenAndBackIntoTheScrollBack)
{
    Fixture f;
    for (int i = 0; i < 10; ++i)
        f.terminal.feed(i == 2 ? "call(\r\n" : i == 8 ? "  arg)\r\n" : "line\r\n");
    const int open = 2;
    const int close = 8;
    // Scrolled to the bottom the closing row is on the screen, the opening one in the scroll-back.
    ASSERT_LT(open, f.terminal.buffer().yDisp());
    f.selection.selectWordOrExpression({5, close});
    EXPECT_EQ(f.selection.getSelectedText(), "(\nline\nline\nline\nline\nline\n  arg)");
    EXPECT_EQ(f.selection.start(), (Position{4, open}));
    // Forward matching stops at the end of the screen.
    f.terminal.feed("(never closed");
    f.selection.selectWordOrExpression({0, f.terminal.buffer().yBase() + f.terminal.buffer().y()});
    EXPECT_FALSE(f.selection.hasSelectionRange());
}

TEST(Selection, RowsShiftExtensionAndTheAnchorSwap)
{
    Fixture f;
    f.terminal.feed("first row\r\nsecond row\r\nthird row");
    f.selection.selectRow(1);
    EXPECT_EQ(f.selection.getSelectedText(), "second row");
    f.selection.shiftExtend(2, 3);
    EXPECT_EQ(f.selection.getSelectedText(), "second row\nthird row");
    f.selection.shiftExtend(0, 7);
    // Before the anchor of a forward selection: the old end becomes the anchor.
    EXPECT_EQ(f.selection.getSelectedText(), "first row\nsecond row\nthird row");

    Fixture g;
    g.terminal.feed("abcdefgh");
    g.selection.startSelection(0, 2);
    g.selection.dragExtend({6, 0});
    EXPECT_EQ(g.selection.getSelectedText(), "cdef");
    g.selection.extendSelection({0, 0});
    EXPECT_EQ(g.selection.getSelectedText(), "abcdef");
    // Made backwards, the same range gives the same text.
    g.selection.startSelection(0, 6);
    g.selection.dragExtend({2, 0});
    EXPECT_EQ(g.selection.getSelectedText(), "cdef");
}

TEST(Selection, WideCharactersAreNeverSplit)
{
    Fixture f;
    f.terminal.feed("a日本b");
    // From the right half of 日 to the right half of 本: both characters whole.
    f.selection.startSelection(0, 2);
    f.selection.dragExtend({4, 0});
    EXPECT_EQ(f.selection.getSelectedText(), "日本");
    EXPECT_EQ(f.selection.columnsOnRow(0), (std::pair{1, 5}));
    EXPECT_FALSE(f.selection.contains({0, 0}));
    EXPECT_TRUE(f.selection.contains({2, 0}));
}

TEST(Selection, SpansTheScrollBackAndTheLastColumn)
{
    Fixture f;
    for (int i = 0; i < 40; ++i)
        f.terminal.feed("row " + std::to_string(i) + "\r\n");
    f.selection.startSelection(-f.terminal.buffer().yDisp() + 3, 0); // buffer row 3
    f.selection.dragExtend({29, 37});
    const std::string text = f.selection.getSelectedText();
    EXPECT_EQ(text.substr(0, 6), "row 3\n");
    EXPECT_EQ(text.substr(text.size() - 6), "row 37");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 34);

    f.selection.selectAll();
    EXPECT_EQ(f.selection.end(), (Position{30, f.terminal.buffer().lines().maxLength() - 1}));
    EXPECT_EQ(f.selection.getSelectedText(), f.terminal.getBufferAsData());
    // A selection ending in the last column takes that column.
    Fixture g;
    g.terminal.feed(std::string(30, 'x'));
    g.selection.startSelection(0, 0);
    g.selection.dragExtend({29, 0});
    EXPECT_EQ(g.selection.getSelectedText(), std::string(30, 'x'));
}

TEST(Selection, SwitchingOffNotifiesOnceAndClearsThePivot)
{
    Fixture f;
    f.terminal.feed("hello");
    f.selection.selectRow(0);
    const int before = f.host.selectionChanges;
    f.selection.setActive(false);
    f.selection.setActive(false);
    EXPECT_EQ(f.host.selectionChanges, before + 1);
    EXPECT_FALSE(f.selection.pivot());
    EXPECT_EQ(f.selection.debugDescription(),
              "[Selection (active=false, start=col=0 row=0 end=col=30 row=0 hasSR=true pivot=nil]");
}

} // namespace
} // namespace terminal
