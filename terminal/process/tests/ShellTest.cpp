#include "ProcessRecorder.h"

#include "terminal/process/ShellLaunch.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QTemporaryDir>

using namespace process_test;
using terminal::LocalProcess;
using testsupport::waitUntil;

namespace {

// The user's shell, as the terminal pane starts it, with SHELL naming each of the shells here.
class ShellTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(base.isValid());
        host = terminal::currentEnvironment();
        terminal::setEnvironmentValue(host, "SHELL", GetParam());
    }

    std::string makeFolder(const std::string& name)
    {
        const std::string path = base.path().toStdString() + "/" + name;
        EXPECT_TRUE(QDir().mkpath(QString::fromStdString(path)));
        return path;
    }

    void start(const std::string& folder)
    {
        const terminal::ShellLaunch launch = terminal::shellLaunch(folder, host);
        ASSERT_EQ(launch.executable, GetParam());
        terminal::startShell(process, launch);
        ASSERT_TRUE(process.running());
    }

    // Types `expression`'s printing line and returns the value it printed.
    std::optional<std::string> ask(const std::string& expression)
    {
        const std::size_t from = recorder.output.size();
        process.send(printed(expression));
        std::optional<std::string> value;
        waitUntil([&] { return (value = recorder.marked(from)).has_value(); }, 15000);
        return value;
    }

    QTemporaryDir base;
    terminal::EnvironmentList host;
    Recorder recorder;
    LocalProcess process{&recorder};
};

TEST_P(ShellTest, StartsInAFolderWithQuotesAndBlanksSizedAsAskedAndReportsItsExitOnce)
{
    const std::string folder = makeFolder("it's a  \"folder\"");
    start(folder);
    EXPECT_EQ(ask("$(pwd)"), folder);
    EXPECT_EQ(ask("$(stty size)"), "24 80");
    process.setWindowSize({40, 100, 0, 0});
    EXPECT_EQ(ask("$(stty size)"), "40 100");
    EXPECT_EQ(ask("$TERM $COLORTERM $SHELL"), "xterm-256color truecolor " + GetParam());

    process.send("exit 3\n");
    ASSERT_TRUE(recorder.waitForExit());
    testsupport::spin(200);
    EXPECT_EQ(recorder.exits, (std::vector<std::optional<int>>{3}));
}

TEST_P(ShellTest, ShellKilledByASignalReportsIt)
{
    start(makeFolder("plain"));
    process.send("kill -KILL $$\n");
    ASSERT_TRUE(recorder.waitForExit());
    EXPECT_EQ(recorder.exits, (std::vector<std::optional<int>>{128 + SIGKILL}));
}

TEST_P(ShellTest, FolderNamesThatWouldEditTheTypedLineRunNothing)
{
    for (const std::string name : {"a\x15touch pwned", "b\ntouch pwned #"}) {
        const std::string folder = makeFolder(name);
        Recorder shellRecorder;
        LocalProcess shell(&shellRecorder);
        terminal::startShell(shell, terminal::shellLaunch(folder, host));
        shell.send(printed("$(pwd)"));
        ASSERT_TRUE(waitUntil([&] { return shellRecorder.marked().has_value(); }, 15000)) << shellRecorder.output;
        std::string shown = folder; // as the terminal shows it, with CR LF line ends
        for (std::size_t at = 0; (at = shown.find('\n', at)) != std::string::npos; at += 2)
            shown.insert(at, 1, '\r');
        EXPECT_EQ(shellRecorder.marked(), shown);
        shell.send("exit\n");
        ASSERT_TRUE(shellRecorder.waitForExit());
        EXPECT_EQ(shellRecorder.exits, (std::vector<std::optional<int>>{0}));
    }
    QDirIterator files(base.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    EXPECT_FALSE(files.hasNext()) << files.next().toStdString();
}

TEST_P(ShellTest, StopEndsTheShellAndItsForegroundProgram)
{
    start(makeFolder("plain"));
    const pid_t shell = process.shellPid();
    ASSERT_EQ(ask("ready"), "ready"); // past the start-up files and whatever they run
    process.send("sleep 100\n");
    ASSERT_TRUE(waitUntil([&] { return liveSessionMembers(shell) == 2; }));
    process.release();
    EXPECT_TRUE(waitUntil([&] { return liveSessionMembers(shell) == 0; })) << describeSession(shell);
    EXPECT_TRUE(waitUntil([] { return LocalProcess::pendingReleases() == 0; }));
    EXPECT_EQ(ownZombies(), 0);
    EXPECT_TRUE(recorder.exits.empty());
}

// Neither the shell nor its foreground program (which inherits the ignored signals) obeys the
// stop bytes, the hangup or SIGTERM.
TEST_P(ShellTest, StopEndsAShellAndAProgramThatIgnoreHangupAndTerminate)
{
    start(makeFolder("plain"));
    const pid_t shell = process.shellPid();
    ASSERT_EQ(ask("ready"), "ready");
    process.send("trap '' HUP TERM INT; sh -c 'while :; do sleep 0.1; done'\n");
    ASSERT_TRUE(waitUntil([&] { return liveSessionMembers(shell) >= 3; })) << describeSession(shell);
    process.release();
    EXPECT_TRUE(waitUntil([&] { return liveSessionMembers(shell) == 0; }, 15000)) << describeSession(shell);
    EXPECT_TRUE(waitUntil([] { return LocalProcess::pendingReleases() == 0; }));
    EXPECT_EQ(ownZombies(), 0);
}

INSTANTIATE_TEST_SUITE_P(Shells, ShellTest, ::testing::Values("/bin/sh", "/bin/bash"),
                         [](const auto& info) { return info.param == "/bin/sh" ? "sh" : "bash"; });

} // namespace
