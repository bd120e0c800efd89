#pragma once

#include "highlighter/HTMLOutputFormat.h"
#include "highlighter/SyntaxHighlighter.h"

namespace highlighter {

// Replaces every fenced code block of a Markdown text ("```" ... "```") by highlighted HTML
// in <pre class="highlight"><code>. A block starting with "no-highlight" is only escaped.
class MarkdownDecorator {
public:
    MarkdownDecorator(QString classPrefix, std::shared_ptr<const Grammar> grammar);

    QString decorate(const QString& markdown) const;

    const SyntaxHighlighter<HTMLOutputFormat>& highlighter() const { return m_highlighter; }
    QString skipHighlightingPrefix() const { return QStringLiteral("no-highlight"); }

private:
    SyntaxHighlighter<HTMLOutputFormat> m_highlighter;
};

} // namespace highlighter
