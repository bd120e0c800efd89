#include "Characters.h"

#include <QTextBoundaryFinder>

#include <cstdint>
#include <cstring>

namespace highlighter::characters {

std::vector<bool> graphemeBoundaries(const QString& text)
{
    const qsizetype size = text.size();
    const QChar* data = text.constData();
    // Four units at a time: a unit of 0x80 or more has a bit in 0xff80.
    qsizetype firstNonAscii = 0;
    for (; firstNonAscii + 4 <= size; firstNonAscii += 4) {
        std::uint64_t word;
        std::memcpy(&word, data + firstNonAscii, sizeof word);
        if (word & 0xff80ff80ff80ff80ull)
            break;
    }
    while (firstNonAscii < size && data[firstNonAscii].unicode() < 0x80)
        ++firstNonAscii;
    if (firstNonAscii == size)
        return {};

    // Between two ASCII characters there is a boundary unless they are CR LF. Only the
    // positions next to non-ASCII runs need the full rules, and those see no further than
    // one ASCII character on either side, so each run is segmented with just that context.
    std::vector<bool> boundaries(size_t(size) + 1, true);
    for (qsizetype p = 1; p < size; ++p) {
        if (data[p - 1] == u'\r' && data[p] == u'\n')
            boundaries[size_t(p)] = false;
    }
    for (qsizetype start = firstNonAscii; start < size;) {
        qsizetype end = start;
        while (end < size && data[end].unicode() >= 0x80)
            ++end;
        const qsizetype from = start > 0 ? start - 1 : start;
        const qsizetype to = end < size ? end + 1 : end;
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, data + from, to - from);
        for (qsizetype p = start; p <= end; ++p) {
            finder.setPosition(p - from);
            boundaries[size_t(p)] = finder.isAtBoundary();
        }
        start = end;
        while (start < size && data[start].unicode() < 0x80)
            ++start;
    }
    return boundaries;
}

} // namespace highlighter::characters
