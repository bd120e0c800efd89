#pragma once

#include "chat/CLIChatServiceCore.h"
#include "chat/ChatModels.h"
#include "chat/ExecutableResolverService.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace quillora::chat {

// A chat back end as the view model sees it. Used on the GUI thread; the sinks are called
// there, later, in order.
class ChatServiceProvider : public QObject {
    Q_OBJECT

public:
    using EventSink = CLIChatServiceCore::EventSink;
    using TerminationSink = CLIChatServiceCore::TerminationSink;
    using StartCompletion = CLIChatServiceCore::StartCompletion;

    using QObject::QObject;

    virtual bool isRunning() const = 0;
    virtual void start(EventSink onEvent, TerminationSink onTermination, StartCompletion completion) = 0;
    virtual ChatLaunchResult send(const QString& prompt, const std::optional<QString>& workingDirectory,
                                  const ChatSessionMode& mode) = 0;
    virtual void interrupt() = 0;
    virtual void stop() = 0;

signals:
    // `isRunning` changed: a turn's tool started, or its end was delivered, or it was stopped.
    void runningChanged(bool running);
};

// A service over one core; the two tools differ only in how their core is made.
class CLIChatService : public ChatServiceProvider {
    Q_OBJECT

public:
    bool isRunning() const override { return m_core.isRunning(); }
    void start(EventSink onEvent, TerminationSink onTermination, StartCompletion completion) override;
    ChatLaunchResult send(const QString& prompt, const std::optional<QString>& workingDirectory,
                          const ChatSessionMode& mode) override;
    void interrupt() override { m_core.interrupt(); }
    void stop() override { m_core.stop(); }

    const CLIChatServiceCore& core() const { return m_core; }

protected:
    CLIChatService(QString loggerCategory, QString providerDisplayName, ExecutableResolverService resolver,
                   std::shared_ptr<const ChatProviderAdapter> adapter, QObject* parent);

private:
    CLIChatServiceCore m_core;
};

class ClaudeChatService final : public CLIChatService {
    Q_OBJECT

public:
    explicit ClaudeChatService(ExecutableResolverService resolver = ExecutableResolverService::claude(),
                               QObject* parent = nullptr);
};

class CodexChatService final : public CLIChatService {
    Q_OBJECT

public:
    explicit CodexChatService(ExecutableResolverService resolver = ExecutableResolverService::codex(),
                              QObject* parent = nullptr);
};

// Whether a provider's tool is installed here (may block).
using ChatToolInstalled = std::function<bool(ChatProvider)>;
// The preferred provider when its tool is installed, else the first provider whose tool is.
std::optional<ChatProvider> resolveProvider(std::optional<ChatProvider> preferred, const ChatToolInstalled& installed);
// The first other provider whose tool is installed.
std::optional<ChatProvider> fallbackProvider(ChatProvider failed, const ChatToolInstalled& installed);

// Decides which provider can be used here. Each answer waits for the resolvers (each bounded by
// its time-out), so call it off the GUI thread.
struct ChatProviderResolverService {
    CodexExecutableResolverService codexResolver;
    ClaudeExecutableResolverService claudeResolver;

    const ExecutableResolverService& resolver(ChatProvider provider) const;
    // Whether the provider's executable is found.
    bool isInstalled(ChatProvider provider) const;
    std::optional<ChatProvider> resolveProvider(std::optional<ChatProvider> preferred) const;
    std::optional<ChatProvider> fallbackProvider(ChatProvider failed) const;
};

// Makes a new service for a provider, over the provider's resolver.
struct ChatServiceFactory {
    ChatProviderResolverService resolvers;

    std::unique_ptr<ChatServiceProvider> makeService(ChatProvider provider) const;
};

} // namespace quillora::chat
