#include "highlighter/AttributedStringOutputFormat.h"

namespace highlighter {

namespace {
constexpr richtext::Color white{1.0, 1.0, 1.0, 1.0};
}

void AttributedStringOutputFormat::Builder::addToken(QStringView text, const TokenType& type)
{
    append(text, m_theme.tokenColors.value(type, white));
}

void AttributedStringOutputFormat::Builder::addPlainText(QStringView text)
{
    append(text, m_theme.plainTextColor);
}

void AttributedStringOutputFormat::Builder::addWhitespace(QStringView whitespace)
{
    append(whitespace, white);
}

void AttributedStringOutputFormat::Builder::append(QStringView text, const richtext::Color& color)
{
    if (!m_font)
        m_font = m_theme.font.resolved();
    richtext::TextAttributes attributes;
    attributes.foregroundColor = color;
    attributes.font = *m_font;
    m_string.append(text.toString(), attributes);
}

} // namespace highlighter
