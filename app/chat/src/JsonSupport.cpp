#include "JsonSupport.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace quillora::chat::json_support {

namespace {

// A strict JSON reader into nlohmann values. The tools' lines are mostly long strings, which
// nlohmann's own lexer takes a byte at a time; this one copies the runs between escapes whole.
// Nesting deeper than maxDepth fails the line, so nothing built here is deeper than that.
class Reader {
public:
    Reader(std::string_view text) : m_p(text.data()), m_end(text.data() + text.size()) {}

    bool document(Json& out)
    {
        skipSpace();
        if (!value(out, 1))
            return false;
        skipSpace();
        return m_p == m_end;
    }

private:
    void skipSpace()
    {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\n' || *m_p == '\r' || *m_p == '\t'))
            ++m_p;
    }

    bool literal(std::string_view word)
    {
        if (std::size_t(m_end - m_p) < word.size() || std::string_view(m_p, word.size()) != word)
            return false;
        m_p += word.size();
        return true;
    }

    bool value(Json& out, int depth)
    {
        if (m_p == m_end)
            return false;
        switch (*m_p) {
        case '{': return depth <= maxDepth && object(out, depth);
        case '[': return depth <= maxDepth && array(out, depth);
        case '"': {
            std::string text;
            if (!string(text))
                return false;
            out = std::move(text);
            return true;
        }
        case 't': out = true; return literal("true");
        case 'f': out = false; return literal("false");
        case 'n': out = nullptr; return literal("null");
        default: return number(out);
        }
    }

    // The elements of an object or array up to `close`, separated by commas.
    template <typename Element>
    bool sequence(char close, Element&& element)
    {
        ++m_p; // the opening bracket
        skipSpace();
        if (m_p < m_end && *m_p == close) {
            ++m_p;
            return true;
        }
        while (true) {
            if (!element())
                return false;
            skipSpace();
            if (m_p == m_end)
                return false;
            if (*m_p == close) {
                ++m_p;
                return true;
            }
            if (*m_p != ',')
                return false;
            ++m_p;
            skipSpace();
        }
    }

    bool object(Json& out, int depth)
    {
        out = Json::object();
        auto& members = out.get_ref<Json::object_t&>();
        return sequence('}', [&] {
            std::string key;
            if (m_p == m_end || *m_p != '"' || !string(key))
                return false;
            skipSpace();
            if (m_p == m_end || *m_p != ':')
                return false;
            ++m_p;
            skipSpace();
            Json member;
            if (!value(member, depth + 1))
                return false;
            members.insert_or_assign(std::move(key), std::move(member)); // the last of equal keys wins
            return true;
        });
    }

    bool array(Json& out, int depth)
    {
        out = Json::array();
        auto& elements = out.get_ref<Json::array_t&>();
        return sequence(']', [&] {
            Json element;
            if (!value(element, depth + 1))
                return false;
            elements.push_back(std::move(element));
            return true;
        });
    }

    static int hexDigit(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    bool hex4(unsigned& code)
    {
        if (m_end - m_p < 4)
            return false;
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = hexDigit(m_p[i]);
            if (digit < 0)
                return false;
            code = code * 16 + unsigned(digit);
        }
        m_p += 4;
        return true;
    }

    static void appendUtf8(std::string& out, unsigned code)
    {
        if (code < 0x80) {
            out += char(code);
        } else if (code < 0x800) {
            out += char(0xC0 | (code >> 6));
            out += char(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += char(0xE0 | (code >> 12));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        } else {
            out += char(0xF0 | (code >> 18));
            out += char(0x80 | ((code >> 12) & 0x3F));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        }
    }

    bool string(std::string& out)
    {
        ++m_p; // "
        while (true) {
            const char* run = m_p;
            while (m_p < m_end && *m_p != '"' && *m_p != '\\' && static_cast<unsigned char>(*m_p) >= 0x20)
                ++m_p;
            out.append(run, std::size_t(m_p - run));
            if (m_p == m_end || static_cast<unsigned char>(*m_p) < 0x20)
                return false;
            if (*m_p++ == '"')
                return true;
            if (m_p == m_end)
                return false;
            const char escape = *m_p++;
            switch (escape) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                unsigned code = 0;
                if (!hex4(code))
                    return false;
                if (code >= 0xDC00 && code <= 0xDFFF)
                    return false; // a low surrogate alone
                if (code >= 0xD800 && code <= 0xDBFF) {
                    unsigned low = 0;
                    if (m_end - m_p < 2 || m_p[0] != '\\' || m_p[1] != 'u')
                        return false;
                    m_p += 2;
                    if (!hex4(low) || low < 0xDC00 || low > 0xDFFF)
                        return false;
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                }
                appendUtf8(out, code);
                break;
            }
            default: return false;
            }
        }
    }

    bool number(Json& out)
    {
        const char* start = m_p;
        auto digits = [&] {
            const char* from = m_p;
            while (m_p < m_end && *m_p >= '0' && *m_p <= '9')
                ++m_p;
            return m_p > from;
        };
        const bool negative = m_p < m_end && *m_p == '-';
        if (negative)
            ++m_p;
        if (m_p < m_end && *m_p == '0')
            ++m_p;
        else if (!digits())
            return false;
        bool integral = true;
        bool negativeExponent = false;
        if (m_p < m_end && *m_p == '.') {
            ++m_p;
            integral = false;
            if (!digits())
                return false;
        }
        if (m_p < m_end && (*m_p == 'e' || *m_p == 'E')) {
            ++m_p;
            integral = false;
            if (m_p < m_end && (*m_p == '+' || *m_p == '-'))
                negativeExponent = *m_p++ == '-';
            if (!digits())
                return false;
        }
        if (integral) {
            if (negative) {
                std::int64_t value = 0;
                if (std::from_chars(start, m_p, value).ec == std::errc()) {
                    out = value;
                    return true;
                }
            } else {
                std::uint64_t value = 0;
                if (std::from_chars(start, m_p, value).ec == std::errc()) {
                    out = value;
                    return true;
                }
            }
        }
        // Fractions, exponents and integers too large for 64 bits are doubles; past the range of
        // a double the line is not read, below it the value is 0.
        double value = 0;
        const auto result = std::from_chars(start, m_p, value);
        if (result.ec == std::errc::result_out_of_range && negativeExponent)
            value = negative ? -0.0 : 0.0;
        else if (result.ec != std::errc() || !std::isfinite(value))
            return false;
        out = value;
        return true;
    }

    const char* m_p;
    const char* m_end;
};

} // namespace

std::optional<Json> parseObject(std::string_view line)
{
    if (line.empty() || line.front() != '{')
        return std::nullopt;
    Json value;
    if (!Reader(line).document(value) || !value.is_object())
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
