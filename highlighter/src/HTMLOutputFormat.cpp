#include "highlighter/HTMLOutputFormat.h"

#include <algorithm>

namespace highlighter {

namespace {

// The entity for a unit that needs one, else null.
const char16_t* entityFor(char16_t c, bool inAttribute)
{
    switch (c) {
    case u'&': return u"&amp;";
    case u'<': return u"&lt;";
    case u'>': return u"&gt;";
    case u'"': return inAttribute ? u"&quot;" : nullptr;
    default: return nullptr;
    }
}

void appendEscaped(QString& out, QStringView text, bool inAttribute)
{
    qsizetype plainFrom = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (const char16_t* entity = entityFor(text[i].unicode(), inAttribute)) {
            out += text.sliced(plainFrom, i - plainFrom);
            out += QStringView(entity);
            plainFrom = i + 1;
        }
    }
    out += text.sliced(plainFrom);
}

} // namespace

QString escapeHTML(QStringView text)
{
    QString out;
    appendEscaped(out, text, false);
    return out;
}

void HTMLOutputFormat::Builder::start(const QString& code)
{
    // Spans make HTML about twice the size of the code.
    reserveUnits(code.size() * 5 / 2 + 64);
}

void HTMLOutputFormat::Builder::open(const TokenType& type)
{
    close();
    write(openTag(type));
    m_openKind = type.kind();
    if (type.kind() == TokenType::Kind::custom)
        m_openCustomName = type.string();
}

QString HTMLOutputFormat::Builder::build()
{
    close();
    m_html.resize(m_length);
    m_units = nullptr; // shared with the result from here: the next write detaches first
    m_capacity = 0;
    return m_html;
}

void HTMLOutputFormat::Builder::close()
{
    if (!m_openKind)
        return;
    m_openKind.reset();
    constexpr QStringView closing = u"</span>";
    if (m_whitespaceStart < 0) {
        write(closing);
        return;
    }
    // Move the whitespace after the closing tag.
    const qsizetype whitespace = m_length - m_whitespaceStart;
    reserveUnits(closing.size());
    char16_t* at = m_units + m_whitespaceStart;
    for (qsizetype i = whitespace - 1; i >= 0; --i)
        at[closing.size() + i] = at[i];
    for (qsizetype i = 0; i < closing.size(); ++i)
        at[i] = closing.utf16()[i];
    m_length += closing.size();
    m_whitespaceStart = -1;
}

char16_t* HTMLOutputFormat::Builder::grow(qsizetype count)
{
    if (m_length + count > m_html.size())
        m_html.resize(std::max(m_length + count, m_html.size() * 2));
    m_units = reinterpret_cast<char16_t*>(m_html.data());
    m_capacity = m_html.size();
    return m_units + m_length;
}

char16_t* HTMLOutputFormat::Builder::writeEntity(char16_t* out, char16_t c)
{
    for (const char16_t* entity = entityFor(c, false); *entity; ++entity)
        *out++ = *entity;
    return out;
}

const QString& HTMLOutputFormat::Builder::openTag(const TokenType& type)
{
    const bool custom = type.kind() == TokenType::Kind::custom;
    QString& tag = custom ? m_customTag : m_openTags[std::size_t(type.kind())];
    if (custom || tag.isEmpty()) {
        // The class name is an attribute value: custom names and prefixes could hold quotes.
        tag = QStringLiteral("<span class=\"");
        appendEscaped(tag, m_classPrefix, true);
        appendEscaped(tag, type.string(), true);
        tag += u"\">";
    }
    return tag;
}

} // namespace highlighter
