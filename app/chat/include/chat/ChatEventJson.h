#pragma once

#include "chat/ChatModels.h"

#include <QByteArray>

namespace quillora::chat {

// The name of the event's case: "thinking", "assistantMessage", "toolUse", and so on.
QString eventKind(const ChatProviderEvent& event);
// One compact JSON object: "kind" and the case's fields under their own names.
QByteArray eventJson(const ChatProviderEvent& event);

} // namespace quillora::chat
