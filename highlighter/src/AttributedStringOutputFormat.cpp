#include "highlighter/AttributedStringOutputFormat.h"

namespace highlighter {

namespace {
constexpr richtext::Color white{1.0, 1.0, 1.0, 1.0};
}

void AttributedStringOutputFormat::Builder::reserve(qsizetype codeLength)
{
    // Source code averages well over four characters per change of colour.
    m_string.reserve(codeLength, codeLength / 4);
}

void AttributedStringOutputFormat::Builder::addToken(QStringView text, const TokenType& type)
{
    if (text.isEmpty())
        return;
    if (type.kind() == TokenType::Kind::custom) {
        m_string.append(text, styleFor(m_theme.tokenColors.value(type, white)));
        return;
    }
    auto& style = m_kindStyles[std::size_t(type.kind())];
    if (!style)
        style = styleFor(m_theme.tokenColors.value(type, white));
    m_string.append(text, *style);
}

void AttributedStringOutputFormat::Builder::addPlainText(QStringView text)
{
    if (text.isEmpty())
        return;
    if (!m_plainStyle)
        m_plainStyle = styleFor(m_theme.plainTextColor);
    m_string.append(text, *m_plainStyle);
}

void AttributedStringOutputFormat::Builder::addWhitespace(QStringView whitespace)
{
    if (whitespace.isEmpty())
        return;
    if (!m_whitespaceStyle)
        m_whitespaceStyle = styleFor(white);
    m_string.append(whitespace, *m_whitespaceStyle);
}

richtext::AttributedText AttributedStringOutputFormat::Builder::build() &&
{
    m_string.squeeze();
    return std::move(m_string);
}

richtext::StyleIndex AttributedStringOutputFormat::Builder::styleFor(const richtext::Color& color)
{
    if (!m_font)
        m_font = m_theme.font.resolved();
    richtext::TextAttributes attributes;
    attributes.foregroundColor = color;
    attributes.font = *m_font;
    return m_string.addStyle(attributes);
}

} // namespace highlighter
