// Floods of bad input: the terminal stays consistent, keeps its memory bounded and works after.
#include "TerminalScript.h"

#include "terminal/ScreenDump.h"
#include "terminal/UnicodeUtil.h"

#include <gtest/gtest.h>

#include <functional>

namespace terminal::test {
namespace {

std::string repeat(std::string_view piece, std::size_t times)
{
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

struct Flood {
    const char* name;
    std::function<std::string()> bytes;
};

const Flood floods[] = {
    {"invalid UTF-8", [] { return repeat("\xff\xc0\xe2\x94\xf0\x9f\x98\xed\xa0\x80\x80\xbf", 100'000); }},
    {"combining marks on one character", [] { return "e" + repeat("\xcc\x81", 500'000); }},
    {"distinct clusters", [] {
         std::string out;
         for (char32_t base = 0x4E00; base < 0x4E00 + 80'000; ++base) {
             appendUtf8(out, base);
             out += "\xcc\x81\xcc\x82";
         }
         return out;
     }},
    {"giant parameters", [] { return "\x1b[" + repeat("9", 1'000'000) + "m\x1b[" + repeat("1;", 500'000) + "m"; }},
    {"unknown intermediates", [] { return "\x1b[" + repeat(" ", 1'000'000) + "m\x1b" + repeat("(", 1'000'000) + "0"; }},
    {"a 1 MB title", [] { return "\x1b]2;" + repeat("x", 1 << 20) + "\x07"; }},
    {"a 1 MB OSC nobody handles", [] { return "\x1b]99;" + repeat("x", 1 << 20) + "\x1b\\"; }},
    {"an unterminated 20 MB DCS", [] { return "\x1bPq" + repeat("#0;2;0;0;0~", 2'000'000); }},
    {"insert and delete line floods", [] { return repeat("\x1b[9999L\x1b[9999M\x1b[9999S\x1b[9999T", 20'000); }},
    {"insert and delete character floods", [] { return repeat("\x1b[9999@x\x1b[9999P\x1b[9999X", 50'000); }},
    {"repeat floods", [] { return "x" + repeat("\x1b[65535b", 2'000); }},
    {"alternate screen and reset churn", [] { return repeat("\x1b[?1049hx\x1b[?1049l\x1b" "c\x1b[?47h\x1b[2J", 20'000); }},
};

TEST(HostileInput, StaysBoundedAndUsable)
{
    for (const Flood& flood : floods) {
        SCOPED_TRACE(flood.name);
        RecordingDelegate host;
        TerminalOptions options;
        options.cols = 80;
        options.rows = 24;
        options.scrollback = 1000;
        Terminal terminal(&host, options);
        const std::string bytes = flood.bytes();
        for (std::size_t at = 0; at < bytes.size(); at += 65536) {
            terminal.feed(std::string_view(bytes).substr(at, 65536));
            ASSERT_LE(terminal.parser().pendingBytes(), std::size_t{256 * 1024});
        }
        EXPECT_EQ(terminal.buffer().checkInvariants(), "");
        EXPECT_LE(terminal.normalBuffer().lines().count(), 1000 + 24);
        EXPECT_LE(terminal.tables().clusters().size(), CellTables::clusterCapacity);
        EXPECT_EQ(host.sent, "");

        // Whatever came before, a terminated sequence and text work again.
        terminal.feed(std::string_view("\x1b\\\x18\x1b[?1049l\x1b[H\x1b[2J\x1b[mok"));
        EXPECT_EQ(screenText(terminal).substr(0, 3), "ok\n");
    }
}

TEST(HostileInput, CombiningMarksStopAtTheClusterLimit)
{
    RecordingDelegate host;
    Terminal terminal(&host);
    terminal.feed("e" + repeat("\xcc\x81", 1000) + "x");
    const CharData& cell = terminal.buffer().screenLine(0)[0];
    EXPECT_EQ(terminal.tables().scalars(cell.code).size(), CellTables::maxClusterScalars);
    EXPECT_EQ(terminal.buffer().screenLine(0)[1].code, 'x');
    EXPECT_EQ(terminal.buffer().x(), 2);
}

} // namespace
} // namespace terminal::test
