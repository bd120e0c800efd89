#include "chat/ChatEventJson.h"

#include <nlohmann/json.hpp>

namespace quillora::chat {

namespace {

using Json = nlohmann::ordered_json;

std::string utf8(const QString& text)
{
    return text.toStdString();
}

template <class... Cases>
struct Overloaded : Cases... {
    using Cases::operator()...;
};
template <class... Cases>
Overloaded(Cases...) -> Overloaded<Cases...>;

Json fields(const ChatProviderEvent& event)
{
    using E = ChatProviderEvent;
    return std::visit(
        Overloaded{
            [](const E::Thinking& e) { return Json{{"kind", "thinking"}, {"text", utf8(e.text)}}; },
            [](const E::AssistantMessage& e) { return Json{{"kind", "assistantMessage"}, {"text", utf8(e.text)}}; },
            [](const E::ToolUse& e) {
                return Json{{"kind", "toolUse"}, {"id", utf8(e.id)}, {"name", utf8(e.name)}, {"input", utf8(e.input)}};
            },
            [](const E::ToolResult& e) {
                return Json{{"kind", "toolResult"}, {"toolUseID", utf8(e.toolUseID)}, {"content", utf8(e.content)}};
            },
            [](const E::ServerToolUse& e) {
                return Json{{"kind", "serverToolUse"}, {"id", utf8(e.id)}, {"name", utf8(e.name)}, {"input", utf8(e.input)}};
            },
            [](const E::ThreadStarted& e) { return Json{{"kind", "threadStarted"}, {"sessionID", utf8(e.sessionID)}}; },
            [](const E::ErrorDetails& e) {
                Json json{{"kind", "errorDetails"}, {"text", utf8(e.text)}};
                if (e.standardError)
                    json["standardError"] = true;
                return json;
            },
            [](const E::UnparsedOutput& e) { return Json{{"kind", "unparsedOutput"}, {"text", utf8(e.text)}}; },
            [](const E::TurnCompleted&) { return Json{{"kind", "turnCompleted"}}; },
        },
        event.value);
}

} // namespace

QString eventKind(const ChatProviderEvent& event)
{
    return QString::fromStdString(fields(event)["kind"].get<std::string>());
}

QByteArray eventJson(const ChatProviderEvent& event)
{
    return QByteArray::fromStdString(fields(event).dump(-1, ' ', false, Json::error_handler_t::replace));
}

} // namespace quillora::chat
