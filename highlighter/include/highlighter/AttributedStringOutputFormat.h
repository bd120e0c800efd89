#pragma once

#include "highlighter/Theme.h"

#include "richtext/AttributedText.h"

#include <optional>

namespace highlighter {

// Attributed text coloured by a theme: every run carries a foreground colour and the
// theme's font, and nothing else. The background colour is left to the view.
class AttributedStringOutputFormat {
public:
    class Builder {
    public:
        using Output = richtext::AttributedText;

        explicit Builder(Highlight::Theme theme) : m_theme(std::move(theme)) {}
        // In the theme's colour for the type; opaque white when the theme has none.
        void addToken(QStringView text, const TokenType& type);
        // In the theme's plain-text colour.
        void addPlainText(QStringView text);
        // Always opaque white.
        void addWhitespace(QStringView whitespace);
        richtext::AttributedText build() const { return m_string; }

    private:
        void append(QStringView text, const richtext::Color& color);

        Highlight::Theme m_theme;
        std::optional<richtext::FontSpec> m_font; // resolved on the first run
        richtext::AttributedText m_string;
    };

    explicit AttributedStringOutputFormat(Highlight::Theme theme) : theme(std::move(theme)) {}
    Builder makeBuilder() const { return Builder(theme); }

    Highlight::Theme theme;
};

} // namespace highlighter
