#include "FakeTool.h"

#include "../src/ProcessGroups.h"

#include "chat/ExecutableResolverService.h"

#include <core/LogStore.h>

#include <nlohmann/json.hpp>

#include <QElapsedTimer>
#include <QRegularExpression>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

using namespace chat_test;
using quillora::chat::process_groups::hasLiveMembers;
using testsupport::spin;
using testsupport::waitUntil;

namespace {

long peakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

TEST_F(FakeToolTest, TurnRunsInTheFolderWithPromptArgumentsAndPath)
{
    QList<bool> running;
    QObject::connect(core.get(), &CLIChatServiceCore::runningChanged, [&](bool r) { running.append(r); });
    ASSERT_TRUE(start());
    EXPECT_EQ(core->executablePath(), tool);
    ASSERT_EQ(send("turn", QStringLiteral("Explain ünïcode\nplease\n")), ChatLaunchResult::launched);
    // Nothing is delivered from inside the call.
    EXPECT_TRUE(recorder.events.isEmpty());
    EXPECT_TRUE(core->isRunning());
    ASSERT_TRUE(waitForEnd());

    // Standard error is read from a pipe of its own, so its place among the events from standard
    // output depends on the scheduler: it is checked apart from them.
    QList<QByteArray> fromOutput = recorder.events;
    const QByteArray fromError = R"({"kind":"errorDetails","text":"warming up\n","standardError":true})";
    EXPECT_EQ(fromOutput.removeAll(fromError), 1) << recorder.joined();
    EXPECT_EQ(fromOutput.join('\n').toStdString(), std::string(R"({"kind":"threadStarted","sessionID":"s-1"}
{"kind":"assistantMessage","text":"Hello"}
{"kind":"turnCompleted"})"));
    EXPECT_EQ(recorder.statuses, QList<int>{0});
    EXPECT_FALSE(recorder.onOtherThread);
    EXPECT_FALSE(core->isRunning());
    EXPECT_EQ(running, (QList<bool>{true, false}));

    EXPECT_EQ(recorded("stdin"), QByteArray("Explain ünïcode\nplease\n"));
    EXPECT_EQ(recorded("cwd").trimmed(), QFile::encodeName(dir.path()));
    EXPECT_EQ(recorded("argv"), "--print\n--verbose\n--output-format\nstream-json\n-\n--permission-mode\nacceptEdits\n--add-dir\n"
                                    + QFile::encodeName(dir.path()) + "\n");
    // The tool's own folder first, then the inherited PATH, then the install folders.
    QStringList path = QString::fromUtf8(recorded("path").trimmed()).split(QLatin1Char(':'));
    ASSERT_FALSE(path.isEmpty());
    EXPECT_EQ(path.first(), dir.filePath(QStringLiteral("bin")));
    const QStringList inherited = qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    ASSERT_FALSE(inherited.isEmpty());
    EXPECT_EQ(path.indexOf(inherited.first()), 1);
    EXPECT_TRUE(path.contains(homeDirectory() + QStringLiteral("/.local/bin")));
    EXPECT_EQ(path.removeDuplicates(), 0);
}

TEST_F(FakeToolTest, ResumedTurnWithoutFolderRunsAtHome)
{
    ASSERT_TRUE(start());
    ASSERT_EQ(send("turn", QStringLiteral("again\n"), ChatSessionMode::resume(QStringLiteral("s-1")), std::nullopt),
              ChatLaunchResult::launched);
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(recorded("argv"), "--resume\ns-1\n--print\n--verbose\n--output-format\nstream-json\n-\n--permission-mode\nacceptEdits\n");
    EXPECT_EQ(recorded("cwd").trimmed(), QFile::encodeName(QDir(homeDirectory()).canonicalPath()));
}

TEST_F(FakeToolTest, CharactersSplitAcrossReadsArriveWholeAndBadBytesAreReplaced)
{
    runTurn("split-utf8");
    QString errors;
    QStringList answers;
    for (const QByteArray& event : recorder.events) {
        const auto json = nlohmann::json::parse(event.toStdString());
        const QString text = QString::fromStdString(json.value("text", ""));
        if (json["kind"] == "errorDetails")
            errors += text;
        else if (json["kind"] == "assistantMessage")
            answers.append(text);
    }
    EXPECT_EQ(answers, (QStringList{QStringLiteral("café"), QStringLiteral("x\uFFFDy")}));
    EXPECT_EQ(errors, QStringLiteral("err€\n"));
}

TEST_F(FakeToolTest, HowATurnEnds)
{
    struct Case {
        const char* scenario;
        QByteArray lastEvents;
        int status;
    };
    const QList<Case> cases{
        {"exit-3", R"({"kind":"unparsedOutput","text":"partial answer"})", 3},
        {"json-rest", "{\"kind\":\"errorDetails\",\"text\":\"late\"}\n{\"kind\":\"turnCompleted\"}", 0},
        {"broken-rest", R"({"kind":"unparsedOutput","text":"{\"type\":\"assistant\",\"message\":"})", 0},
        // An exit by signal never reads like an ordinary exit code.
        {"killed", "", 128 + SIGKILL},
    };
    ASSERT_TRUE(start());
    for (const Case& c : cases) {
        recorder = Recorder();
        ASSERT_EQ(send(c.scenario), ChatLaunchResult::launched) << c.scenario;
        ASSERT_TRUE(waitForEnd()) << c.scenario;
        EXPECT_EQ(recorder.joined(), c.lastEvents.toStdString()) << c.scenario;
        EXPECT_EQ(recorder.statuses, QList<int>{c.status}) << c.scenario;
    }
}

TEST_F(FakeToolTest, LaunchFailuresAreReportedOnceWithTheSystemsReason)
{
    struct Case {
        QString executable;
        QString folder;
        const char* reason;
    };
    const QList<Case> cases{
        {dir.filePath(QStringLiteral("missing/claude")), dir.path(), "No such file"},
        {tool, dir.filePath(QStringLiteral("no-such-folder")), "chdir"},
    };
    for (const Case& c : cases) {
        recorder = Recorder();
        core = makeClaudeCore(answering(c.executable));
        ASSERT_TRUE(start());
        EXPECT_EQ(core->launchProcess(QStringLiteral("hi\n"), c.folder, ChatSessionMode::newSession()), ChatLaunchResult::failed);
        EXPECT_FALSE(core->isRunning());
        ASSERT_TRUE(waitForEnd());
        spin(200);
        ASSERT_EQ(recorder.events.size(), 1);
        EXPECT_TRUE(recorder.events[0].contains(c.reason)) << recorder.events[0].constData();
        EXPECT_EQ(recorder.statuses, QList<int>{1});
    }
}

TEST_F(FakeToolTest, PromptsAreRefusedWithoutAStartOrWhileATurnRuns)
{
    EXPECT_EQ(send("turn"), ChatLaunchResult::notStarted);
    ASSERT_TRUE(start());
    ASSERT_EQ(send("interruptible"), ChatLaunchResult::launched);
    EXPECT_EQ(send("turn"), ChatLaunchResult::busy);
    core->stop();
    EXPECT_EQ(send("turn"), ChatLaunchResult::notStarted);
}

TEST_F(FakeToolTest, InterruptLetsTheToolEndItsTurn)
{
    ASSERT_TRUE(start());
    ASSERT_EQ(send("interruptible"), ChatLaunchResult::launched);
    ASSERT_TRUE(waitUntil([&] { return !recorder.events.isEmpty(); }));
    core->interrupt();
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(recorder.events.last(), QByteArray(R"({"kind":"turnCompleted"})"));
    EXPECT_EQ(recorder.statuses, QList<int>{130});
}

// A tool that goes on after the interrupt is terminated a grace period later, and killed a
// grace period after that when it goes on after that too; the turn ends with its status.
TEST_F(FakeToolTest, AnInterruptThatIsIgnoredIsFollowedByTerminationThenKill)
{
    const struct {
        const char* scenario;
        int status;
        const char* received;
    } cases[] = {{"ignore-interrupt", 128 + SIGTERM, "INT\n"}, {"ignore-signals", 128 + SIGKILL, "INT\nTERM\n"}};
    ASSERT_TRUE(start());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scenario);
        recorder = Recorder();
        QFile::remove(record + QStringLiteral("/pgid"));
        QFile::remove(record + QStringLiteral("/signals"));
        ASSERT_EQ(send(c.scenario), ChatLaunchResult::launched);
        ASSERT_TRUE(waitUntil([&] { return !recorder.events.isEmpty(); }));
        const pid_t group = toolGroup();
        QElapsedTimer clock;
        clock.start();
        core->interrupt();
        spin(1500);
        EXPECT_TRUE(core->isRunning()) << "only the interrupt within the grace period";
        EXPECT_TRUE(hasLiveMembers(group));
        ASSERT_TRUE(waitForEnd(4 * int(ChatCLIProcessRunner::stopGracePeriod.count())));
        EXPECT_EQ(recorder.statuses, QList<int>{c.status});
        EXPECT_GE(clock.elapsed(), (c.status == 128 + SIGKILL ? 2 : 1) * ChatCLIProcessRunner::stopGracePeriod.count());
        EXPECT_EQ(recorded("signals"), QByteArray(c.received));
        EXPECT_TRUE(waitUntil([&] { return !hasLiveMembers(group); }));
    }
}

TEST_F(FakeToolTest, StopEndsTheWholeGroupAndDeliversNothingMore)
{
    ASSERT_TRUE(start());
    ASSERT_EQ(send("grandchild"), ChatLaunchResult::launched);
    ASSERT_TRUE(waitUntil([&] { return !recorder.events.isEmpty(); }));
    const pid_t group = toolGroup();
    ASSERT_GT(group, 1);
    EXPECT_EQ(core->processGroup(), group);
    EXPECT_TRUE(hasLiveMembers(group));
    core->stop();
    EXPECT_FALSE(core->isRunning());
    EXPECT_TRUE(waitUntil([&] { return !hasLiveMembers(group); }, 2500));
    spin(200);
    EXPECT_TRUE(recorder.statuses.isEmpty());
    // The next session starts at once.
    ASSERT_TRUE(start());
    EXPECT_EQ(send("turn"), ChatLaunchResult::launched);
    EXPECT_TRUE(waitForEnd());
}

TEST_F(FakeToolTest, ToolIgnoringSignalsIsKilledAfterTheGracePeriod)
{
    ASSERT_TRUE(start());
    ASSERT_EQ(send("ignore-signals"), ChatLaunchResult::launched);
    ASSERT_TRUE(waitUntil([&] { return !recorder.events.isEmpty(); }));
    const pid_t group = toolGroup();
    core->interrupt();
    core->stop();
    spin(1500);
    EXPECT_TRUE(hasLiveMembers(group));
    EXPECT_TRUE(waitUntil([&] { return !hasLiveMembers(group); }, 3500));
}

TEST_F(FakeToolTest, TurnEndsWithTheToolAndQuitEndsWhatItLeftBehind)
{
    qputenv("FAKE_TOOL_EXIT", "now");
    runTurn("grandchild");
    EXPECT_EQ(recorder.statuses, QList<int>{0});
    const pid_t group = toolGroup();
    const pid_t grandchild = pid_t(recorded("grandchild").trimmed().toLongLong());
    ASSERT_GT(grandchild, 1);
    EXPECT_EQ(::kill(grandchild, 0), 0);

    // A second tool that ignores SIGTERM is killed once the grace period is over.
    recorder = Recorder();
    ASSERT_EQ(send("ignore-signals"), ChatLaunchResult::launched);
    ASSERT_TRUE(waitUntil([&] { return !recorder.events.isEmpty(); }));
    const pid_t stubborn = toolGroup();
    ASSERT_NE(stubborn, group);
    QElapsedTimer timer;
    timer.start();
    ChatCLIProcessRunner::terminateAll(std::chrono::milliseconds(500));
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_TRUE(waitUntil([&] { return !hasLiveMembers(group) && !hasLiveMembers(stubborn); }, 2000));
    EXPECT_TRUE(waitForEnd());
}

TEST_F(FakeToolTest, DestroyingTheCoreEndsItsTool)
{
    ASSERT_TRUE(start());
    ASSERT_EQ(send("grandchild"), ChatLaunchResult::launched);
    ASSERT_TRUE(waitUntil([&] { return !recorder.events.isEmpty(); }));
    const pid_t group = toolGroup();
    core.reset();
    EXPECT_TRUE(waitUntil([&] { return !hasLiveMembers(group); }, 2500));
}

TEST_F(FakeToolTest, ToolThatReadsLittleOfALargePromptDoesNoHarm)
{
    const QString prompt(8 << 20, QLatin1Char('p'));
    runTurn("read-10-bytes", prompt);
    EXPECT_EQ(recorded("stdin"), QByteArray(10, 'p'));
    EXPECT_EQ(recorder.statuses, QList<int>{0});
    // And the next turn runs as usual.
    recorder = Recorder();
    ASSERT_EQ(send("turn"), ChatLaunchResult::launched);
    EXPECT_TRUE(waitForEnd());
}

TEST_F(FakeToolTest, OnlyStandardDescriptorsReachTheTool)
{
    const int leaked = ::open("/dev/null", O_RDONLY); // deliberately without close-on-exec
    ASSERT_GE(leaked, 3);
    runTurn("list-fds");
    ::close(leaked);
    // "ls -l /proc/self/fd": every descriptor past 2 is the listing's own.
    static const QRegularExpression entry(QStringLiteral(R"( (\d+) -> (.*)$)"));
    QList<int> fds;
    for (const QByteArray& event : recorder.events) {
        const auto json = nlohmann::json::parse(event.toStdString());
        const auto match = entry.match(QString::fromStdString(json.value("text", "")));
        if (!match.hasMatch())
            continue;
        const int fd = match.captured(1).toInt();
        fds.append(fd);
        if (fd > 2) {
            EXPECT_TRUE(match.captured(2).startsWith(QStringLiteral("/proc/"))) << match.captured(0).toStdString();
        }
    }
    EXPECT_TRUE(fds.contains(0) && fds.contains(1) && fds.contains(2));
    EXPECT_LE(fds.size(), 4);
}

TEST_F(FakeToolTest, LineWithoutEndIsDroppedInBoundedMemory)
{
    [[maybe_unused]] const long before = peakResidentKiB();
    runTurn("no-line-feed");
    EXPECT_EQ(recorder.joined(), std::string("{\"kind\":\"errorDetails\",\"text\":\"An output line longer than 32 MiB was dropped.\\n\"}\n"
                                            "{\"kind\":\"turnCompleted\"}"));
#ifndef __SANITIZE_ADDRESS__ // the sanitizer's own bookkeeping holds freed memory back
    EXPECT_LT(peakResidentKiB() - before, 160 * 1024);
#endif
}

TEST_F(FakeToolTest, RawOutputIsLoggedInExcerptsUpToABudget)
{
    auto& log = quillora::LogStore::shared();
    const qsizetype before = log.entries().size();
    runTurn("chatty");
    auto note = [&] {
        for (qsizetype i = before; i < log.entries().size(); ++i)
            if (log.entries()[i].message.contains(QStringLiteral("were not logged for this turn")))
                return log.entries()[i].message;
        return QString();
    };
    ASSERT_TRUE(waitUntil([&] { return !note().isEmpty(); }));
    qsizetype logged = 0;
    QString first;
    const QList<quillora::LogEntryModel> entries = log.entries();
    for (qsizetype i = before; i < entries.size(); ++i) {
        const auto& entry = entries[i];
        if (entry.category != QStringLiteral("ClaudeChatService") || !entry.message.startsWith(QStringLiteral("[stdout] ")))
            continue;
        if (first.isEmpty())
            first = entry.message.section(QLatin1Char('\n'), 0, 0);
        logged += entry.message.size();
    }
    // A long line keeps its first 2 KiB and its size.
    EXPECT_EQ(first, QStringLiteral("[stdout] ") + QString(2048, QLatin1Char('l')) + QStringLiteral("… (5000 bytes)"));
    EXPECT_GT(logged, 3 << 20);
    EXPECT_LT(logged, (4 << 20) + 4096);
    EXPECT_TRUE(note().endsWith(QStringLiteral("were not logged for this turn")));
}

TEST_F(FakeToolTest, DeeplyNestedLineIsShownAsText)
{
    runTurn("deep-json");
    ASSERT_EQ(recorder.events.size(), 2);
    EXPECT_TRUE(recorder.events[0].startsWith(R"({"kind":"assistantMessage","text":"{\"type\":\"assistant\",\"x\":[[[)"));
    EXPECT_EQ(recorder.events[1], QByteArray(R"({"kind":"turnCompleted"})"));
}

TEST_F(FakeToolTest, SupersededStartsCompleteWithNothing)
{
    core = makeClaudeCore(answering(tool, 100));
    int completions = 0;
    core->start(recorder.eventSink(), recorder.terminationSink(), [&](ChatSessionStartResult) { ++completions; });
    core->stop();
    spin(300);
    EXPECT_EQ(completions, 0);
    EXPECT_EQ(send("turn"), ChatLaunchResult::notStarted);

    std::optional<ChatSessionStartResult> second;
    core->start(recorder.eventSink(), recorder.terminationSink(), [&](ChatSessionStartResult) { ++completions; });
    core->start(recorder.eventSink(), recorder.terminationSink(), [&](ChatSessionStartResult r) { second = r; });
    ASSERT_TRUE(waitUntil([&] { return second.has_value(); }));
    spin(200);
    EXPECT_EQ(completions, 0);
    EXPECT_EQ(second->kind, ChatSessionStartResult::Kind::started);

    // A start while a turn runs changes nothing.
    ASSERT_EQ(send("interruptible"), ChatLaunchResult::launched);
    std::optional<ChatSessionStartResult> during;
    core->start(nullptr, nullptr, [&](ChatSessionStartResult r) { during = r; });
    ASSERT_TRUE(waitUntil([&] { return during.has_value(); }));
    EXPECT_EQ(during->kind, ChatSessionStartResult::Kind::alreadyRunning);
    core->interrupt();
    EXPECT_TRUE(waitForEnd());

    core = makeClaudeCore(answering(std::nullopt));
    std::optional<ChatSessionStartResult> missing;
    core->start(recorder.eventSink(), recorder.terminationSink(), [&](ChatSessionStartResult r) { missing = r; });
    ASSERT_TRUE(waitUntil([&] { return missing.has_value(); }));
    EXPECT_EQ(missing->kind, ChatSessionStartResult::Kind::executableNotFound);
    EXPECT_FALSE(core->executablePath());
}

TEST(ChatEnvironment, PathPutsTheToolFolderFirstAndKeepsEachFolderOnce)
{
    struct Case {
        const char* path; // null: unset
        const char* executable;
        QStringList extras;
        const char* expected;
    };
    const QList<Case> cases{
        {"/usr/bin:/opt/x/bin", "/opt/x/bin/claude", {"/usr/local/bin", "/usr/bin"}, "/opt/x/bin:/usr/bin:/usr/local/bin"},
        {nullptr, "/h/.nvm/versions/node/v20/bin/codex", {"/usr/local/bin", "/usr/bin"},
         "/h/.nvm/versions/node/v20/bin:/usr/local/bin:/usr/bin"},
        {"::/a:/a/:/a", "/b/claude", {"/a", ""}, "/b:/a:/a/"},
    };
    for (const Case& c : cases) {
        QProcessEnvironment base;
        base.insert(QStringLiteral("HOME"), QStringLiteral("/h"));
        if (c.path)
            base.insert(QStringLiteral("PATH"), QString::fromLatin1(c.path));
        const QProcessEnvironment env = CLIChatServiceCore::makeEnvironment(QString::fromLatin1(c.executable), base, c.extras);
        EXPECT_EQ(env.value(QStringLiteral("PATH")), QString::fromLatin1(c.expected)) << c.executable;
        EXPECT_EQ(env.value(QStringLiteral("HOME")), QStringLiteral("/h"));
    }
}

} // namespace
