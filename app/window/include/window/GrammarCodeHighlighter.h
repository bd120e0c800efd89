#pragma once

#include <highlighter/AttributedStringOutputFormat.h>
#include <highlighter/SyntaxHighlighter.h>
#include <mdview/Color.h>
#include <mdview/Providers.h>

#include "richtext/AttributedText.h"

namespace quillora {

// The application's code highlighter: every code block that names a language (the empty
// string included) and every Swift source file is read with the Swift grammar and coloured by
// the theme of the colour scheme, in one 13-pixel monospaced font. A plain value; highlight()
// may run on any thread.
class GrammarCodeHighlighter final : public mdview::CodeSyntaxHighlighter {
public:
    explicit GrammarCodeHighlighter(mdview::ColorScheme scheme);

    // No language: the code as it is, without attributes. Any language: highlight(code).
    richtext::AttributedText highlightCode(const QString& code, const std::optional<QString>& language) const override;

    // The code highlighted and converted for display.
    richtext::AttributedText highlight(const QString& code) const;

    // The highlighter's output with the display font on every run; the colours stay.
    static richtext::AttributedText highlightedDisplayText(const richtext::AttributedText& output);
    // The system font at 13 pixels, regular, monospaced.
    static richtext::FontSpec displayFont();

    mdview::ColorScheme colorScheme() const { return m_scheme; }

private:
    mdview::ColorScheme m_scheme;
    highlighter::SyntaxHighlighter<highlighter::AttributedStringOutputFormat> m_syntaxHighlighter;
};

} // namespace quillora
