#pragma once

#include "chat/ChatModels.h"

namespace quillora::chat {

// The `codex` tool: its command line, and its "--json" output. The working directory is not
// passed on the command line: the tool runs in it.
class CodexChatProviderAdapter final : public ChatProviderAdapter {
public:
    QStringList arguments(const ChatSessionMode& mode, const std::optional<QString>& workingDirectory) const override;
    QList<ChatProviderEvent> parseLine(std::string_view line) const override;
};

} // namespace quillora::chat
