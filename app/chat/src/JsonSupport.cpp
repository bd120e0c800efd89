#include "JsonSupport.h"

namespace quillora::chat::json_support {

namespace {

// Whether brackets outside strings nest no deeper than maxDepth. The parser itself keeps its
// own stack, but printing and the adapters' walks recurse, so depth is bounded before parsing.
bool depthWithinLimit(std::string_view text)
{
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            if (++depth > maxDepth)
                return false;
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return true;
}

} // namespace

std::optional<Json> parseObject(std::string_view line)
{
    if (line.empty() || line.front() != '{' || !depthWithinLimit(line))
        return std::nullopt;
    Json value = Json::parse(line.begin(), line.end(), nullptr, /*allow_exceptions=*/false);
    if (!value.is_object())
        return std::nullopt;
    return value;
}

QString toQString(const std::string& utf8)
{
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

const Json* member(const Json& value, const char* key)
{
    if (!value.is_object())
        return nullptr;
    const auto it = value.find(key);
    return it == value.end() ? nullptr : &*it;
}

std::optional<QString> stringMember(const Json& value, const char* key)
{
    const Json* found = member(value, key);
    if (!found || !found->is_string())
        return std::nullopt;
    return toQString(found->get_ref<const std::string&>());
}

std::optional<QString> textMember(const Json& value, const char* key)
{
    std::optional<QString> text = stringMember(value, key);
    if (!text)
        return std::nullopt;
    QString trimmed = text->trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    return trimmed;
}

std::optional<QString> firstTextMember(const Json& value, std::initializer_list<const char*> keys)
{
    for (const char* key : keys)
        if (auto text = textMember(value, key))
            return text;
    return std::nullopt;
}

QString prettyJson(const Json& value)
{
    return toQString(value.dump(2, ' ', false, Json::error_handler_t::replace));
}

QString describe(const Json& value)
{
    if (value.is_string())
        return toQString(value.get_ref<const std::string&>());
    return toQString(value.dump(-1, ' ', false, Json::error_handler_t::replace));
}

QString joinLines(const QStringList& texts)
{
    return texts.join(QLatin1Char('\n'));
}

} // namespace quillora::chat::json_support
