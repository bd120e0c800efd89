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
    display.reserve(output.text().size(), qsizetype(output.runs().size()));
    // One display style per style of the output, not per run.
    std::vector<richtext::StyleIndex> styles;
    styles.reserve(output.styles().size());
    for (richtext::TextAttributes attributes : output.styles()) {
        attributes.font = font;
        styles.push_back(display.addStyle(attributes));
    }
    const QStringView text(output.text());
    for (const richtext::TextRun& run : output.runs())
        display.append(text.sliced(run.start, run.length), styles[run.style]);
    return display;
}

} // namespace quillora
