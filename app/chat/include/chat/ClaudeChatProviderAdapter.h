#pragma once

#include "chat/ChatModels.h"

namespace quillora::chat {

// The `claude` tool: its command line, and its "stream-json" output.
class ClaudeChatProviderAdapter final : public ChatProviderAdapter {
public:
    QStringList arguments(const ChatSessionMode& mode, const std::optional<QString>& workingDirectory) const override;
    QList<ChatProviderEvent> parseLine(std::string_view line) const override;
};

} // namespace quillora::chat
