#pragma once

#include "highlighter/Theme.h"

#include "richtext/AttributedText.h"

#include <array>
#include <optional>

namespace highlighter {

// Attributed text coloured by a theme: every run carries a foreground colour and the
// theme's font, and nothing else. The background colour is left to the view.
//
// The colour and font of each token type are made into a style of the result once, on the
// type's first token; neighbouring pieces of one colour share one run.
class AttributedStringOutputFormat {
public:
    class Builder {
    public:
        using Output = richtext::AttributedText;

        explicit Builder(Highlight::Theme theme) : m_theme(std::move(theme)) {}
        // Room for the highlighted text of code this long, so that building appends in place.
        void reserve(qsizetype codeLength);
        // In the theme's colour for the type; opaque white when the theme has none.
        void addToken(QStringView text, const TokenType& type);
        // In the theme's plain-text colour.
        void addPlainText(QStringView text);
        // Always opaque white.
        void addWhitespace(QStringView whitespace);
        // A copy of the text so far; the builder goes on.
        richtext::AttributedText build() const& { return m_string; }
        // The text itself, moved out; the builder is left empty.
        richtext::AttributedText build() &&;

    private:
        richtext::StyleIndex styleFor(const richtext::Color& color);

        Highlight::Theme m_theme;
        std::optional<richtext::FontSpec> m_font; // resolved on the first run
        // Styles of the built-in token kinds, of plain text and of whitespace, made on first use.
        static constexpr std::size_t kindCount = std::size_t(TokenType::Kind::custom);
        std::array<std::optional<richtext::StyleIndex>, kindCount> m_kindStyles;
        std::optional<richtext::StyleIndex> m_plainStyle;
        std::optional<richtext::StyleIndex> m_whitespaceStyle;
        richtext::AttributedText m_string;
    };

    explicit AttributedStringOutputFormat(Highlight::Theme theme) : theme(std::move(theme)) {}
    Builder makeBuilder() const { return Builder(theme); }

    Highlight::Theme theme;
};

} // namespace highlighter
