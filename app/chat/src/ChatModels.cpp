#include "chat/ChatModels.h"

namespace quillora::chat {

QString rawValue(ChatProvider provider)
{
    return provider == ChatProvider::codex ? QStringLiteral("codex") : QStringLiteral("claude");
}

QString displayName(ChatProvider provider)
{
    return provider == ChatProvider::codex ? QStringLiteral("Codex") : QStringLiteral("Claude");
}

std::optional<ChatProvider> chatProviderFromRawValue(const QString& raw)
{
    for (const ChatProvider provider : allChatProviders)
        if (raw == rawValue(provider))
            return provider;
    return std::nullopt;
}

bool isSafeSessionID(const QString& sessionID)
{
    if (sessionID.isEmpty() || sessionID.size() > 256 || sessionID.startsWith(QLatin1Char('-')))
        return false;
    for (const uint codePoint : sessionID.toUcs4())
        if (!QChar::isPrint(char32_t(codePoint)) || QChar::category(char32_t(codePoint)) == QChar::Separator_Line
            || QChar::category(char32_t(codePoint)) == QChar::Separator_Paragraph)
            return false;
    return true;
}

ChatMessageModel ChatMessageModel::updatingToolResult(const QString& newContent) const
{
    ChatMessageModel updated;
    updated.id = id;
    updated.role = ChatMessageRole::tool;
    updated.content = newContent;
    updated.timestamp = timestamp;
    updated.toolInvocationID = toolInvocationID;
    updated.toolLabel = toolLabel;
    updated.toolHasResult = !newContent.trimmed().isEmpty();
    return updated;
}

} // namespace quillora::chat
