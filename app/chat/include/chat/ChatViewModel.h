#pragma once

#include "chat/ChatModels.h"
#include "chat/ChatServices.h"

#include <core/AppLogger.h>
#include <platform/UserDefaults.h>

#include <QList>
#include <QObject>
#include <QTimer>
#include <QUrl>
#include <QUuid>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace quillora::chat {

// What the chat view model works with. Tests give fakes.
struct ChatViewModelServices {
    // Holds the provider choice ("quillora.settings.chatProvider").
    std::shared_ptr<platform::UserDefaults> defaults;
    // Whether a provider's tool is installed. It may block: the view model asks on a worker
    // thread, so it must be safe to call from any thread.
    ChatToolInstalled isInstalled;
    // A new service for a provider.
    std::function<std::unique_ptr<ChatServiceProvider>(ChatProvider)> makeService;

    // The real services over the given resolvers.
    static ChatViewModelServices standard(std::shared_ptr<platform::UserDefaults> defaults = platform::UserDefaults::standard(),
                                          ChatProviderResolverService resolvers = {});
};

// The model behind the chat pane: the transcript, the flags the views draw, the composer's
// text and the provider in use; it drives a chat service through the life of a session and
// turns the events of each turn into transcript messages. Used on the GUI thread only.
//
// Every session gets a generation: whatever a service delivers for an older one (after Stop,
// New Chat or a provider switch) is dropped, and so are the results of an older start request.
// Finding an installed tool runs on a worker thread.
class ChatViewModel : public QObject {
    Q_OBJECT

public:
    static constexpr qsizetype maxErrorDetails = 64 * 1024; // characters, the newest kept

    explicit ChatViewModel(ChatViewModelServices services, QObject* parent = nullptr);
    // Stops the service.
    ~ChatViewModel() override;

    const QList<ChatMessageModel>& messages() const { return m_messages; }
    bool isStreaming() const { return m_isStreaming; }
    bool isProcessReady() const { return m_isProcessReady; }
    const std::optional<QString>& lastError() const { return m_lastError; }
    const std::optional<QString>& errorDetails() const { return m_errorDetails; }
    const QString& draftMessage() const { return m_draftMessage; }
    void setDraftMessage(const QString& text);
    // Replaced after every change to `messages`.
    QUuid streamingUpdateToken() const { return m_streamingUpdateToken; }
    const std::optional<QUrl>& workingDirectoryURL() const { return m_workingDirectoryURL; }
    void setWorkingDirectoryURL(const std::optional<QUrl>& url);
    ChatProvider selectedProvider() const { return m_selectedProvider; }
    const ChatSessionMode& currentSessionMode() const { return m_currentSessionMode; }

    // A session is ready, no turn runs (nor is its tool still ending), and the draft holds text.
    bool canSend() const;
    // The user stopped the turn and its tool has not exited yet.
    bool isStopping() const;
    // The error, "Stopping…", "Ready" (with a session identifier safe to pass on, if any) or
    // "Connecting to …".
    QString statusText() const;

    // How long a silent turn waits before "Processing..." is shown.
    void setProcessingMessageDelay(std::chrono::milliseconds delay) { m_processingTimer.setInterval(delay); }

    // The pane was shown, or the banner's Retry.
    void startSession();
    // The pane went away.
    void stopSession();
    // New Chat.
    void resetChat();
    void switchProvider(ChatProvider provider);
    // Sends the trimmed draft; the draft is cleared only once the prompt went out.
    void sendDraft();
    // Stop: the running turn is interrupted and ends on screen; what its tool still prints is
    // dropped. Sending stays off, and the status says "Stopping…", until the tool has exited
    // (the service ends a tool that ignores the interrupt).
    void interrupt();

    // "Read notes.md" for a call of Read with a "file_path" of /a/b/notes.md.
    static QString toolLabel(const QString& name, const QString& input);
    static QString toolInputSummary(const QString& input);

signals:
    // The transcript changed: one message added, changed or removed at an index, or all of them.
    void messageInserted(int index);
    void messageChanged(int index);
    void messageRemoved(int index);
    void messagesReset();
    void streamingUpdateTokenChanged();

    void isStreamingChanged();
    void isProcessReadyChanged();
    void lastErrorChanged();
    void errorDetailsChanged();
    void draftMessageChanged();
    void workingDirectoryURLChanged();
    void selectedProviderChanged();
    void currentSessionModeChanged();
    void canSendChanged();
    void statusTextChanged();

private:
    struct EnsureResult;

    // The start requested by the user (not an automatic fallback) and what happened since.
    struct StartChain {
        bool fallbackUsed = false;
        std::optional<QUuid> switchNotice; // the "Switched to" message this chain announced
    };

    // Runs `work` on a worker thread and `done` with its result back here, unless the start
    // generation moved on meanwhile.
    template <typename Result>
    void offThread(std::function<Result()> work, std::function<void(Result)> done);

    void startSession(bool automatic);
    void continueStart(quint64 startGeneration, const EnsureResult& result);
    void applyStartResult(const ChatSessionStartResult& result);
    void fallBack();
    void applyProvider(ChatProvider provider, bool persist);
    void abandonSession();
    void resetTurnState();
    std::optional<ChatProvider> storedProvider() const;

    void send(const QString& text);
    void handle(const ChatProviderEvent& event);
    void handleProcessExit(int status);
    void appendErrorDetails(const ChatProviderEvent::ErrorDetails& details);

    void appendMessage(ChatMessageModel message);
    void replaceMessage(int index, ChatMessageModel message);
    void removeMessage(int index);
    void clearMessages();
    void refresh();
    int indexOf(const QUuid& id) const;
    void appendSystemMessage(const QString& text, bool isParsingError);
    void appendThinkingMessage(const QString& text);
    void appendAssistantMessage(const QString& text);
    void appendToolUseMessage(const QString& id, const QString& name, const QString& input);
    void applyToolResult(const QString& toolUseID, const QString& content);
    void appendToolResultMessage(const QString& toolUseID, const QString& content, const QString& label);
    void closeThinkingMessage();
    void completePendingToolMessages();
    void removeProcessingMessage();
    void scheduleProcessingMessage();
    void showProcessingMessage();
    bool shouldShowProcessingMessage() const;

    void setIsStreaming(bool streaming);
    void setIsProcessReady(bool ready);
    void setLastError(const std::optional<QString>& error);
    void setErrorDetails(const std::optional<QString>& details);
    void setSelectedProvider(ChatProvider provider);
    void setCurrentSessionMode(const ChatSessionMode& mode);
    // Tells the views when the derived values moved.
    void refreshDerived();

    ChatViewModelServices m_services;
    AppLogger m_logger{QStringLiteral("ChatViewModel")};

    QList<ChatMessageModel> m_messages;
    bool m_isStreaming = false;
    bool m_isProcessReady = false;
    std::optional<QString> m_lastError;
    std::optional<QString> m_errorDetails;
    bool m_errorDetailsEndsAChunk = false; // the last details were a standard-error chunk
    QString m_draftMessage;
    QUuid m_streamingUpdateToken = QUuid::createUuid();
    std::optional<QUrl> m_workingDirectoryURL;
    ChatProvider m_selectedProvider = ChatProvider::codex;
    ChatSessionMode m_currentSessionMode;

    std::unique_ptr<ChatServiceProvider> m_chatService;
    std::optional<QUuid> m_activeAssistantMessageID;
    std::optional<QUuid> m_lastThinkingMessageID;
    std::optional<QUuid> m_processingMessageID;
    QTimer m_processingTimer;
    bool m_didInterrupt = false;
    bool m_turnCompleted = false;      // the running turn reported its end
    bool m_launchFailed = false;       // the last prompt's tool could not be started
    int m_pendingToolMessages = 0;     // tool messages with isPending
    int m_pendingThinkingMessages = 0; // thinking messages with isPending

    // Advanced by every start request: older results are dropped.
    quint64 m_startGeneration = 0;
    // Advanced whenever a session is left (stop, reset, switch, another service): events of an
    // older session are dropped.
    quint64 m_sessionGeneration = 0;
    StartChain m_chain;

    bool m_lastCanSend = false;
    QString m_lastStatusText;
};

} // namespace quillora::chat
