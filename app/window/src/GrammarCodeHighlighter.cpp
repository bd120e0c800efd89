#include "window/GrammarCodeHighlighter.h"

#include <highlighter/SwiftGrammar.h>
#include <highlighter/Theme.h>

namespace quillora {
namespace {

highlighter::AttributedStringOutputFormat formatFor(mdview::ColorScheme scheme)
{
    const highlighter::Highlight::Font font(13);
    return highlighter::AttributedStringOutputFormat(scheme == mdview::ColorScheme::dark
                                                         ? highlighter::Highlight::Theme::brindlesColors(font)
                                                         : highlighter::Highlight::Theme::presentation(font));
}

} // namespace

GrammarCodeHighlighter::GrammarCodeHighlighter(mdview::ColorScheme scheme)
    : m_scheme(scheme)
    , m_syntaxHighlighter(formatFor(scheme), std::make_shared<highlighter::SwiftGrammar>())
{
}

richtext::AttributedText GrammarCodeHighlighter::highlightCode(const QString& code,
                                                               const std::optional<QString>& language) const
{
    if (!language)
        return richtext::AttributedText(code);
    return highlight(code);
}

richtext::AttributedText GrammarCodeHighlighter::highlight(const QString& code) const
{
    return highlightedDisplayText(m_syntaxHighlighter.highlight(code));
}

richtext::FontSpec GrammarCodeHighlighter::displayFont()
{
    richtext::FontSpec font;
    font.pixelSize = 13;
    font.weight = 400;
    font.monospaced = true;
    return font;
}

richtext::AttributedText GrammarCodeHighlighter::highlightedDisplayText(const richtext::AttributedText& output)
{
    const richtext::FontSpec font = displayFont();
    richtext::AttributedText display;
    const QString& text = output.text();
    for (const richtext::TextRun& run : output.runs()) {
        richtext::TextAttributes attributes = run.attributes;
        attributes.font = font;
        display.append(text.mid(run.start, run.length), attributes);
    }
    return display;
}

} // namespace quillora
