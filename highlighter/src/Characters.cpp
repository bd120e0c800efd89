#include "Characters.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace highlighter::characters {

std::vector<bool> graphemeBoundaries(const QString& text)
{
    const bool ascii = std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (ascii)
        return {};
    std::vector<bool> boundaries(size_t(text.size()) + 1, false);
    boundaries[0] = true;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype p = finder.toNextBoundary(); p != -1; p = finder.toNextBoundary())
        boundaries[size_t(p)] = true;
    boundaries[size_t(text.size())] = true;
    return boundaries;
}

} // namespace highlighter::characters
