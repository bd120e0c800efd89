#pragma once

#include "highlighter/Theme.h"

#include "richtext/AttributedText.h"

#include <array>
#include <optional>

namespace highlighter {

// Attributed text coloured by a theme: every run carries a foreground colour and the
// theme's font, and nothing else. The background colour is left to the view.
//
// The colour and font of each token type become a style of the result once, on the type's
// first token; neighbouring pieces of one colour share one run.
class AttributedStringOutputFormat {
public:
    class Builder {
    public:
        using Output = richtext::AttributedText;

        explicit Builder(Highlight::Theme theme) : m_theme(std::move(theme)) {}
        // The code whose pieces follow, in order: the result then shares its text instead of
        // copying it piece by piece. Pieces that are not the code's next ones are copied.
        void start(const QString& code);
        // In the theme's colour for the type; opaque white when the theme has none.
        void addToken(QStringView text, const TokenType& type);
        // In the theme's plain-text colour.
        void addPlainText(QStringView text);
        // Always opaque white.
        void addWhitespace(QStringView whitespace);
        // A copy of the text so far; the builder goes on.
        richtext::AttributedText build() const&;
        // The text itself, moved out; the builder is left empty.
        richtext::AttributedText build() &&;

    private:
        void append(QStringView text, std::optional<richtext::StyleIndex>& style, const richtext::Color& color);
        richtext::StyleIndex addStyle(const richtext::Color& color);

        Highlight::Theme m_theme;
        std::optional<richtext::FontSpec> m_font; // resolved on the first run
        // Styles of the built-in token kinds, of plain text and of whitespace, made on first use.
        static constexpr std::size_t kindCount = std::size_t(TokenType::Kind::custom);
        std::array<std::optional<richtext::StyleIndex>, kindCount> m_kindStyles;
        std::optional<richtext::StyleIndex> m_plainStyle;
        std::optional<richtext::StyleIndex> m_whitespaceStyle;
        // While the pieces are the started code's: the code being styled. Else the text built.
        std::optional<richtext::AttributedText::Styler> m_styler;
        richtext::AttributedText m_string;
    };

    explicit AttributedStringOutputFormat(Highlight::Theme theme) : theme(std::move(theme)) {}
    Builder makeBuilder() const { return Builder(theme); }

    Highlight::Theme theme;
};

} // namespace highlighter
