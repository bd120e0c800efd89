#include "highlighter/MarkdownDecorator.h"

#include "Characters.h"

#include <QStringList>
#include <QTextBoundaryFinder>

namespace highlighter {

namespace {

bool isWhitespaceOrLineBreak(QChar c)
{
    return characters::isWhitespace(c.unicode()) || characters::isLineBreak(c.unicode());
}

QStringView trimmed(QStringView text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && isWhitespaceOrLineBreak(text[start]))
        ++start;
    while (end > start && isWhitespaceOrLineBreak(text[end - 1]))
        --end;
    return text.sliced(start, end - start);
}

bool startsWithCharacters(const QString& text, const QString& prefix)
{
    if (!text.startsWith(prefix))
        return false;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.setPosition(prefix.size());
    return finder.isAtBoundary();
}

// The text without its first `count` user-perceived characters; empty when it has fewer.
QString droppingCharacters(const QString& text, int count)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype position = 0;
    for (int i = 0; i < count && position != -1 && position < text.size(); ++i)
        position = finder.toNextBoundary();
    return position == -1 ? QString() : text.sliced(position);
}

} // namespace

MarkdownDecorator::MarkdownDecorator(QString classPrefix, std::shared_ptr<const Grammar> grammar)
    : m_highlighter(HTMLOutputFormat(std::move(classPrefix)), std::move(grammar))
{
}

QString MarkdownDecorator::decorate(const QString& markdown) const
{
    const QString prefix = skipHighlightingPrefix();
    const QStringList pieces = markdown.split(QStringLiteral("```"));
    QString result;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (i % 2 == 0) {
            result += pieces[i];
            continue;
        }
        const QString code = trimmed(pieces[i]).toString();
        result += u"<pre class=\"highlight\"><code>";
        if (startsWithCharacters(code, prefix)) {
            // The prefix and the character after it (normally the line break) go; a block
            // that is the prefix alone leaves nothing.
            result += escapeHTML(droppingCharacters(code, int(prefix.size()) + 1));
        } else {
            result += m_highlighter.highlight(code);
        }
        result += u"</code></pre>";
    }
    return result;
}

} // namespace highlighter
