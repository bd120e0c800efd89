#include "highlighter/AttributedStringOutputFormat.h"

namespace highlighter {

namespace {
constexpr richtext::Color white{1.0, 1.0, 1.0, 1.0};
}

void AttributedStringOutputFormat::Builder::start(const QString& code)
{
    if (!m_string.isEmpty() || m_styler)
        return;
    m_styler.emplace(code);
    // Source code averages well over three characters per change of colour.
    m_styler->reserveRuns(code.size() * 3 / 10 + 16);
}

void AttributedStringOutputFormat::Builder::addToken(QStringView text, const TokenType& type)
{
    if (type.kind() == TokenType::Kind::custom) {
        std::optional<richtext::StyleIndex> style;
        append(text, style, m_theme.tokenColors.value(type, white));
        return;
    }
    auto& style = m_kindStyles[std::size_t(type.kind())];
    append(text, style, style ? white : m_theme.tokenColors.value(type, white));
}

void AttributedStringOutputFormat::Builder::addPlainText(QStringView text)
{
    append(text, m_plainStyle, m_theme.plainTextColor);
}

void AttributedStringOutputFormat::Builder::addWhitespace(QStringView whitespace)
{
    append(whitespace, m_whitespaceStyle, white);
}

richtext::AttributedText AttributedStringOutputFormat::Builder::build() const&
{
    return m_styler ? Builder(*this).build() : m_string;
}

richtext::AttributedText AttributedStringOutputFormat::Builder::build() &&
{
    if (m_styler) {
        m_string = std::move(*m_styler).finish();
        m_styler.reset();
    }
    return std::move(m_string);
}

// `style` caches the index for `color`, which is only read while the cache is empty.
void AttributedStringOutputFormat::Builder::append(QStringView text, std::optional<richtext::StyleIndex>& style,
                                                  const richtext::Color& color)
{
    if (text.isEmpty())
        return;
    if (!style)
        style = addStyle(color);
    if (m_styler) {
        if (text.constData() == m_styler->text().constData() + m_styler->styled()) {
            m_styler->style(text.size(), *style);
            return;
        }
        // Not the code's next piece: go on with a copy of what was styled.
        m_string = std::move(*m_styler).finish();
        m_styler.reset();
    }
    m_string.append(text, *style);
}

richtext::StyleIndex AttributedStringOutputFormat::Builder::addStyle(const richtext::Color& color)
{
    if (!m_font)
        m_font = m_theme.font.resolved();
    richtext::TextAttributes attributes;
    attributes.foregroundColor = color;
    attributes.font = *m_font;
    return m_styler ? m_styler->addStyle(attributes) : m_string.addStyle(attributes);
}

} // namespace highlighter
