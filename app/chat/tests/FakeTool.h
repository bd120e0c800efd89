#pragma once

// Running turns of the service core against the fake tool of tests/tools.

#include "chat/CLIChatServiceCore.h"
#include "chat/ChatEventJson.h"
#include "chat/ClaudeChatProviderAdapter.h"

#include <testsupport/EventLoop.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QCoreApplication>

#include <memory>

namespace chat_test {

using namespace quillora::chat;

inline QString testToolPath(const char* name)
{
    return QStringLiteral(QUILLORA_CHAT_TESTS "/tools/") + QLatin1String(name);
}

// A resolution that answers `path` on the next turn of the event loop.
inline CLIChatServiceCore::ExecutableResolution answering(std::optional<QString> path, int delayMs = 0)
{
    return [path, delayMs](QObject* context, std::function<void(std::optional<QString>)> done) {
        QTimer::singleShot(delayMs, context, [path, done] { done(path); });
    };
}

inline std::unique_ptr<CLIChatServiceCore> makeClaudeCore(CLIChatServiceCore::ExecutableResolution resolution)
{
    return std::make_unique<CLIChatServiceCore>(QStringLiteral("ClaudeChatService"), QStringLiteral("Claude"),
                                                std::move(resolution), std::make_shared<ClaudeChatProviderAdapter>());
}

// Events as their JSON lines, and the end of the turn, as the sinks receive them.
struct Recorder {
    QList<QByteArray> events;
    QList<int> statuses;
    bool onOtherThread = false;

    CLIChatServiceCore::EventSink eventSink()
    {
        return [this](const ChatProviderEvent& event) {
            onOtherThread |= QThread::currentThread() != QCoreApplication::instance()->thread();
            events.append(eventJson(event));
        };
    }
    CLIChatServiceCore::TerminationSink terminationSink()
    {
        return [this](int status) { statuses.append(status); };
    }
    std::string joined() const { return events.join('\n').toStdString(); }
};

// A fake tool installed as "claude" in a temporary folder, its record beside it.
class FakeToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("bin"))));
        tool = dir.filePath(QStringLiteral("bin/claude"));
        ASSERT_TRUE(QFile::copy(testToolPath("fake-tool.sh"), tool));
        record = dir.filePath(QStringLiteral("record"));
        qputenv("FAKE_TOOL_RECORD", QFile::encodeName(record));
        qunsetenv("FAKE_TOOL_EXIT");
        core = makeClaudeCore(answering(tool));
    }

    bool start()
    {
        std::optional<ChatSessionStartResult> result;
        core->start(recorder.eventSink(), recorder.terminationSink(), [&](ChatSessionStartResult r) { result = r; });
        return testsupport::waitUntil([&] { return result.has_value(); }) && result->kind == ChatSessionStartResult::Kind::started;
    }

    ChatLaunchResult send(const char* scenario, const QString& prompt = QStringLiteral("hi\n"),
                          const ChatSessionMode& mode = ChatSessionMode::newSession(),
                          std::optional<QString> folder = QString())
    {
        qputenv("FAKE_TOOL_SCENARIO", scenario);
        if (folder && folder->isEmpty())
            folder = dir.path();
        return core->launchProcess(prompt, folder, mode);
    }

    bool waitForEnd(int timeoutMs = 10000)
    {
        return testsupport::waitUntil([&] { return !recorder.statuses.isEmpty(); }, timeoutMs);
    }

    // The whole turn: start, send, wait for its end.
    void runTurn(const char* scenario, const QString& prompt = QStringLiteral("hi\n"))
    {
        ASSERT_TRUE(start());
        ASSERT_EQ(send(scenario, prompt), ChatLaunchResult::launched);
        ASSERT_TRUE(waitForEnd());
    }

    QByteArray recorded(const char* name) const
    {
        QFile file(record + QLatin1Char('/') + QLatin1String(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Waits until the tool has written its process group.
    pid_t toolGroup()
    {
        testsupport::waitUntil([&] { return !recorded("pgid").trimmed().isEmpty(); });
        return pid_t(recorded("pgid").trimmed().toLongLong());
    }

    QTemporaryDir dir;
    QString tool;
    QString record;
    Recorder recorder;
    std::unique_ptr<CLIChatServiceCore> core;
};

} // namespace chat_test
