#include "ProcessRecorder.h"

#include "../src/ProcessTesting.h"
#include "terminal/Log.h"
#include "terminal/process/ShellEnvironment.h"

#include <testsupport/CapturedStdout.h>

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace process_test;
using terminal::LocalProcess;
using terminal::WindowSize;
using testsupport::waitUntil;

namespace {

const std::string sh = "/bin/sh";

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

// Runs `script` with /bin/sh on a new process and waits for its end.
struct ScriptRun {
    Recorder recorder;
    LocalProcess process{&recorder};

    explicit ScriptRun(const std::string& script, WindowSize size = {24, 80, 0, 0})
    {
        recorder.size = size;
        process.startProcess(sh, {"-c", script});
    }
    bool finish() { return recorder.waitForExit() && waitUntil([&] { return process.childfd() < 0; }); }
};

TEST(LocalProcess, ChildGetsItsArgumentsEnvironmentAndFolder)
{
    QTemporaryDir folder;
    const std::string path = folder.path().toStdString();
    Recorder recorder;
    LocalProcess process(&recorder);
    const std::vector<std::string> environment = {"PATH=/usr/bin:/bin", "A=1", "B=two  words", "EMPTY="};
    process.startProcess(sh, {"-c", "tr '\\0' '|' < /proc/$$/cmdline; echo; pwd; tr '\\0' '\\n' < /proc/$$/environ"},
                         environment, "zeroth", path);
    ASSERT_TRUE(process.running());
    ASSERT_TRUE(recorder.waitForExit());
    const std::vector<std::string> lines = splitLines(recorder.lines());
    ASSERT_EQ(lines.size(), 2 + environment.size()) << recorder.output;
    EXPECT_EQ(lines[0], "zeroth|-c|tr '\\0' '|' < /proc/$$/cmdline; echo; pwd; tr '\\0' '\\n' < /proc/$$/environ|");
    EXPECT_EQ(lines[1], path);
    EXPECT_EQ(std::vector(lines.begin() + 2, lines.end()), environment);
    EXPECT_EQ(recorder.exits, (std::vector<std::optional<int>>{0}));
}

TEST(LocalProcess, WithoutEnvironmentOrNameTheChildGetsTheTerminalsEnvironmentAndItsPath)
{
    ScriptRun run("tr '\\0' '|' < /proc/$$/cmdline; echo; tr '\\0' '\\n' < /proc/$$/environ");
    ASSERT_TRUE(run.finish());
    const std::vector<std::string> lines = splitLines(run.recorder.lines());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "/bin/sh|-c|tr '\\0' '|' < /proc/$$/cmdline; echo; tr '\\0' '\\n' < /proc/$$/environ|");
    EXPECT_EQ(std::vector(lines.begin() + 1, lines.end()), terminal::terminalEnvironment("xterm-256color", true));
}

TEST(LocalProcess, TerminalIsUtf8WithTheDelegatesClampedSizeAndTheChildLeadsItsSession)
{
    struct Case {
        WindowSize asked;
        std::string stty;
    };
    for (const Case& c : {Case{{24, 80, 640, 480}, "24 80"}, Case{{0, -3, 0, 0}, "1 1"},
                          Case{{70000, 100000, 99999, -1}, "65535 65535"}}) {
        ScriptRun run("stty size; stty -a | grep -o -- '-*iutf8'; set -- $(cat /proc/$$/stat); echo $1 $5 $6", c.asked);
        ASSERT_TRUE(run.finish());
        const std::vector<std::string> lines = splitLines(run.recorder.lines());
        ASSERT_EQ(lines.size(), 3u) << run.recorder.output;
        EXPECT_EQ(lines[0], c.stty);
        EXPECT_EQ(lines[1], "iutf8");
        // pid, process group, session: all the child's own.
        const std::string pid = std::to_string(run.process.shellPid());
        EXPECT_EQ(lines[2], pid + " " + pid + " " + pid);
    }
}

TEST(LocalProcess, ResizeReachesTheRunningChild)
{
    Recorder recorder;
    LocalProcess process(&recorder);
    process.startProcess(sh, {"-c", "stty -echo; trap 'echo winch' WINCH; stty size; read line; stty size"});
    ASSERT_TRUE(recorder.waitFor("24 80"));
    process.setWindowSize({50, 132, 0, 0});
    process.send("\n");
    ASSERT_TRUE(recorder.waitForExit());
    EXPECT_EQ(recorder.lines(), "24 80\nwinch\n50 132\n");
}

TEST(LocalProcess, ControllerSideIsNonBlockingAndCloseOnExec)
{
    Recorder recorder;
    LocalProcess process(&recorder);
    process.startProcess(sh, {"-c", "read line"});
    ASSERT_GE(process.childfd(), 0);
    EXPECT_TRUE(::fcntl(process.childfd(), F_GETFL) & O_NONBLOCK);
    EXPECT_TRUE(::fcntl(process.childfd(), F_GETFD) & FD_CLOEXEC);
    EXPECT_GT(terminal::pseudo_terminal::availableBytes(process.childfd()).status, -1);
    const auto invalid = terminal::pseudo_terminal::availableBytes(-1);
    EXPECT_LT(invalid.status, 0);
    EXPECT_EQ(invalid.size, 0);
}

TEST(LocalProcess, ChildStartsWithDefaultSignalsAndOnlyItsTerminal)
{
    // What this process has that a child must not inherit: an ignored and a blocked signal, and
    // a descriptor without close-on-exec.
    const auto previousPipe = std::signal(SIGPIPE, SIG_IGN);
    sigset_t usr1;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    sigset_t previousMask;
    ::pthread_sigmask(SIG_BLOCK, &usr1, &previousMask);
    int leaked[2];
    ASSERT_EQ(::pipe(leaked), 0);

    // The shell's own mask is read by a program that replaced it: around its forks the shell
    // blocks every signal for a moment.
    ScriptRun signalState("exec grep -E '^Sig(Blk|Ign)' /proc/self/status");
    ScriptRun run("for f in /proc/$$/fd/*; do readlink \"$f\"; done");
    const bool finished = signalState.finish() && run.finish();

    ::close(leaked[0]);
    ::close(leaked[1]);
    ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    std::signal(SIGPIPE, previousPipe);

    ASSERT_TRUE(finished);
    EXPECT_EQ(signalState.recorder.lines(), "SigBlk:\t0000000000000000\nSigIgn:\t0000000000000000\n");
    std::vector<std::string> descriptors = splitLines(run.recorder.lines());
    // The shell's own descriptor on its folder listing may show as well.
    std::erase_if(descriptors, [](const std::string& target) { return target.starts_with("/proc/"); });
    ASSERT_EQ(descriptors.size(), 3u) << run.recorder.output;
    for (const std::string& target : descriptors)
        EXPECT_TRUE(target.starts_with("/dev/pts/")) << target;
}

TEST(PseudoTerminal, ChildHasItsStandardDescriptorsWhenThisProcessLacksThem)
{
    // With 0 and 2 closed here, the controller side takes 0 and the terminal itself 2, where the
    // child finds it already in place.
    const int savedInput = ::dup(0);
    const int savedError = ::dup(2);
    ::close(0);
    ::close(2);
    const auto child = terminal::pseudo_terminal::spawn(sh, {"sh", "-c", "echo out; echo err >&2"},
                                                        {"PATH=/usr/bin:/bin"}, std::nullopt, {24, 80, 0, 0});
    ::dup2(savedError, 2);
    ::close(savedError);
    ASSERT_TRUE(child);
    std::string output;
    for (int rounds = 0; rounds < 1000; ++rounds) {
        pollfd ready{child->masterFd, POLLIN, 0};
        ::poll(&ready, 1, 10);
        char buffer[256];
        const ssize_t n = ::read(child->masterFd, buffer, sizeof buffer);
        if (n > 0)
            output.append(buffer, std::size_t(n));
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            break; // EIO: the child and its terminal are gone
    }
    int status = 0;
    ::waitpid(child->pid, &status, 0);
    ::close(child->masterFd);
    ::dup2(savedInput, 0);
    ::close(savedInput);
    EXPECT_EQ(output, "out\r\nerr\r\n");
}

// The exit is reported once, decoded, after every byte written before it, whether the child is
// watched through a pidfd or by polling.
class ExitTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { terminal::testing::setPidfdAllowed(GetParam()); }
    void TearDown() override { terminal::testing::setPidfdAllowed(true); }
};

TEST_P(ExitTest, ExitIsReportedOnceAndDecoded)
{
    struct Case {
        std::string script;
        int code;
    };
    for (const Case& c : {Case{"exit 0", 0}, Case{"exit 3", 3}, Case{"exit 255", 255}, Case{"kill -KILL $$", 137},
                          Case{"kill -TERM $$", 143}}) {
        ScriptRun run(c.script);
        ASSERT_TRUE(run.finish()) << c.script;
        testsupport::spin(100);
        EXPECT_EQ(run.recorder.exits, (std::vector<std::optional<int>>{c.code})) << c.script;
        EXPECT_FALSE(run.process.running());
    }
}

TEST_P(ExitTest, OutputWrittenBeforeTheExitIsDeliveredBeforeIt)
{
    ScriptRun run("head -c 300000 /dev/zero | tr '\\0' x; exit 5");
    ASSERT_TRUE(run.finish());
    EXPECT_EQ(run.recorder.exits, (std::vector<std::optional<int>>{5}));
    EXPECT_EQ(run.recorder.outputAtExit, 300000u);
    EXPECT_EQ(std::count(run.recorder.output.begin(), run.recorder.output.end(), 'x'), 300000);
    EXPECT_LE(run.recorder.largestChunk, LocalProcess::readSize);
}

TEST_P(ExitTest, ExitIsReportedWhileABackgroundChildStillHoldsTheTerminal)
{
    ScriptRun run("sleep 3 & exit 4");
    ASSERT_TRUE(run.recorder.waitForExit(2500));
    EXPECT_EQ(run.recorder.exits, (std::vector<std::optional<int>>{4}));
    EXPECT_FALSE(run.process.running());
    EXPECT_EQ(run.process.send("late"), LocalProcess::SendResult::notRunning);
}

INSTANTIATE_TEST_SUITE_P(Watch, ExitTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "pidfd" : "polling"; });

TEST(LocalProcess, ProgramThatCannotRunEndsWith127)
{
    Recorder recorder;
    LocalProcess process(&recorder);
    process.startProcess("/nonexistent/program", {});
    ASSERT_TRUE(recorder.waitForExit());
    EXPECT_EQ(recorder.exits, (std::vector<std::optional<int>>{127}));
}

TEST(LocalProcess, StartWhileRunningSpawnsNothingAndSendsWithoutChildWriteNothing)
{
    Recorder recorder;
    LocalProcess process(&recorder);
    EXPECT_EQ(process.send("early"), LocalProcess::SendResult::notRunning);
    process.startProcess(sh, {"-c", "read line; echo got $line"});
    const pid_t first = process.shellPid();
    process.startProcess(sh, {"-c", "exit 9"});
    EXPECT_EQ(process.shellPid(), first);
    EXPECT_EQ(process.send("one\n"), LocalProcess::SendResult::queued);
    ASSERT_TRUE(recorder.waitForExit());
    EXPECT_TRUE(recorder.waitFor("got one"));
    EXPECT_EQ(recorder.exits, (std::vector<std::optional<int>>{0}));
    EXPECT_EQ(process.send("after"), LocalProcess::SendResult::notRunning);
    EXPECT_EQ(process.sendCount(), 1u);

    // Once the child has ended, the instance can run another.
    process.startProcess(sh, {"-c", "exit 9"});
    ASSERT_TRUE(waitUntil([&] { return recorder.exits.size() == 2; }));
    EXPECT_EQ(recorder.exits.back(), 9);
}

// Text held until the child reads its terminal goes after the child's line editor is up, never
// while the terminal would still echo it; a child that only prints and then waits in line mode
// gets it once quiet; a silent child after the wait; a send meanwhile lets it go first.
TEST(LocalProcess, TextHeldUntilTheChildReadsFollowsItsLineEditorOrTheWait)
{
    using namespace std::chrono_literals;
    // A login message, then two seconds until the line editor (bash's readline) prompts.
    Recorder editor;
    LocalProcess first(&editor);
    first.startProcess("/bin/bash", {"--norc", "-c", "echo welcome; sleep 2; read -t 0 && printf early; "
                                     "read -e -p 'prompt$ ' line; printf '[%s]' \"$line\""});
    first.sendWhenReading("typed\n", 3s, 10min);
    ASSERT_TRUE(editor.waitForExit());
    std::string shown = editor.output;
    for (const std::string_view bracketedPaste : {"\x1B[?2004h", "\x1B[?2004l"})
        for (std::size_t at; (at = shown.find(bracketedPaste)) != std::string::npos;)
            shown.erase(at, bracketedPaste.size());
    EXPECT_EQ(shown, "welcome\r\nprompt$ typed\r\n\r[typed]") << "typed once, after the prompt";

    // Line mode, echo off: quiet after it printed.
    Recorder talker;
    LocalProcess second(&talker);
    second.startProcess("/bin/bash", {"-c", "stty -echo; sleep 0.3; read -t 0 && printf early; printf ready; read line; "
                                            "printf '[%s]' \"$line\""});
    second.sendWhenReading("typed\n", 100ms, 10min);
    ASSERT_TRUE(talker.waitForExit());
    EXPECT_EQ(talker.output, "ready[typed]");

    Recorder silent;
    LocalProcess third(&silent);
    third.startProcess(sh, {"-c", "read line; printf '[%s]' \"$line\""});
    third.sendWhenReading("typed\n", 10min, 100ms);
    ASSERT_TRUE(silent.waitForExit());
    EXPECT_TRUE(silent.output.ends_with("[typed]")) << silent.output;

    // Anything sent meanwhile goes after it.
    Recorder eager;
    LocalProcess fourth(&eager);
    fourth.startProcess(sh, {"-c", "read a; read b; printf '[%s|%s]' \"$a\" \"$b\""});
    fourth.sendWhenReading("held\n", 10min, 10min);
    fourth.send("next\n");
    ASSERT_TRUE(eager.waitForExit());
    EXPECT_TRUE(eager.output.ends_with("[held|next]")) << eager.output;
}

TEST(LocalProcess, WritesArriveWholeAndInOrder)
{
    QTemporaryDir folder;
    const std::string out = folder.filePath(QStringLiteral("out")).toStdString();
    constexpr std::size_t total = 3'000'000;
    Recorder recorder;
    LocalProcess process(&recorder);
    process.startProcess(sh, {"-c", "stty raw -echo -iexten; echo READY; exec head -c " + std::to_string(total) + " > '" + out + "'"});
    ASSERT_TRUE(recorder.waitFor("READY"));

    std::string expected;
    for (std::size_t piece = 0; expected.size() < total; ++piece) {
        std::string bytes(std::min<std::size_t>(1 + piece * 37 % 9000, total - expected.size()), '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>((piece * 131 + i) % 256);
        ASSERT_EQ(process.send(bytes, LocalProcess::SendKind::paste), LocalProcess::SendResult::queued);
        expected += bytes;
    }
    ASSERT_TRUE(recorder.waitForExit(30000));
    EXPECT_EQ(recorder.exits, (std::vector<std::optional<int>>{0}));
    QFile file(QString::fromStdString(out));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().toStdString() == expected);
    EXPECT_EQ(process.totalWritten(), total);
}

TEST(LocalProcess, WaitingBytesAreBounded)
{
    Recorder recorder;
    LocalProcess process(&recorder);
    process.startProcess(sh, {"-c", "stty raw -echo; echo READY; exec sleep 30"});
    ASSERT_TRUE(recorder.waitFor("READY"));
    std::vector<std::string> logged;
    terminal::setLogSink([&](std::string_view line) { logged.emplace_back(line); });

    const std::string block(64 * 1024, 'k');
    int dropped = 0;
    for (int i = 0; i < 24; ++i)
        dropped += process.send(block) == LocalProcess::SendResult::dropped;
    EXPECT_GT(dropped, 0);
    EXPECT_LE(process.queuedBytes(), LocalProcess::maxQueuedInput);

    const std::size_t input = process.queuedBytes();
    EXPECT_EQ(process.send(std::string(LocalProcess::maxQueuedPaste + 1, 'p'), LocalProcess::SendKind::paste),
              LocalProcess::SendResult::refused);
    EXPECT_EQ(process.send(std::string(8 << 20, 'p'), LocalProcess::SendKind::paste), LocalProcess::SendResult::queued);
    EXPECT_EQ(process.send(std::string(9 << 20, 'p'), LocalProcess::SendKind::paste), LocalProcess::SendResult::refused);
    EXPECT_EQ(process.queuedBytes(), input + (8 << 20));
    terminal::setLogSink({});
    ASSERT_FALSE(logged.empty());
    EXPECT_NE(logged.back().find("Refused a paste of 9437184 bytes"), std::string::npos) << logged.back();
}

TEST(LocalProcess, ChunksAreDumpedInOrderAndAFailedDumpKeepsReading)
{
    QTemporaryDir folder;
    ScriptRun run("i=0; while [ $i -lt 2000 ]; do echo line $i; i=$((i+1)); done");
    run.process.setHostLogging(folder.path().toStdString());
    ASSERT_TRUE(run.finish());
    QByteArray dumped;
    for (int i = 0; QFile::exists(folder.filePath(QStringLiteral("log-%1").arg(i))); ++i) {
        QFile file(folder.filePath(QStringLiteral("log-%1").arg(i)));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        dumped += file.readAll();
    }
    EXPECT_EQ(dumped.toStdString(), run.recorder.output);

    std::vector<std::string> logged;
    terminal::setLogSink([&](std::string_view line) { logged.emplace_back(line); });
    ScriptRun unwritable("echo hello");
    unwritable.process.setHostLogging("/nonexistent/folder");
    ASSERT_TRUE(unwritable.finish());
    terminal::setLogSink({});
    EXPECT_EQ(unwritable.recorder.lines(), "hello\n");
    ASSERT_FALSE(logged.empty());
    EXPECT_EQ(logged.front(), "Got error while logging data dump to /nonexistent/folder/log-0: No such file or directory");
}

TEST(LocalProcess, DebugLinesNumberTheSends)
{
    Recorder recorder;
    LocalProcess process(&recorder);
    process.startProcess(sh, {"-c", "read line; echo \"<$line>\""});
    process.setDebugIO(true);
    const QString printed = testsupport::captureStdout([&] {
        process.send("hi\n");
        recorder.waitForExit();
    });
    EXPECT_TRUE(printed.startsWith(QStringLiteral("[SEND-0] Queuing data to client: [104, 105, 10] \n"
                                                  "[SEND-0] completed bytes=3\n")))
        << printed.toStdString();
    EXPECT_TRUE(printed.contains(QStringLiteral("[READ] count="))) << printed.toStdString();
}

TEST(LocalProcess, ReleaseReturnsAtOnceAndTheReaperEndsAChildThatIgnoresTheHangup)
{
    Recorder recorder;
    LocalProcess process(&recorder);
    process.startProcess(sh, {"-c", "trap '' HUP TERM INT; echo READY; while :; do sleep 0.1; done"});
    ASSERT_TRUE(recorder.waitFor("READY"));
    const pid_t pid = process.shellPid();
    const int descriptors = openDescriptorCount();
    process.release();
    EXPECT_FALSE(processGone(pid)); // still alive: nothing waited for it
    EXPECT_FALSE(process.running());
    EXPECT_EQ(process.childfd(), -1);
    ASSERT_TRUE(waitUntil([&] { return processGone(pid); }, 10000));
    EXPECT_TRUE(waitUntil([] { return LocalProcess::pendingReleases() == 0; }));
    EXPECT_LT(openDescriptorCount(), descriptors); // the master and the pidfd are closed
    EXPECT_TRUE(recorder.exits.empty());
}

TEST(LocalProcess, DestroyingTheProcessEndsItsChild)
{
    Recorder recorder;
    pid_t pid = 0;
    {
        LocalProcess process(&recorder);
        process.startProcess(sh, {"-c", "echo READY; exec sleep 30"});
        ASSERT_TRUE(recorder.waitFor("READY"));
        pid = process.shellPid();
    }
    EXPECT_TRUE(waitUntil([&] { return processGone(pid); }, 10000));
}

TEST(LocalProcess, DelegateMayDestroyTheProcessFromItsCalls)
{
    for (const bool onData : {true, false}) {
        Recorder recorder;
        auto process = std::make_unique<LocalProcess>(&recorder);
        (onData ? recorder.onData : recorder.onExit) = [&] { process.reset(); };
        process->startProcess(sh, {"-c", "echo something; exit 2"});
        ASSERT_TRUE(waitUntil([&] { return !process; }));
        testsupport::spin(50);
        EXPECT_EQ(recorder.exits.size(), onData ? 0u : 1u);
    }
}

} // namespace
