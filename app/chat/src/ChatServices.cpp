#include "chat/ChatServices.h"

#include "chat/ClaudeChatProviderAdapter.h"
#include "chat/CodexChatProviderAdapter.h"

namespace quillora::chat {

CLIChatService::CLIChatService(QString loggerCategory, QString providerDisplayName, ExecutableResolverService resolver,
                               std::shared_ptr<const ChatProviderAdapter> adapter, QObject* parent)
    : ChatServiceProvider(parent)
    , m_core(
          std::move(loggerCategory), std::move(providerDisplayName),
          [resolver = std::move(resolver)](QObject* context, std::function<void(std::optional<QString>)> done) {
              resolver.resolveAsync(context, std::move(done));
          },
          std::move(adapter))
{
    connect(&m_core, &CLIChatServiceCore::runningChanged, this, &ChatServiceProvider::runningChanged);
}

void CLIChatService::start(EventSink onEvent, TerminationSink onTermination, StartCompletion completion)
{
    m_core.start(std::move(onEvent), std::move(onTermination), std::move(completion));
}

ChatLaunchResult CLIChatService::send(const QString& prompt, const std::optional<QString>& workingDirectory,
                                      const ChatSessionMode& mode)
{
    return m_core.launchProcess(prompt, workingDirectory, mode);
}

ClaudeChatService::ClaudeChatService(ExecutableResolverService resolver, QObject* parent)
    : CLIChatService(QStringLiteral("ClaudeChatService"), displayName(ChatProvider::claude), std::move(resolver),
                     std::make_shared<ClaudeChatProviderAdapter>(), parent)
{
}

CodexChatService::CodexChatService(ExecutableResolverService resolver, QObject* parent)
    : CLIChatService(QStringLiteral("CodexChatService"), displayName(ChatProvider::codex), std::move(resolver),
                     std::make_shared<CodexChatProviderAdapter>(), parent)
{
}

const ExecutableResolverService& ChatProviderResolverService::resolver(ChatProvider provider) const
{
    return provider == ChatProvider::codex ? codexResolver.resolver : claudeResolver.resolver;
}

std::optional<ChatProvider> resolveProvider(std::optional<ChatProvider> preferred, const ChatToolInstalled& installed)
{
    if (preferred && installed(*preferred))
        return preferred;
    for (const ChatProvider provider : allChatProviders)
        if (provider != preferred && installed(provider))
            return provider;
    return std::nullopt;
}

std::optional<ChatProvider> fallbackProvider(ChatProvider failed, const ChatToolInstalled& installed)
{
    for (const ChatProvider provider : allChatProviders)
        if (provider != failed && installed(provider))
            return provider;
    return std::nullopt;
}

bool ChatProviderResolverService::isInstalled(ChatProvider provider) const
{
    return resolver(provider).resolveBlocking().has_value();
}

std::optional<ChatProvider> ChatProviderResolverService::resolveProvider(std::optional<ChatProvider> preferred) const
{
    return chat::resolveProvider(preferred, [this](ChatProvider provider) { return isInstalled(provider); });
}

std::optional<ChatProvider> ChatProviderResolverService::fallbackProvider(ChatProvider failed) const
{
    return chat::fallbackProvider(failed, [this](ChatProvider provider) { return isInstalled(provider); });
}

std::unique_ptr<ChatServiceProvider> ChatServiceFactory::makeService(ChatProvider provider) const
{
    if (provider == ChatProvider::claude)
        return std::make_unique<ClaudeChatService>(resolvers.claudeResolver.resolver);
    return std::make_unique<CodexChatService>(resolvers.codexResolver.resolver);
}

} // namespace quillora::chat
