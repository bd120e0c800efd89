#include "highlighter/HTMLOutputFormat.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace highlighter {

namespace {

// Copies of a few units are most of what HTML output writes: a loop beats a call.
void copyUnits(char16_t* to, const char16_t* from, qsizetype count)
{
    if (count > 16) {
        std::memcpy(to, from, size_t(count) * sizeof(char16_t));
        return;
    }
    for (qsizetype i = 0; i < count; ++i)
        to[i] = from[i];
}

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
    for (const QChar c : text) {
        if (const char16_t* entity = entityFor(c.unicode(), inAttribute))
            out += QStringView(entity);
        else
            out += c;
    }
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

void HTMLOutputFormat::Builder::addToken(QStringView text, const TokenType& type)
{
    if (isOpen(type)) {
        m_whitespaceStart = -1;
        writeEscaped(text);
        return;
    }
    close();
    write(openTag(type));
    m_openKind = type.kind();
    if (type.kind() == TokenType::Kind::custom)
        m_openCustomName = type.string();
    writeEscaped(text);
}

void HTMLOutputFormat::Builder::addPlainText(QStringView text)
{
    close();
    writeEscaped(text);
}

void HTMLOutputFormat::Builder::addWhitespace(QStringView whitespace)
{
    if (m_openKind && m_whitespaceStart < 0)
        m_whitespaceStart = m_length;
    write(whitespace);
}

QString HTMLOutputFormat::Builder::build()
{
    close();
    m_html.resize(m_length);
    m_units = nullptr; // shared with the result from here: the next write detaches first
    return m_html;
}

bool HTMLOutputFormat::Builder::isOpen(const TokenType& type) const
{
    return m_openKind == type.kind() && (type.kind() != TokenType::Kind::custom || m_openCustomName == type.string());
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
    copyUnits(at, closing.utf16(), closing.size());
    m_length += closing.size();
    m_whitespaceStart = -1;
}

char16_t* HTMLOutputFormat::Builder::reserveUnits(qsizetype count)
{
    if (!m_units || m_length + count > m_html.size()) {
        if (m_length + count > m_html.size())
            m_html.resize(std::max(m_length + count, m_html.size() * 2));
        m_units = reinterpret_cast<char16_t*>(m_html.data());
    }
    return m_units + m_length;
}

void HTMLOutputFormat::Builder::write(QStringView text)
{
    if (text.isEmpty())
        return;
    copyUnits(reserveUnits(text.size()), text.utf16(), text.size());
    m_length += text.size();
}

void HTMLOutputFormat::Builder::writeEscaped(QStringView text)
{
    // At most five units per unit ("&amp;"); stretches without entities are copied whole.
    char16_t* out = reserveUnits(text.size() * 5);
    const char16_t* in = text.utf16();
    const char16_t* end = in + text.size();
    const char16_t* plain = in;
    // '&' (0x26), '<' (0x3c) and '>' (0x3e) are the units that take an entity here.
    constexpr std::uint64_t special = (1ull << u'&') | (1ull << u'<') | (1ull << u'>');
    for (; in != end; ++in) {
        if (*in > u'>' || !((special >> *in) & 1))
            continue;
        const char16_t* entity = entityFor(*in, false);
        copyUnits(out, plain, in - plain);
        out += in - plain;
        for (; *entity; ++entity)
            *out++ = *entity;
        plain = in + 1;
    }
    copyUnits(out, plain, in - plain);
    out += in - plain;
    m_length = out - m_units;
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
