#pragma once

#include "chat/ChatCLIProcessRunner.h"
#include "chat/ChatModels.h"

#include <core/AppLogger.h>

#include <QObject>
#include <QProcessEnvironment>

#include <functional>
#include <memory>
#include <optional>

namespace quillora::chat {

// The work of a chat service for either tool: a start finds the executable and keeps the
// caller's sinks; each prompt then runs the tool once, in the project folder, with an extended
// PATH, the prompt on standard input. Used on one thread (the GUI thread); the sinks are called
// there too, in order, never from inside the call that caused them.
class CLIChatServiceCore : public QObject {
    Q_OBJECT

public:
    using EventSink = ChatCLIProcessRunner::EventSink;
    using TerminationSink = ChatCLIProcessRunner::TerminationSink;
    using StartCompletion = std::function<void(ChatSessionStartResult)>;
    // Finds the executable off this thread and answers on the thread of the given context.
    using ExecutableResolution = std::function<void(QObject* context, std::function<void(std::optional<QString>)>)>;

    CLIChatServiceCore(QString loggerCategory, QString providerDisplayName, ExecutableResolution resolveExecutable,
                       std::shared_ptr<const ChatProviderAdapter> adapter, QObject* parent = nullptr);

    // Finds the executable and, once found, keeps the sinks. `completion` runs later on this
    // thread with the result. A start that `stop` or another start supersedes while it is
    // still finding the executable completes with nothing and keeps no sinks.
    void start(EventSink onEvent, TerminationSink onTermination, StartCompletion completion);

    // Runs one turn. `failed` is followed by error details with the reason and a termination
    // with status 1, each exactly once.
    ChatLaunchResult launchProcess(const QString& prompt, const std::optional<QString>& workingDirectory,
                                   const ChatSessionMode& mode);

    // A turn's tool runs: from its launch until its termination has been delivered, or `stop`.
    bool isRunning() const { return m_runner.isRunning(); }
    // SIGINT to the running tool's process group.
    void interrupt() { m_runner.interrupt(); }
    // Ends the session: the running tool is stopped and nothing more of it is delivered; the
    // sinks are dropped; the executable is kept.
    void stop();

    std::optional<QString> executablePath() const { return m_executablePath; }
    qint64 processGroup() const { return m_runner.processGroup(); }

    // `base` with PATH = the executable's folder, then PATH's own entries, then `extraFolders`,
    // each once at its first place.
    static QProcessEnvironment makeEnvironment(const QString& executablePath, QProcessEnvironment base,
                                               const QStringList& extraFolders);

signals:
    void runningChanged(bool running);

private:
    AppLogger m_logger;
    QString m_providerDisplayName;
    ExecutableResolution m_resolveExecutable;
    std::shared_ptr<const ChatProviderAdapter> m_adapter;
    ChatCLIProcessRunner m_runner;
    std::optional<QString> m_executablePath;
    EventSink m_onEvent;
    TerminationSink m_onTermination;
    // Advanced by every start and stop: results of an older one are dropped.
    quint64 m_generation = 0;
};

} // namespace quillora::chat
