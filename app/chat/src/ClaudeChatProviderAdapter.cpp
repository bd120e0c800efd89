#include "chat/ClaudeChatProviderAdapter.h"

#include "JsonSupport.h"

namespace quillora::chat {

using namespace json_support;
using Event = ChatProviderEvent;

namespace {

// The trimmed "text" of an object whose "type" is "text".
std::optional<QString> textItem(const Json& value)
{
    if (stringMember(value, "type") != QStringLiteral("text"))
        return std::nullopt;
    return textMember(value, "text");
}

// A tool input or result as text: a string trimmed, an array of text items their texts, other
// arrays and objects their JSON, scalars (and blank strings) as they read.
QString valueText(const Json* value)
{
    if (!value)
        return {};
    if (value->is_string()) {
        const QString trimmed = describe(*value).trimmed();
        if (!trimmed.isEmpty())
            return trimmed;
    }
    if (value->is_array()) {
        QStringList texts;
        for (const Json& element : *value)
            if (auto text = textItem(element))
                texts.append(*text);
        if (!texts.isEmpty())
            return joinLines(texts);
    }
    if (value->is_array() || value->is_object())
        return prettyJson(*value);
    return describe(*value);
}

// Every non-empty "text" of a text object anywhere inside `value`, untrimmed, in document order.
void collectTexts(const Json& value, QStringList& texts)
{
    if (value.is_object()) {
        if (stringMember(value, "type") == QStringLiteral("text")) {
            if (auto text = stringMember(value, "text"); text && !text->isEmpty())
                texts.append(*text);
        }
        for (const auto& [key, child] : value.items())
            collectTexts(child, texts);
    } else if (value.is_array()) {
        for (const Json& child : value)
            collectTexts(child, texts);
    }
}

QList<Event> contentItems(const Json& content)
{
    QList<Event> events;
    for (const Json& item : content) {
        const std::optional<QString> type = stringMember(item, "type");
        if (!type)
            continue;
        if (*type == QLatin1String("text")) {
            if (auto text = textMember(item, "text"))
                events.append(Event::AssistantMessage{*text});
        } else if (*type == QLatin1String("thinking")) {
            if (auto text = textMember(item, "thinking"))
                events.append(Event::Thinking{*text});
        } else if (*type == QLatin1String("tool_use") || *type == QLatin1String("server_tool_use")) {
            const auto id = textMember(item, "id");
            const auto name = textMember(item, "name");
            if (!id || !name)
                continue;
            const QString input = valueText(member(item, "input"));
            if (*type == QLatin1String("tool_use"))
                events.append(Event::ToolUse{*id, *name, input});
            else
                events.append(Event::ServerToolUse{*id, *name, input});
        } else if (*type == QLatin1String("tool_result")) {
            if (auto id = textMember(item, "tool_use_id"))
                events.append(Event::ToolResult{*id, valueText(member(item, "content"))});
        }
    }
    return events;
}

QList<Event> assistantEvents(const Json& line)
{
    const Json* message = member(line, "message");
    if (const Json* content = message ? member(*message, "content") : nullptr; content && content->is_array()) {
        QList<Event> events = contentItems(*content);
        if (!events.isEmpty())
            return events;
    }
    QStringList texts;
    if (message)
        collectTexts(*message, texts);
    if (texts.isEmpty())
        collectTexts(line, texts);
    const QString text = joinLines(texts).trimmed();
    if (text.isEmpty())
        return {};
    return {Event::AssistantMessage{text}};
}

QList<Event> userEvents(const Json& line)
{
    const Json* message = member(line, "message");
    const Json* content = message ? member(*message, "content") : nullptr;
    if (!content || !content->is_array())
        return {};
    QList<Event> events;
    for (const Json& item : *content) {
        if (stringMember(item, "type") != QStringLiteral("tool_result"))
            continue;
        const auto id = textMember(item, "tool_use_id");
        if (!id)
            continue;
        QString text = valueText(member(item, "content"));
        if (text.isEmpty())
            if (const Json* toolUseResult = member(line, "tool_use_result"))
                text = valueText(toolUseResult);
        events.append(Event::ToolResult{*id, text});
    }
    return events;
}

QList<Event> resultEvents(const Json& line)
{
    QList<Event> events;
    if (const Json* errors = member(line, "errors"); errors && errors->is_array()) {
        QStringList texts;
        for (const Json& error : *errors)
            if (error.is_string())
                texts.append(describe(error));
        const QString text = joinLines(texts).trimmed();
        if (!text.isEmpty())
            events.append(Event::ErrorDetails{text});
    }
    events.append(Event::TurnCompleted{});
    return events;
}

} // namespace

QStringList ClaudeChatProviderAdapter::arguments(const ChatSessionMode& mode,
                                                 const std::optional<QString>& workingDirectory) const
{
    QStringList arguments;
    if (mode.resumeSessionID && isSafeSessionID(*mode.resumeSessionID))
        arguments << QStringLiteral("--resume") << *mode.resumeSessionID;
    arguments << QStringLiteral("--print") << QStringLiteral("--verbose") << QStringLiteral("--output-format")
              << QStringLiteral("stream-json") << QStringLiteral("-") << QStringLiteral("--permission-mode")
              << QStringLiteral("acceptEdits");
    if (workingDirectory)
        arguments << QStringLiteral("--add-dir") << *workingDirectory;
    return arguments;
}

QList<ChatProviderEvent> ClaudeChatProviderAdapter::parseLine(std::string_view line) const
{
    const std::optional<Json> object = parseObject(line);
    const std::optional<QString> type = object ? stringMember(*object, "type") : std::nullopt;
    if (!type)
        return {Event::AssistantMessage{QString::fromUtf8(line.data(), qsizetype(line.size()))}};
    if (*type == QLatin1String("system")) {
        if (stringMember(*object, "subtype") == QStringLiteral("init"))
            if (auto id = stringMember(*object, "session_id"); id && !id->isEmpty())
                return {Event::ThreadStarted{*id}};
        return {};
    }
    if (*type == QLatin1String("assistant"))
        return assistantEvents(*object);
    if (*type == QLatin1String("user"))
        return userEvents(*object);
    if (*type == QLatin1String("result"))
        return resultEvents(*object);
    return {};
}

} // namespace quillora::chat
