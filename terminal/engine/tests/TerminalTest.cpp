// What a terminal keeps to itself, and where its diagnostics go.
#include "terminal/Log.h"
#include "terminal/ScreenDump.h"
#include "terminal/Terminal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace terminal {
namespace {

std::string firstRow(const Terminal& terminal)
{
    const std::string text = screenText(terminal);
    return text.substr(0, text.find('\n'));
}

TEST(Terminal, CharacterSetsBelongToEachTerminal)
{
    Terminal graphics(nullptr);
    Terminal plain(nullptr);
    graphics.feed(std::string_view("\x1b(0\x1b)0"));
    plain.feed(std::string_view("q\x0eq"));
    graphics.feed(std::string_view("q"));
    EXPECT_EQ(firstRow(plain), "qq");
    EXPECT_EQ(firstRow(graphics), "\xe2\x94\x80");

    // A terminal made after another designated starts with none.
    Terminal later(nullptr);
    later.feed(std::string_view("q"));
    EXPECT_EQ(firstRow(later), "q");
}

// Marks that arrive with their letter make one cluster, entered once rather than once per mark
// (each step of a letter gaining its marks would take a code of its own); marks that arrive
// later, a byte at a time, join the same cluster.
TEST(Terminal, MarksArrivingTogetherAreEnteredAsOneCluster)
{
    const std::string text = "e\u0301\u0302\u0323 a\u0301\u0302 e\u0301\u0302\u0323";
    Terminal whole(nullptr);
    whole.feed(std::string_view(text));
    EXPECT_EQ(firstRow(whole), text);
    EXPECT_EQ(whole.tables().clusters().size(), 2u);

    Terminal split(nullptr);
    for (char byte : text)
        split.feed(std::string_view(&byte, 1));
    EXPECT_EQ(firstRow(split), text);
    EXPECT_EQ(split.buffer().screenLine(0)[0].code, split.buffer().screenLine(0)[4].code);
}

class Diagnostics : public ::testing::Test {
protected:
    void SetUp() override
    {
        setLogSink([this](std::string_view message) { logged.emplace_back(message); });
    }
    void TearDown() override { setLogSink(nullptr); }

    std::vector<std::string> logged;
};

TEST_F(Diagnostics, SilentUnlessAsked)
{
    Terminal terminal(nullptr);
    terminal.feed(std::string_view("\x1b[6m\x1bQ"));
    EXPECT_TRUE(logged.empty());

    terminal.setSilentLog(false);
    terminal.feed(std::string_view("\x1b[6m"));
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("Unknown SGR attribute: 6"), std::string::npos);
}

TEST_F(Diagnostics, AFloodIsCutToABurstAndCounted)
{
    // Start in a fresh window: earlier tests may have used this one's burst.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    Terminal terminal(nullptr);
    terminal.setSilentLog(false);
    for (int i = 0; i < 1000; ++i)
        terminal.feed(std::string_view("\x1b[6m"));
    ASSERT_GT(logged.size(), 0u);
    EXPECT_LT(logged.size(), 100u);
    const std::size_t burst = logged.size();

    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    terminal.feed(std::string_view("\x1b[6m"));
    ASSERT_EQ(logged.size(), burst + 1);
    EXPECT_NE(logged.back().find("(" + std::to_string(1000 - burst) + " more diagnostics were suppressed)"), std::string::npos)
        << logged.back();
}

} // namespace
} // namespace terminal
