#include "chat/ChatViewModel.h"

#include "JsonSupport.h"

#include <core/DefaultsKeys.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QFuture>
#include <QPromise>
#include <QRegularExpression>
#include <QThreadPool>

namespace quillora::chat {

namespace {

const QString providerKey = QString::fromLatin1(defaults_keys::chatProvider);

// Empty once white space and line breaks are trimmed off both ends.
bool isBlank(const QString& text)
{
    for (const QChar c : text)
        if (!c.isSpace())
            return false;
    return true;
}

ChatMessageModel makeMessage(ChatMessageRole role, QString content)
{
    ChatMessageModel message;
    message.id = QUuid::createUuid();
    message.role = role;
    message.content = std::move(content);
    message.timestamp = QDateTime::currentDateTime();
    return message;
}

// The call itself, finished: the input kept, every flag off.
ChatMessageModel finishedToolCall(const ChatMessageModel& call, bool hasResult)
{
    ChatMessageModel done = call;
    done.isThinking = done.isPending = done.isParsingError = done.isProcessing = false;
    done.toolHasResult = hasResult;
    return done;
}

// The last component of a path, as a file URL made of it names it ("src/" gives "src").
QString lastPathComponent(const QString& path)
{
    qsizetype end = path.size();
    while (end > 1 && path.at(end - 1) == QLatin1Char('/'))
        --end;
    const QString trimmed = path.left(end);
    if (trimmed == QLatin1String("/"))
        return trimmed;
    return trimmed.mid(trimmed.lastIndexOf(QLatin1Char('/')) + 1);
}

QString notFoundText(ChatProvider provider)
{
    return displayName(provider) + QStringLiteral(" CLI not found. Install it and ensure it's on your PATH.");
}

QString failedToLaunchText(ChatProvider provider)
{
    return QStringLiteral("Failed to launch ") + displayName(provider) + QLatin1Char('.');
}

} // namespace

// What a start learned off the GUI thread: whether the current service's tool is still there,
// or else which provider to use.
struct ChatViewModel::EnsureResult {
    bool currentFound = false;
    std::optional<ChatProvider> found;
};

ChatViewModelServices ChatViewModelServices::standard(std::shared_ptr<platform::UserDefaults> defaults,
                                                      ChatProviderResolverService resolvers)
{
    ChatViewModelServices services;
    services.defaults = std::move(defaults);
    services.isInstalled = [resolvers](ChatProvider provider) { return resolvers.isInstalled(provider); };
    services.makeService = [factory = ChatServiceFactory{std::move(resolvers)}](ChatProvider provider) {
        return factory.makeService(provider);
    };
    return services;
}

ChatViewModel::ChatViewModel(ChatViewModelServices services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
{
    // Which tool is installed is found out when a session starts, off this thread; until then
    // the stored choice is shown.
    m_selectedProvider = storedProvider().value_or(ChatProvider::codex);
    m_processingTimer.setSingleShot(true);
    m_processingTimer.setInterval(std::chrono::milliseconds(250));
    connect(&m_processingTimer, &QTimer::timeout, this, &ChatViewModel::showProcessingMessage);
    if (auto* application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this, [this] {
            if (m_chatService)
                m_chatService->stop();
        });
    m_lastCanSend = canSend();
    m_lastStatusText = statusText();
}

ChatViewModel::~ChatViewModel()
{
    if (m_chatService)
        m_chatService->stop();
}

std::optional<ChatProvider> ChatViewModel::storedProvider() const
{
    const std::optional<QString> stored = m_services.defaults->string(providerKey);
    return stored ? chatProviderFromRawValue(*stored) : std::nullopt;
}

template <typename Result>
void ChatViewModel::offThread(std::function<Result()> work, std::function<void(Result)> done)
{
    auto promise = std::make_shared<QPromise<Result>>();
    QFuture<Result> future = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([promise, work = std::move(work)] {
        promise->addResult(work());
        promise->finish();
    });
    // A continuation of a future that is done already runs inside `then`: go round the event
    // loop, so that the caller finishes first.
    future.then(this, [this, generation = m_startGeneration, done = std::move(done)](Result result) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, done, result = std::move(result)] {
                if (generation == m_startGeneration)
                    done(result);
            },
            Qt::QueuedConnection);
    });
}

// Session lifecycle ---------------------------------------------------------------------------

void ChatViewModel::startSession()
{
    startSession(false);
}

void ChatViewModel::startSession(bool automatic)
{
    ++m_startGeneration;
    if (!automatic)
        m_chain = {};
    const ChatProvider provider = m_selectedProvider;
    const bool hasService = m_chatService != nullptr;
    const ChatProvider preferred = storedProvider().value_or(provider);
    offThread<EnsureResult>(
        [installed = m_services.isInstalled, provider, hasService, preferred] {
            if (hasService && installed(provider))
                return EnsureResult{true, provider};
            return EnsureResult{false, resolveProvider(preferred, installed)};
        },
        [this, generation = m_startGeneration](EnsureResult result) { continueStart(generation, result); });
}

void ChatViewModel::continueStart(quint64 startGeneration, const EnsureResult& result)
{
    if (!result.currentFound) {
        if (m_chatService) {
            m_chatService->stop();
            m_chatService.reset();
            ++m_sessionGeneration;
        }
        if (!result.found) {
            setIsProcessReady(false);
            setLastError(QStringLiteral("No supported CLI found. Install Codex or Claude and ensure one is available."));
            setErrorDetails(std::nullopt);
            return;
        }
        applyProvider(*result.found, true);
    }
    if (m_chatService->isRunning())
        return;
    setLastError(std::nullopt);
    setErrorDetails(std::nullopt);
    setIsProcessReady(false);
    const quint64 session = m_sessionGeneration;
    m_chatService->start(
        [this, session](const ChatProviderEvent& event) {
            if (session == m_sessionGeneration)
                handle(event);
        },
        [this, session](int status) {
            if (session == m_sessionGeneration)
                handleProcessExit(status);
        },
        [this, startGeneration](ChatSessionStartResult startResult) {
            if (startGeneration == m_startGeneration)
                applyStartResult(startResult);
        });
}

void ChatViewModel::applyStartResult(const ChatSessionStartResult& result)
{
    const QString name = displayName(m_selectedProvider);
    switch (result.kind) {
    case ChatSessionStartResult::Kind::started:
        m_logger.info(QStringLiteral("Session started successfully for ") + name);
        setIsProcessReady(true);
        break;
    case ChatSessionStartResult::Kind::alreadyRunning:
        setIsProcessReady(true);
        break;
    case ChatSessionStartResult::Kind::executableNotFound:
        m_logger.warning(name + QStringLiteral(" executable not found"));
        fallBack();
        break;
    case ChatSessionStartResult::Kind::unavailable:
        m_logger.error(QStringLiteral("Session launch failed: ") + failedToLaunchText(m_selectedProvider));
        setLastError(failedToLaunchText(m_selectedProvider));
        break;
    case ChatSessionStartResult::Kind::failed:
        m_logger.error(QStringLiteral("Session launch failed: ") + result.message);
        setLastError(result.message);
        break;
    }
}

// One automatic move to the other provider per start the user asked for: two tools that each
// fail to start must not hand the session back and forth.
void ChatViewModel::fallBack()
{
    if (m_chain.fallbackUsed) {
        setLastError(notFoundText(m_selectedProvider));
        return;
    }
    m_chain.fallbackUsed = true;
    offThread<std::optional<ChatProvider>>(
        [installed = m_services.isInstalled, failed = m_selectedProvider] { return fallbackProvider(failed, installed); },
        [this](std::optional<ChatProvider> provider) {
            if (!provider) {
                setLastError(notFoundText(m_selectedProvider));
                return;
            }
            m_logger.info(QStringLiteral("Falling back to ") + displayName(*provider));
            applyProvider(*provider, true);
            startSession(true);
        });
}

void ChatViewModel::applyProvider(ChatProvider provider, bool persist)
{
    // A session identifier belongs to the tool that gave it.
    if (provider != m_selectedProvider)
        setCurrentSessionMode(ChatSessionMode::newSession());
    setSelectedProvider(provider);
    m_chatService = m_services.makeService(provider);
    ++m_sessionGeneration;
    connect(m_chatService.get(), &ChatServiceProvider::runningChanged, this, &ChatViewModel::refreshDerived);
    if (persist)
        m_services.defaults->setString(providerKey, rawValue(provider));
    // The notice of a switch names the provider that is actually used.
    if (m_chain.switchNotice) {
        const int index = indexOf(*m_chain.switchNotice);
        const QString text = QStringLiteral("Switched to ") + displayName(provider);
        if (index >= 0 && m_messages.at(index).content != text) {
            ChatMessageModel notice = m_messages.at(index);
            notice.content = text;
            replaceMessage(index, std::move(notice));
        }
    }
    refreshDerived();
}

// Whatever the service still delivers for the session left behind, and the outcome of any
// start still under way, are dropped from here on.
void ChatViewModel::abandonSession()
{
    ++m_startGeneration;
    ++m_sessionGeneration;
    m_chain = {};
}

void ChatViewModel::stopSession()
{
    m_logger.info(QStringLiteral("Stopping session"));
    abandonSession();
    if (m_chatService)
        m_chatService->stop();
    setIsProcessReady(false);
    resetTurnState();
    setCurrentSessionMode(ChatSessionMode::newSession());
}

void ChatViewModel::resetChat()
{
    m_logger.info(QStringLiteral("Resetting chat \u2014 starting new session"));
    abandonSession();
    clearMessages();
    resetTurnState();
    if (m_chatService)
        m_chatService->stop();
    setCurrentSessionMode(ChatSessionMode::newSession());
    startSession();
    appendSystemMessage(QStringLiteral("New Chat"), false);
}

void ChatViewModel::switchProvider(ChatProvider provider)
{
    if (provider == m_selectedProvider && m_chatService)
        return;
    m_logger.info(QStringLiteral("Switching provider to ") + displayName(provider));
    abandonSession();
    if (m_chatService)
        m_chatService->stop();
    applyProvider(provider, true);
    clearMessages();
    resetTurnState();
    setIsProcessReady(false);
    setCurrentSessionMode(ChatSessionMode::newSession());
    setLastError(std::nullopt);
    setErrorDetails(std::nullopt);
    startSession();
    appendSystemMessage(QStringLiteral("Switched to ") + displayName(provider), false);
    m_chain.switchNotice = m_messages.last().id;
}

// A turn left behind ends on screen too: no spinner or pulse keeps running for it.
void ChatViewModel::resetTurnState()
{
    removeProcessingMessage();
    completePendingToolMessages();
    closeThinkingMessage();
    setIsStreaming(false);
    m_activeAssistantMessageID.reset();
    m_didInterrupt = false;
    m_launchFailed = false;
}

// Turns -----------------------------------------------------------------------------------------

void ChatViewModel::sendDraft()
{
    const QString text = m_draftMessage.trimmed();
    if (text.isEmpty())
        return;
    send(text);
}

void ChatViewModel::send(const QString& text)
{
    if (!m_chatService) {
        setLastError(QStringLiteral("The chat session is not ready. Press Retry to start it."));
        return;
    }
    removeProcessingMessage();
    setLastError(std::nullopt);
    setErrorDetails(std::nullopt);
    const std::optional<QString> folder = m_workingDirectoryURL ? std::optional(m_workingDirectoryURL->toLocalFile())
                                                                : std::nullopt;
    switch (m_chatService->send(text + QLatin1Char('\n'), folder, m_currentSessionMode)) {
    case ChatLaunchResult::launched:
        break;
    case ChatLaunchResult::notStarted:
        setLastError(QStringLiteral("The chat session is not ready. Press Retry to start it."));
        return;
    case ChatLaunchResult::busy:
        setLastError(QStringLiteral("The previous reply is still ending. Send again once it has stopped."));
        return;
    case ChatLaunchResult::failed:
        // The reason arrives as error details, then the turn's end.
        m_launchFailed = true;
        setLastError(failedToLaunchText(m_selectedProvider));
        return;
    }
    setDraftMessage(QString());
    m_didInterrupt = false;
    m_turnCompleted = false;
    closeThinkingMessage();
    appendMessage(makeMessage(ChatMessageRole::user, text));
    m_activeAssistantMessageID.reset();
    setIsStreaming(true);
    refresh();
    scheduleProcessingMessage();
}

void ChatViewModel::interrupt()
{
    m_didInterrupt = true;
    if (m_chatService)
        m_chatService->interrupt();
    setIsStreaming(false);
    m_activeAssistantMessageID.reset();
    removeProcessingMessage();
    completePendingToolMessages();
    closeThinkingMessage();
    refreshDerived();
}

bool ChatViewModel::isStopping() const
{
    return m_didInterrupt && m_chatService && m_chatService->isRunning();
}

void ChatViewModel::handle(const ChatProviderEvent& event)
{
    using E = ChatProviderEvent;
    // After Stop the turn has ended on screen: what the tool still prints until it exits is
    // not shown (its session and its error output are still taken).
    if (m_didInterrupt && !event.as<E::ThreadStarted>() && !event.as<E::ErrorDetails>())
        return;
    std::visit(
        [this](const auto& e) {
            using T = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<T, E::Thinking>) {
                removeProcessingMessage();
                m_activeAssistantMessageID.reset();
                appendThinkingMessage(e.text);
            } else if constexpr (std::is_same_v<T, E::AssistantMessage>) {
                removeProcessingMessage();
                completePendingToolMessages();
                closeThinkingMessage();
                appendAssistantMessage(e.text);
            } else if constexpr (std::is_same_v<T, E::ToolUse> || std::is_same_v<T, E::ServerToolUse>) {
                removeProcessingMessage();
                closeThinkingMessage();
                m_activeAssistantMessageID.reset();
                appendToolUseMessage(e.id, e.name, e.input);
            } else if constexpr (std::is_same_v<T, E::ToolResult>) {
                removeProcessingMessage();
                closeThinkingMessage();
                m_activeAssistantMessageID.reset();
                applyToolResult(e.toolUseID, e.content);
            } else if constexpr (std::is_same_v<T, E::ThreadStarted>) {
                m_logger.info(QStringLiteral("Thread started with session ID: ") + e.sessionID);
                setCurrentSessionMode(ChatSessionMode::resume(e.sessionID));
            } else if constexpr (std::is_same_v<T, E::ErrorDetails>) {
                appendErrorDetails(e);
            } else if constexpr (std::is_same_v<T, E::UnparsedOutput>) {
                removeProcessingMessage();
                appendSystemMessage(e.text, true);
            } else if constexpr (std::is_same_v<T, E::TurnCompleted>) {
                removeProcessingMessage();
                completePendingToolMessages();
                closeThinkingMessage();
                m_turnCompleted = true;
                setIsStreaming(false);
                m_activeAssistantMessageID.reset();
                refresh();
                return;
            }
            scheduleProcessingMessage();
        },
        event.value);
}

// Whole messages (error events, a launch failure) stand on lines of their own; chunks of
// standard error run on as they were read. Only the newest `maxErrorDetails` characters are
// kept, from the start of a line.
void ChatViewModel::appendErrorDetails(const ChatProviderEvent::ErrorDetails& details)
{
    if (details.text.isEmpty())
        return;
    QString text = m_errorDetails.value_or(QString());
    const bool continuesChunk = details.standardError && m_errorDetailsEndsAChunk;
    if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n')) && !continuesChunk)
        text += QLatin1Char('\n');
    text += details.text;
    m_errorDetailsEndsAChunk = details.standardError;
    if (text.size() > maxErrorDetails) {
        qsizetype cut = text.size() - maxErrorDetails;
        const qsizetype lineEnd = text.at(cut - 1) == QLatin1Char('\n') ? cut - 1 : text.indexOf(QLatin1Char('\n'), cut);
        if (lineEnd >= 0 && lineEnd + 1 < text.size())
            cut = lineEnd + 1;
        else if (text.at(cut).isLowSurrogate())
            ++cut;
        text.remove(0, cut);
    }
    setErrorDetails(text);
}

void ChatViewModel::handleProcessExit(int status)
{
    removeProcessingMessage();
    completePendingToolMessages();
    closeThinkingMessage();
    setIsStreaming(false);
    m_activeAssistantMessageID.reset();
    if (std::exchange(m_launchFailed, false))
        return;
    if (std::exchange(m_didInterrupt, false))
        return;
    if (status == 0)
        return;
    if (m_currentSessionMode.isResume())
        setCurrentSessionMode(ChatSessionMode::newSession());
    const QString name = displayName(m_selectedProvider);
    // A tool that finished its answer and then exits with a failure status (claude does after
    // "Not logged in") has said what went wrong in the answer itself.
    if (m_turnCompleted) {
        m_logger.warning(name + QStringLiteral(" exited with status ") + QString::number(status)
                         + QStringLiteral(" after finishing its turn"));
        return;
    }
    const QString message = name + QStringLiteral(" exited unexpectedly.");
    m_logger.error(message + QStringLiteral(" (exit code: ") + QString::number(status) + QLatin1Char(')'));
    setLastError(message);
}

// Transcript --------------------------------------------------------------------------------------

void ChatViewModel::appendMessage(ChatMessageModel message)
{
    m_pendingToolMessages += message.role == ChatMessageRole::tool && message.isPending;
    m_pendingThinkingMessages += message.isThinking && message.isPending;
    m_messages.append(std::move(message));
    emit messageInserted(int(m_messages.size() - 1));
    refresh();
}

void ChatViewModel::replaceMessage(int index, ChatMessageModel message)
{
    const ChatMessageModel& old = m_messages.at(index);
    m_pendingToolMessages += int(message.role == ChatMessageRole::tool && message.isPending)
        - int(old.role == ChatMessageRole::tool && old.isPending);
    m_pendingThinkingMessages += int(message.isThinking && message.isPending) - int(old.isThinking && old.isPending);
    m_messages[index] = std::move(message);
    emit messageChanged(index);
    refresh();
}

void ChatViewModel::removeMessage(int index)
{
    const ChatMessageModel& old = m_messages.at(index);
    m_pendingToolMessages -= old.role == ChatMessageRole::tool && old.isPending;
    m_pendingThinkingMessages -= old.isThinking && old.isPending;
    m_messages.removeAt(index);
    emit messageRemoved(index);
    refresh();
}

void ChatViewModel::clearMessages()
{
    m_messages.clear();
    m_pendingToolMessages = m_pendingThinkingMessages = 0;
    m_processingMessageID.reset();
    m_lastThinkingMessageID.reset();
    emit messagesReset();
    refresh();
}

void ChatViewModel::refresh()
{
    m_streamingUpdateToken = QUuid::createUuid();
    emit streamingUpdateTokenChanged();
}

// From the end, where the message looked for usually is.
int ChatViewModel::indexOf(const QUuid& id) const
{
    for (qsizetype i = m_messages.size() - 1; i >= 0; --i)
        if (m_messages.at(i).id == id)
            return int(i);
    return -1;
}

void ChatViewModel::appendSystemMessage(const QString& text, bool isParsingError)
{
    ChatMessageModel message = makeMessage(ChatMessageRole::system, text);
    message.isParsingError = isParsingError;
    appendMessage(std::move(message));
}

void ChatViewModel::appendThinkingMessage(const QString& text)
{
    closeThinkingMessage();
    ChatMessageModel message = makeMessage(ChatMessageRole::system, text);
    message.isThinking = true;
    message.isPending = true;
    m_lastThinkingMessageID = message.id;
    appendMessage(std::move(message));
}

void ChatViewModel::appendAssistantMessage(const QString& text)
{
    if (text.isEmpty())
        return;
    ChatMessageModel message = makeMessage(ChatMessageRole::assistant, text);
    m_activeAssistantMessageID = message.id;
    appendMessage(std::move(message));
}

void ChatViewModel::appendToolUseMessage(const QString& id, const QString& name, const QString& input)
{
    ChatMessageModel message = makeMessage(ChatMessageRole::tool, input);
    message.isPending = true;
    message.toolInvocationID = id;
    message.toolLabel = toolLabel(name, input);
    appendMessage(std::move(message));
}

void ChatViewModel::applyToolResult(const QString& toolUseID, const QString& content)
{
    const QString fallbackLabel = QStringLiteral("Tool result");
    if (m_messages.isEmpty()) {
        appendToolResultMessage(toolUseID, content, fallbackLabel);
        return;
    }
    int match = -1;
    for (qsizetype i = m_messages.size() - 1; i >= 0 && match < 0; --i) {
        const ChatMessageModel& message = m_messages.at(i);
        if (message.role == ChatMessageRole::tool && message.toolInvocationID == toolUseID)
            match = int(i);
    }
    const QString label = match >= 0 && m_messages.at(match).toolLabel ? *m_messages.at(match).toolLabel : fallbackLabel;
    const ChatMessageModel& last = m_messages.last();
    if (last.role == ChatMessageRole::tool && last.isPending && last.toolInvocationID == toolUseID) {
        replaceMessage(int(m_messages.size() - 1), last.updatingToolResult(content));
        return;
    }
    if (match >= 0 && m_messages.at(match).isPending)
        replaceMessage(match, finishedToolCall(m_messages.at(match), true));
    appendToolResultMessage(toolUseID, content, label + QStringLiteral(" (Result)"));
}

void ChatViewModel::appendToolResultMessage(const QString& toolUseID, const QString& content, const QString& label)
{
    ChatMessageModel message = makeMessage(ChatMessageRole::tool, content);
    message.toolInvocationID = toolUseID;
    message.toolLabel = label;
    message.toolHasResult = !isBlank(content);
    appendMessage(std::move(message));
}

void ChatViewModel::closeThinkingMessage()
{
    if (const std::optional<QUuid> id = std::exchange(m_lastThinkingMessageID, std::nullopt)) {
        const int index = indexOf(*id);
        if (index >= 0 && m_messages.at(index).isPending) {
            ChatMessageModel closed = m_messages.at(index);
            closed.isPending = false;
            replaceMessage(index, std::move(closed));
        }
    }
}

void ChatViewModel::completePendingToolMessages()
{
    // Pending calls are counted, and they stand near the end.
    for (qsizetype i = m_messages.size() - 1; i >= 0 && m_pendingToolMessages > 0; --i) {
        const ChatMessageModel& message = m_messages.at(i);
        if (message.role == ChatMessageRole::tool && message.isPending)
            replaceMessage(int(i), finishedToolCall(message, false));
    }
}

void ChatViewModel::removeProcessingMessage()
{
    m_processingTimer.stop();
    if (const std::optional<QUuid> id = std::exchange(m_processingMessageID, std::nullopt)) {
        const int index = indexOf(*id);
        if (index >= 0)
            removeMessage(index);
    }
}

bool ChatViewModel::shouldShowProcessingMessage() const
{
    return m_isStreaming && !m_processingMessageID
        && (m_messages.isEmpty() || m_messages.last().role != ChatMessageRole::assistant)
        && m_pendingThinkingMessages == 0 && m_pendingToolMessages == 0;
}

void ChatViewModel::scheduleProcessingMessage()
{
    m_processingTimer.stop();
    if (shouldShowProcessingMessage())
        m_processingTimer.start();
}

void ChatViewModel::showProcessingMessage()
{
    if (!shouldShowProcessingMessage())
        return;
    ChatMessageModel message = makeMessage(ChatMessageRole::system, QStringLiteral("Processing..."));
    message.isProcessing = true;
    m_processingMessageID = message.id;
    appendMessage(std::move(message));
}

QString ChatViewModel::toolLabel(const QString& name, const QString& input)
{
    const QString trimmedName = name.trimmed();
    const QString summary = toolInputSummary(input);
    return summary.isEmpty() ? trimmedName : trimmedName + QLatin1Char(' ') + summary;
}

QString ChatViewModel::toolInputSummary(const QString& input)
{
    const QString trimmed = input.trimmed();
    if (trimmed.isEmpty())
        return {};
    const QByteArray utf8 = trimmed.toUtf8();
    if (const auto object = json_support::parseObject(std::string_view(utf8.constData(), std::size_t(utf8.size())));
        object && !object->empty()) {
        for (const char* key : {"file_path", "path"})
            if (const auto path = json_support::textMember(*object, key))
                return lastPathComponent(*path);
        if (const auto text = json_support::firstTextMember(*object, {"query", "command", "pattern", "url"}))
            return *text;
    }
    static const QRegularExpression lineBreaks(QStringLiteral("\r\n|[\n\v\f\r\u0085\u2028\u2029]"));
    for (const QString& piece : trimmed.split(lineBreaks, Qt::SkipEmptyParts))
        return piece;
    return {};
}

// Properties -----------------------------------------------------------------------------------------

bool ChatViewModel::canSend() const
{
    return m_isProcessReady && !m_isStreaming && !(m_chatService && m_chatService->isRunning()) && !isBlank(m_draftMessage);
}

QString ChatViewModel::statusText() const
{
    if (m_lastError)
        return *m_lastError;
    if (isStopping())
        return QStringLiteral("Stopping\u2026");
    if (m_isProcessReady) {
        // An identifier that could not be passed on is not the session's.
        if (m_currentSessionMode.resumeSessionID && isSafeSessionID(*m_currentSessionMode.resumeSessionID))
            return QStringLiteral("Ready \u2022 SessionId: ") + *m_currentSessionMode.resumeSessionID;
        return QStringLiteral("Ready");
    }
    return QStringLiteral("Connecting to ") + displayName(m_selectedProvider) + QStringLiteral("...");
}

void ChatViewModel::refreshDerived()
{
    const bool send = canSend();
    if (send != m_lastCanSend) {
        m_lastCanSend = send;
        emit canSendChanged();
    }
    QString status = statusText();
    if (status != m_lastStatusText) {
        m_lastStatusText = std::move(status);
        emit statusTextChanged();
    }
}

void ChatViewModel::setDraftMessage(const QString& text)
{
    if (text == m_draftMessage)
        return;
    m_draftMessage = text;
    emit draftMessageChanged();
    refreshDerived();
}

void ChatViewModel::setWorkingDirectoryURL(const std::optional<QUrl>& url)
{
    if (url == m_workingDirectoryURL)
        return;
    m_workingDirectoryURL = url;
    emit workingDirectoryURLChanged();
}

void ChatViewModel::setIsStreaming(bool streaming)
{
    if (streaming == m_isStreaming)
        return;
    m_isStreaming = streaming;
    emit isStreamingChanged();
    refreshDerived();
}

void ChatViewModel::setIsProcessReady(bool ready)
{
    if (ready == m_isProcessReady)
        return;
    m_isProcessReady = ready;
    emit isProcessReadyChanged();
    refreshDerived();
}

void ChatViewModel::setLastError(const std::optional<QString>& error)
{
    if (error == m_lastError)
        return;
    m_lastError = error;
    emit lastErrorChanged();
    refreshDerived();
}

void ChatViewModel::setErrorDetails(const std::optional<QString>& details)
{
    if (!details)
        m_errorDetailsEndsAChunk = false;
    if (details == m_errorDetails)
        return;
    m_errorDetails = details;
    emit errorDetailsChanged();
}

void ChatViewModel::setSelectedProvider(ChatProvider provider)
{
    if (provider == m_selectedProvider)
        return;
    m_selectedProvider = provider;
    emit selectedProviderChanged();
    refreshDerived();
}

void ChatViewModel::setCurrentSessionMode(const ChatSessionMode& mode)
{
    if (mode.resumeSessionID == m_currentSessionMode.resumeSessionID)
        return;
    m_currentSessionMode = mode;
    emit currentSessionModeChanged();
    refreshDerived();
}

} // namespace quillora::chat
