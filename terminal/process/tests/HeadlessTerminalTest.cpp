#include "ProcessRecorder.h"

#include "terminal/ScreenDump.h"
#include "terminal/process/HeadlessTerminal.h"
#include "terminal/process/ShellLaunch.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace process_test;
using terminal::HeadlessTerminal;
using testsupport::waitUntil;

namespace {

// Real shells on a headless terminal, as the terminal pane runs them.
class HeadlessShellTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override
    {
        host = terminal::currentEnvironment();
        terminal::setEnvironmentValue(host, "SHELL", GetParam());
        folder = base.path().toStdString() + "/it's a  \"folder\"";
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
        terminal::startShell(headless.process(), terminal::shellLaunch(folder, host));
        ASSERT_TRUE(headless.process().running());
    }

    // Types `expression`'s printing line; the value it shows on the screen.
    std::optional<std::string> ask(const std::string& expression)
    {
        const std::string tag = std::to_string(++asked) + ":";
        headless.process().send(printed(tag + expression));
        std::optional<std::string> value;
        waitUntil([&] {
            Recorder screen;
            screen.output = terminal::screenText(headless.terminal());
            for (std::size_t at = 0; (value = screen.marked(at)); at = screen.output.find("@@", at) + 2)
                if (value->starts_with(tag))
                    return true;
            return false;
        });
        return value ? std::optional(value->substr(tag.size())) : std::nullopt;
    }

    int asked = 0;

    QTemporaryDir base;
    terminal::EnvironmentList host;
    std::string folder;
    std::vector<std::optional<int>> exits;
    HeadlessTerminal headless{terminal::TerminalOptions::defaultOptions(),
                              [this](std::optional<int> code) { exits.push_back(code); }};
};

TEST_P(HeadlessShellTest, ScreenShowsTheFolderAndTheTerminalsSize)
{
    EXPECT_EQ(ask("$(pwd)"), folder);
    EXPECT_EQ(ask("$(stty size)"), "25 80");
    headless.resize(132, 40);
    EXPECT_EQ(ask("$(stty size)"), "40 132");
    headless.resize(70000, 40); // clamped by the terminal; the window follows it
    EXPECT_EQ(ask("$(stty size)"), "40 " + std::to_string(terminal::limits::maxCols));
    headless.process().send("exit 3\n");
    ASSERT_TRUE(waitUntil([&] { return !exits.empty(); }));
    testsupport::spin(100);
    EXPECT_EQ(exits, (std::vector<std::optional<int>>{3}));
}

TEST_P(HeadlessShellTest, RepliesAndTheFolderReachTheProgramAndAResizeKeepsTheModes)
{
    // A query of palette entry 1, answered by the terminal and read back by the shell.
    headless.process().send("stty raw -echo; printf '\\033]4;1;?\\033\\\\'; r=$(dd bs=1 count=26 2>/dev/null); "
                            "stty sane; r=${r#?}; echo \"got ${r%??}.\"\n");
    const std::string reply = "got ]4;1;" + headless.terminal().ansiColors()[1].formatAsXcolor() + ".";
    EXPECT_TRUE(waitUntil([&] { return terminal::screenText(headless.terminal()).find(reply) != std::string::npos; }))
        << terminal::screenText(headless.terminal());

    // The folder the shell names, as a file URL.
    headless.process().send("printf '\\033]7;file://host%s\\a' \"$PWD\"\n");
    EXPECT_TRUE(waitUntil([&] { return headless.dir() == "file://host" + folder; })) << headless.dir().value_or("(none)");

    headless.process().send("printf '\\033[?1h\\100\\100set\\100\\100'\n");
    ASSERT_TRUE(waitUntil([&] { return terminal::screenText(headless.terminal()).find("@@set@@") != std::string::npos; }));
    ASSERT_TRUE(headless.terminal().modes().applicationCursor);
    headless.resize(100, 30);
    EXPECT_TRUE(headless.terminal().modes().applicationCursor);
}

INSTANTIATE_TEST_SUITE_P(Shells, HeadlessShellTest, ::testing::Values("/bin/sh", "/bin/bash"),
                         [](const auto& info) { return info.param == "/bin/sh" ? "sh" : "bash"; });

TEST(HeadlessTerminal, BitmapsAreKeptWithinTheirBudget)
{
    HeadlessTerminal headless;
    const std::size_t quarter = HeadlessTerminal::maxImageBytes / 4;
    for (int i = 0; i < 6; ++i) {
        std::vector<std::uint8_t> bytes(quarter, static_cast<std::uint8_t>(i));
        headless.createImageFromBitmap(headless.terminal(), bytes, 1, 1);
    }
    std::vector<std::uint8_t> tooLarge(HeadlessTerminal::maxImageBytes + 4);
    headless.createImageFromBitmap(headless.terminal(), tooLarge, 1, 1);
    ASSERT_EQ(headless.images().size(), 4u);
    EXPECT_EQ(headless.images().front().bytes.front(), 2); // the two oldest went first
    EXPECT_EQ(headless.images().back().bytes.front(), 5);
}

} // namespace
