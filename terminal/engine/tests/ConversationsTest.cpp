// Real programs that asked this engine questions (tests/conversations/record.py): their output
// is replayed through a terminal, which must answer exactly what the program got when it was
// recorded, at the same points, and show the same screen before each key and at the end.
#include "TerminalScript.h"

#include "terminal/ScreenDump.h"

#include <gtest/gtest.h>

#include <sstream>

namespace terminal::test {
namespace {

// The screens of NAME.screens: each "=== label" line starts one.
std::vector<std::pair<std::string, std::string>> readScreens(const std::string& path)
{
    std::vector<std::pair<std::string, std::string>> screens;
    std::istringstream in(readFile(path));
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("=== ", 0) == 0)
            screens.push_back({line.substr(4), ""});
        else if (!screens.empty())
            screens.back().second += line + "\n";
    }
    return screens;
}

void replay(const std::string& name)
{
    const std::string base = testDataDir() + "/conversations/" + name;
    const std::string io = readFile(base + ".io");
    const auto screens = readScreens(base + ".screens");
    std::istringstream timing(readFile(base + ".timing"));
    ASSERT_FALSE(io.empty()) << base;

    RecordingDelegate host;
    TerminalOptions options;
    options.cols = 80;
    options.rows = 24;
    Terminal terminal(&host, options);
    std::string answered;
    std::size_t offset = 0;
    std::size_t screen = 0;
    const auto expectScreen = [&](const std::string& where) {
        ASSERT_LT(screen, screens.size()) << "more keys than screens, " << where;
        EXPECT_EQ(screenText(terminal), screens[screen].second) << "the screen " << screens[screen].first;
        ++screen;
    };
    std::string kind;
    double delay = 0;
    std::size_t count = 0;
    while (timing >> kind >> delay >> count) {
        ASSERT_LE(offset + count, io.size()) << base << ".timing runs past the log";
        const std::string chunk = io.substr(offset, count);
        offset += count;
        if (kind == "O") {
            terminal.feed(chunk);
        } else if (chunk[0] == '\x1b') {
            // What the program got: this engine must have sent the same by now.
            answered += chunk;
            EXPECT_EQ(escape(host.sent.substr(0, answered.size())), escape(answered)) << "the replies up to byte " << offset;
        } else {
            expectScreen("before a key at byte " + std::to_string(offset));
        }
    }
    EXPECT_EQ(offset, io.size());
    EXPECT_EQ(escape(host.sent), escape(answered)) << "replies the program did not get";
    expectScreen("at the end");
    EXPECT_EQ(screen, screens.size());
}

TEST(Conversations, VttestReports) { replay("vttest-reports"); }
TEST(Conversations, VimTerminalResponses) { replay("vim-responses"); }

} // namespace
} // namespace terminal::test
