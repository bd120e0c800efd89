// Mouse reports: what each tracking mode reports and the exact bytes of each encoding.
#include "TerminalScript.h"

#include <gtest/gtest.h>

namespace terminal::test {
namespace {

using Action = MouseEvent::Action;
using B = MouseButton;

MouseEvent press(B button, int col, int row) { return {Action::press, button, false, false, false, col, row, 0, 0}; }
MouseEvent release(B button, int col, int row) { return {Action::release, button, false, false, false, col, row, 0, 0}; }
MouseEvent motion(B held, int col, int row) { return {Action::motion, held, false, false, false, col, row, 0, 0}; }
MouseEvent withKeys(MouseEvent e, bool shift, bool meta, bool control)
{
    e.shift = shift;
    e.meta = meta;
    e.control = control;
    return e;
}
MouseEvent atPixel(MouseEvent e, int x, int y)
{
    e.pixelX = x;
    e.pixelY = y;
    return e;
}

struct Case {
    const char* setup; // fed first
    MouseEvent event;
    const char* expected; // escapes as in the scripts; "" for no report
};

// 1000 press and release, 1002 adds motion with a button held, 1003 any motion; 9 presses
// only. Encodings: 1005 UTF-8, 1006 SGR, 1015 decimal, 1016 SGR in pixels.
const Case cases[] = {
    // Nothing while tracking is off.
    {"", press(B::left, 0, 0), ""},
    // The legacy encoding: button + 32, column + 33, row + 33 as single bytes.
    {"\\e[?1000h", press(B::left, 0, 0), "\\e[M !!"},
    {"\\e[?1000h", press(B::middle, 0, 0), "\\e[M!!!"},
    {"\\e[?1000h", press(B::right, 9, 4), "\\e[M\"*%"},
    {"\\e[?1000h", release(B::right, 9, 4), "\\e[M#*%"},
    {"\\e[?1000h", press(B::wheelUp, 1, 1), "\\e[M`\"\""},
    {"\\e[?1000h", press(B::wheelDown, 1, 1), "\\e[Ma\"\""},
    {"\\e[?1000h", press(B::wheelLeft, 1, 1), "\\e[Mb\"\""},
    {"\\e[?1000h", press(B::wheelRight, 1, 1), "\\e[Mc\"\""},
    {"\\e[?1000h", release(B::wheelUp, 1, 1), ""},
    {"\\e[?1000h", press(B::back, 0, 0), "\\e[M\\xa0!!"},
    {"\\e[?1000h", press(B::forward, 0, 0), "\\e[M\\xa1!!"},
    {"\\e[?1000h", release(B::back, 0, 0), "\\e[M#!!"},
    {"\\e[?1000h", motion(B::left, 3, 0), ""},
    // Modifiers: shift 4, meta 8, control 16, kept on a release.
    {"\\e[?1000h", withKeys(press(B::left, 0, 0), true, false, false), "\\e[M$!!"},
    {"\\e[?1000h", withKeys(press(B::left, 0, 0), false, true, true), "\\e[M8!!"},
    {"\\e[?1000h", withKeys(release(B::left, 0, 0), true, false, true), "\\e[M7!!"},
    // X10 mode: presses only, without modifiers.
    {"\\e[?9h", withKeys(press(B::left, 0, 0), true, true, true), "\\e[M !!"},
    {"\\e[?9h", release(B::left, 0, 0), ""},
    {"\\e[?9h", motion(B::left, 1, 0), ""},
    // Motion: + 32, with the held button; with none held only in any-event mode.
    {"\\e[?1002h", motion(B::left, 3, 0), "\\e[M@$!"},
    {"\\e[?1002h", motion(B::none, 3, 0), ""},
    {"\\e[?1002h", motion(B::right, 3, 0), "\\e[MB$!"},
    {"\\e[?1003h", motion(B::none, 3, 0), "\\e[MC$!"},
    {"\\e[?1003h", withKeys(motion(B::none, 0, 0), false, false, true), "\\e[MS!!"},
    // Single bytes end at column and row 223 (1-based): beyond, nothing is sent.
    {"\\e[?1000h", press(B::left, 222, 0), "\\e[M \\xff!"},
    {"\\e[?1000h", press(B::left, 223, 0), ""},
    {"\\e[?1000h", press(B::left, 0, 223), ""},
    // UTF-8: one byte below 128, then two, up to 2047 (column 2015).
    {"\\e[?1000;1005h", press(B::left, 94, 0), "\\e[M \\x7f!"},
    {"\\e[?1000;1005h", press(B::left, 95, 0), "\\e[M \\xc2\\x80!"},
    {"\\e[?1000;1005h", press(B::left, 2014, 0), "\\e[M \\xdf\\xbf!"},
    {"\\e[?1000;1005h", press(B::left, 2015, 0), ""},
    {"\\e[?1000;1005h", press(B::back, 0, 0), "\\e[M\\xc2\\xa0!!"},
    // SGR: the button itself on release too, final "m".
    {"\\e[?1000;1006h", press(B::left, 0, 0), "\\e[<0;1;1M"},
    {"\\e[?1000;1006h", release(B::left, 0, 0), "\\e[<0;1;1m"},
    {"\\e[?1000;1006h", press(B::right, 4, 2), "\\e[<2;5;3M"},
    {"\\e[?1000;1006h", release(B::right, 4, 2), "\\e[<2;5;3m"},
    {"\\e[?1000;1006h", press(B::wheelUp, 6, 7), "\\e[<64;7;8M"},
    {"\\e[?1000;1006h", press(B::wheelDown, 6, 7), "\\e[<65;7;8M"},
    {"\\e[?1000;1006h", press(B::forward, 6, 7), "\\e[<129;7;8M"},
    {"\\e[?1000;1006h", withKeys(release(B::middle, 0, 0), true, false, true), "\\e[<21;1;1m"},
    {"\\e[?1002;1006h", motion(B::left, 299, 199), "\\e[<32;300;200M"},
    {"\\e[?1003;1006h", motion(B::none, 0, 0), "\\e[<35;1;1M"},
    // Decimal (1015): button + 32; a release names no button.
    {"\\e[?1000;1015h", withKeys(press(B::middle, 9, 4), true, false, false), "\\e[37;10;5M"},
    {"\\e[?1000;1015h", release(B::right, 9, 4), "\\e[35;10;5M"},
    {"\\e[?1000;1015h", press(B::wheelDown, 0, 0), "\\e[97;1;1M"},
    // SGR in pixels.
    {"\\e[?1000;1016h", atPixel(press(B::left, 0, 0), 105, 37), "\\e[<0;105;37M"},
    {"\\e[?1000;1016h", atPixel(release(B::right, 0, 0), 105, 37), "\\e[<2;105;37m"},
    {"\\e[?1003;1016h", atPixel(motion(B::none, 0, 0), 7, 9), "\\e[<35;7;9M"},
    // Positions off the screen are reported at its edge.
    {"\\e[?1000;1006h", press(B::left, -5, 9999), "\\e[<0;1;300M"},
    // Eight-bit controls: the single byte CSI.
    {"\\e G\\e[?1000h", press(B::left, 0, 0), "\\x9bM !!"},
    {"\\e G\\e[?1000;1006h", release(B::right, 0, 0), "\\x9b<2;1;1m"},
    {"\\e G\\e[?1000;1015h", press(B::left, 0, 0), "\\x9b32;1;1M"},
    // Leaving an encoding goes back to the legacy one; leaving tracking ends the reports.
    {"\\e[?1000;1006h\\e[?1006l\\e[?1000h", press(B::left, 0, 0), "\\e[M !!"},
    {"\\e[?1000h\\e[?1000l", press(B::left, 0, 0), ""},
};

TEST(Mouse, ReportsOfEachModeAndEncoding)
{
    TerminalOptions options;
    options.cols = 2048;
    options.rows = 300;
    options.scrollback = 0;
    for (const Case& c : cases) {
        RecordingDelegate host;
        Terminal terminal(&host, options);
        terminal.feed(unescape(c.setup));
        const bool sent = terminal.sendMouseEvent(c.event);
        const std::string expected = unescape(c.expected);
        EXPECT_EQ(escape(host.sent), escape(expected)) << "after \"" << c.setup << "\", event at " << c.event.col << "," << c.event.row;
        EXPECT_EQ(sent, !expected.empty());
    }
}

TEST(Mouse, NothingIsSentWithoutAHost)
{
    Terminal terminal(nullptr);
    terminal.feed("\x1b[?1000h");
    EXPECT_FALSE(terminal.sendMouseEvent(press(B::left, 0, 0)));
}

} // namespace
} // namespace terminal::test
