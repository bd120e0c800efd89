#include "highlighter/HTMLOutputFormat.h"

namespace highlighter {

namespace {

void appendEscaped(QString& out, QStringView text, bool inAttribute)
{
    qsizetype plainFrom = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const char* entity = nullptr;
        switch (c) {
        case u'&': entity = "&amp;"; break;
        case u'<': entity = "&lt;"; break;
        case u'>': entity = "&gt;"; break;
        case u'"': entity = inAttribute ? "&quot;" : nullptr; break;
        default: break;
        }
        if (!entity)
            continue;
        out += text.sliced(plainFrom, i - plainFrom);
        out += QLatin1StringView(entity);
        plainFrom = i + 1;
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

void HTMLOutputFormat::Builder::addToken(QStringView text, const TokenType& type)
{
    if (m_pendingType && *m_pendingType == type) {
        if (m_hasPendingWhitespace) {
            m_pendingText += m_pendingWhitespace;
            m_pendingWhitespace.resize(0);
            m_hasPendingWhitespace = false;
        }
        m_pendingText += text;
        return;
    }
    flush();
    m_pendingType = type;
    m_pendingText.resize(0);
    m_pendingText += text;
}

void HTMLOutputFormat::Builder::addPlainText(QStringView text)
{
    flush();
    appendEscaped(m_html, text, false);
}

void HTMLOutputFormat::Builder::addWhitespace(QStringView whitespace)
{
    if (!m_pendingType) {
        m_html += whitespace;
        return;
    }
    m_pendingWhitespace += whitespace;
    m_hasPendingWhitespace = true;
}

QString HTMLOutputFormat::Builder::build()
{
    flush();
    return m_html;
}

void HTMLOutputFormat::Builder::flush()
{
    if (m_pendingType) {
        // The class name is an attribute value: custom names and prefixes could hold quotes.
        m_html += u"<span class=\"";
        appendEscaped(m_html, m_classPrefix, true);
        appendEscaped(m_html, m_pendingType->string(), true);
        m_html += u"\">";
        appendEscaped(m_html, m_pendingText, false);
        m_html += u"</span>";
        m_pendingType.reset();
    }
    if (m_hasPendingWhitespace) {
        m_html += m_pendingWhitespace;
        m_pendingWhitespace.resize(0);
        m_hasPendingWhitespace = false;
    }
}

} // namespace highlighter
