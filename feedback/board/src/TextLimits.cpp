#include "feedback/board/TextLimits.h"

#include <QTextBoundaryFinder>

namespace plendra {

namespace {

// The code-unit position after the `limit`-th character, or -1 when the text has no more.
qsizetype endOfGraphemes(QStringView text, qsizetype limit)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.data(), text.size());
    qsizetype count = 0;
    while (finder.toNextBoundary() >= 0) {
        if (++count == limit)
            return finder.position();
    }
    return -1;
}

} // namespace

qsizetype graphemeCount(QStringView text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.data(), text.size());
    qsizetype count = 0;
    while (finder.toNextBoundary() >= 0)
        ++count;
    return count;
}

QString leftGraphemes(const QString& text, qsizetype limit)
{
    if (limit <= 0)
        return {};
    const qsizetype end = endOfGraphemes(text, limit);
    return end < 0 ? text : text.left(end);
}

bool isWellFormedEmail(const QString& email)
{
    return graphemeCount(email) > 5 && email.contains(u'@') && email.contains(u'.');
}

} // namespace plendra
