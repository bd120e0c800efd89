#include "chat/CodexChatProviderAdapter.h"

#include "JsonSupport.h"

namespace quillora::chat {

using namespace json_support;
using Event = ChatProviderEvent;

namespace {

// The "text" texts of the array's element objects, whatever their type, joined by line feeds.
std::optional<QString> elementTexts(const Json* array)
{
    if (!array || !array->is_array())
        return std::nullopt;
    QStringList texts;
    for (const Json& element : *array)
        if (auto text = textMember(element, "text"))
            texts.append(*text);
    if (texts.isEmpty())
        return std::nullopt;
    return joinLines(texts);
}

QString valueText(const Json& value)
{
    if (value.is_string()) {
        const QString trimmed = describe(value).trimmed();
        if (!trimmed.isEmpty())
            return trimmed;
    }
    if (auto texts = elementTexts(&value))
        return *texts;
    if (value.is_array() || value.is_object())
        return prettyJson(value);
    return describe(value);
}

// The listed members that are present, unchanged, as one object made into text.
std::optional<QString> pickedMembers(const Json& item, std::initializer_list<const char*> keys)
{
    Json picked = Json::object();
    for (const char* key : keys)
        if (const Json* value = member(item, key))
            picked[key] = *value;
    if (picked.empty())
        return std::nullopt;
    return valueText(picked);
}

QString toolLabel(const Json& item, const QString& type)
{
    if (auto name = firstTextMember(item, {"name", "tool_name", "title"}))
        return *name;
    QString label = type;
    if (label.endsWith(QLatin1String("_call")))
        label.chop(5);
    return label.replace(QLatin1Char('_'), QLatin1Char(' '));
}

QString toolInput(const Json& item)
{
    for (const char* key : {"input", "arguments"})
        if (const Json* value = member(item, key))
            return valueText(*value);
    return pickedMembers(item, {"command", "patch", "query", "url", "path"}).value_or(QString());
}

QString toolOutput(const Json& item)
{
    if (auto text = textMember(item, "aggregated_output"))
        return *text;
    for (const char* key : {"output", "content", "result", "text"})
        if (const Json* value = member(item, key))
            return valueText(*value);
    return pickedMembers(item, {"status", "stderr", "stdout", "exit_code", "message"}).value_or(QString());
}

QList<Event> toolItemEvents(const Json& item)
{
    const std::optional<QString> type = textMember(item, "type");
    if (!type)
        return {};
    if (type->endsWith(QLatin1String("_call"))) {
        const auto id = firstTextMember(item, {"call_id", "id", "tool_call_id", "tool_use_id"});
        if (!id)
            return {};
        return {Event::ToolUse{*id, toolLabel(item, *type), toolInput(item)}};
    }
    if (*type == QLatin1String("command_execution")) {
        const auto id = textMember(item, "id");
        if (!id)
            return {};
        return {Event::ToolResult{*id, toolOutput(item)}};
    }
    if (type->endsWith(QLatin1String("_call_output")) || *type == QLatin1String("mcp_approval_response")) {
        const auto id = firstTextMember(item, {"call_id", "tool_call_id", "tool_use_id", "id"});
        if (!id)
            return {};
        return {Event::ToolResult{*id, toolOutput(item)}};
    }
    return {};
}

QList<Event> completedItemEvents(const Json& line)
{
    const Json* item = member(line, "item");
    if (!item || !item->is_object())
        return {};
    if (QList<Event> events = toolItemEvents(*item); !events.isEmpty())
        return events;
    const std::optional<QString> type = stringMember(*item, "type");
    if (!type)
        return {};
    if (*type == QLatin1String("error")) {
        if (auto text = textMember(*item, "message"))
            return {Event::ErrorDetails{*text}};
    } else if (*type == QLatin1String("reasoning")) {
        std::optional<QString> text = textMember(*item, "text");
        if (!text) {
            const Json* content = member(*item, "content");
            text = content && content->is_array() ? elementTexts(content) : elementTexts(member(*item, "summary"));
        }
        if (text)
            return {Event::Thinking{*text}};
    } else if (*type == QLatin1String("agent_message") || *type == QLatin1String("message")) {
        if (auto text = textMember(*item, "text"))
            return {Event::AssistantMessage{*text}};
        if (auto text = elementTexts(member(*item, "content")))
            return {Event::AssistantMessage{*text}};
    }
    return {};
}

QList<Event> startedItemEvents(const Json& line)
{
    const Json* item = member(line, "item");
    if (!item || textMember(*item, "type") != QStringLiteral("command_execution"))
        return {};
    const auto id = textMember(*item, "id");
    const auto command = textMember(*item, "command");
    if (!id || !command)
        return {};
    return {Event::ToolUse{*id, QStringLiteral("command execution"), *command}};
}

} // namespace

QStringList CodexChatProviderAdapter::arguments(const ChatSessionMode& mode, const std::optional<QString>&) const
{
    if (mode.resumeSessionID && isSafeSessionID(*mode.resumeSessionID))
        return {QStringLiteral("exec"), QStringLiteral("resume"), *mode.resumeSessionID,
                QStringLiteral("--skip-git-repo-check"), QStringLiteral("--json"), QStringLiteral("-")};
    return {QStringLiteral("exec"), QStringLiteral("--color"), QStringLiteral("never"),
            QStringLiteral("--skip-git-repo-check"), QStringLiteral("--json"), QStringLiteral("-")};
}

QList<ChatProviderEvent> CodexChatProviderAdapter::parseLine(std::string_view line) const
{
    const std::optional<Json> object = parseObject(line);
    const std::optional<QString> type = object ? stringMember(*object, "type") : std::nullopt;
    if (!type)
        return {Event::AssistantMessage{QString::fromUtf8(line.data(), qsizetype(line.size()))}};
    if (*type == QLatin1String("thread.started")) {
        if (auto id = stringMember(*object, "thread_id"); id && !id->isEmpty())
            return {Event::ThreadStarted{*id}};
        return {};
    }
    if (*type == QLatin1String("item.started"))
        return startedItemEvents(*object);
    if (*type == QLatin1String("item.completed"))
        return completedItemEvents(*object);
    if (*type == QLatin1String("error")) {
        if (auto text = textMember(*object, "message"))
            return {Event::ErrorDetails{*text}};
        return {};
    }
    if (*type == QLatin1String("turn.completed"))
        return {Event::TurnCompleted{}};
    return {};
}

} // namespace quillora::chat
