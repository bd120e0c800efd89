#pragma once

// Reading the tools' JSON lines: parsing that never throws and never recurses without bound,
// member look-ups that tolerate any shape, and the texts the adapters make of values.

#include <nlohmann/json.hpp>

#include <QString>
#include <QStringList>

#include <optional>
#include <string_view>

namespace quillora::chat::json_support {

using Json = nlohmann::json;

// Deeper lines are not parsed: they are shown as plain lines.
inline constexpr int maxDepth = 256;

// The line's top-level JSON object; none when the line is not one, or nests deeper than maxDepth.
std::optional<Json> parseObject(std::string_view line);

QString toQString(const std::string& utf8);

// The member `key` of `value` when `value` is an object that has it.
const Json* member(const Json& value, const char* key);
// The member as a string, untrimmed.
std::optional<QString> stringMember(const Json& value, const char* key);
// The member's string trimmed of white space and line breaks, when that is not empty.
std::optional<QString> textMember(const Json& value, const char* key);
// The first of `keys` that has a text.
std::optional<QString> firstTextMember(const Json& value, std::initializer_list<const char*> keys);

// Pretty-printed JSON, keys sorted, invalid UTF-8 replaced.
QString prettyJson(const Json& value);
// How a scalar reads as text: a string as it is, anything else as its JSON.
QString describe(const Json& value);

QString joinLines(const QStringList& texts);

} // namespace quillora::chat::json_support
