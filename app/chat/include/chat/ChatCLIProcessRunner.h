#pragma once

#include "chat/ChatModels.h"

#include <QObject>
#include <QProcessEnvironment>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

namespace quillora::chat {

namespace detail {
struct ChatTurn;
class TurnReader;
} // namespace detail

// Turns what a turn's tool prints into events. Called on the chat I/O thread only, one turn's
// calls never at once; each call appends the events it finds.
class ChatOutputInterpreter {
public:
    virtual ~ChatOutputInterpreter() = default;
    // A complete standard-output line: trimmed, non-empty, valid UTF-8.
    virtual void outputLine(std::string_view line, QList<ChatProviderEvent>& events) = 0;
    // The lines of one read of standard output have all been given.
    virtual void endOfRead(QList<ChatProviderEvent>& events) { Q_UNUSED(events); }
    // A standard-output line longer than the bound was dropped.
    virtual void outputLineDropped(std::size_t bound, QList<ChatProviderEvent>& events) = 0;
    // A standard-error chunk, decoded (a character split across reads is kept for the next one).
    virtual void errorOutput(const QString& text, QList<ChatProviderEvent>& events) = 0;
    // The tool ended: its status and the trimmed unterminated rest of standard output.
    virtual void terminated(int status, std::string_view rest, QList<ChatProviderEvent>& events) = 0;
};

// Runs one tool child at a time for a chat service. The child gets a session and process group
// of its own, no inherited descriptor but 0 to 2, and SIGTERM should the application die. Its
// output is read, split and interpreted on a shared I/O thread; events and the end of the turn
// reach the sinks on the runner's thread, in order. Used on the thread that made it.
class ChatCLIProcessRunner : public QObject {
    Q_OBJECT

public:
    struct Launch {
        QString program;
        QStringList arguments;
        QProcessEnvironment environment;
        QString workingDirectory;
        QByteArray input; // written in the background, then standard input is closed
    };
    using EventSink = std::function<void(const ChatProviderEvent&)>;
    using TerminationSink = std::function<void(int status)>;

    // A signal sent to stop: this long before SIGKILL follows.
    static constexpr std::chrono::milliseconds stopGracePeriod{3000};
    // A line longer than this is dropped.
    static constexpr std::size_t maxLineBytes = std::size_t(32) << 20;

    explicit ChatCLIProcessRunner(QObject* parent = nullptr);
    // Stops the running child, as `stop` does.
    ~ChatCLIProcessRunner() override;

    // Starts the child. On success the sinks receive the turn's events and then, once, its
    // status (an exit by signal N reads 128 + N). On failure nothing is delivered and the
    // returned text says why (the system's reason).
    std::optional<QString> launch(Launch launch, std::shared_ptr<ChatOutputInterpreter> interpreter, EventSink onEvent,
                                  TerminationSink onTermination);

    // From a successful launch until the termination has been delivered, or `stop`.
    bool isRunning() const { return m_turn != nullptr; }
    // The running child's process group, which is also its process id; 0 when none runs.
    qint64 processGroup() const;

    // SIGINT to the running child's group. Should the child still run a grace period later,
    // SIGTERM follows, and SIGKILL after another: the turn then ends with its status.
    void interrupt();
    // Ends the turn: SIGTERM to the group, SIGKILL after the grace period when anything of it
    // is left; nothing more of the turn is delivered.
    void stop();

    // For quitting: SIGTERM to every group that any runner started and that still has a live
    // process, then SIGKILL to what is left after `grace`. Returns once the groups are gone or
    // killed. Also runs when the application object quits or is destroyed.
    static void terminateAll(std::chrono::milliseconds grace = std::chrono::milliseconds(1000));
    // Whether a process of the group is alive (zombies not yet reaped do not count).
    static bool groupHasLiveProcesses(qint64 group);

signals:
    void runningChanged(bool running);

private:
    friend class detail::TurnReader;
    void deliver(const std::shared_ptr<detail::ChatTurn>& turn, QList<ChatProviderEvent> events, std::optional<int> status);

    std::shared_ptr<detail::ChatTurn> m_turn;
};

} // namespace quillora::chat
