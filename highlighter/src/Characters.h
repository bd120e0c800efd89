#pragma once

// Unicode classification of user-perceived characters, by their first scalar.

#include <QString>
#include <QStringView>

#include <vector>

namespace highlighter::characters {

inline char32_t scalarAt(QStringView text, qsizetype position)
{
    const QChar c = text[position];
    if (c.isHighSurrogate() && position + 1 < text.size() && text[position + 1].isLowSurrogate())
        return QChar::surrogateToUcs4(c, text[position + 1]);
    return c.unicode();
}

// Blanks and tabs: general category Zs and U+0009.
inline bool isWhitespace(char32_t scalar)
{
    return scalar == '\t' || (scalar < 0x80 ? scalar == ' ' : QChar::category(scalar) == QChar::Separator_Space);
}

// U+000A to U+000D, U+0085, U+2028 and U+2029.
inline bool isLineBreak(char32_t scalar)
{
    return (scalar >= 0x0A && scalar <= 0x0D) || scalar == 0x85 || scalar == 0x2028 || scalar == 0x2029;
}

// General category L.
inline bool isLetter(char32_t scalar)
{
    return QChar::isLetter(scalar);
}

// General categories L and M.
inline bool isLetterOrMark(char32_t scalar)
{
    return QChar::isLetter(scalar) || QChar::isMark(scalar);
}

// General categories L, M and N.
inline bool isAlphanumeric(char32_t scalar)
{
    return QChar::isLetterOrNumber(scalar) || QChar::isMark(scalar);
}

// Grapheme-cluster boundaries per position (size + 1 entries); empty when the text is all
// ASCII, where every position is a boundary except between a carriage return and a line feed.
std::vector<bool> graphemeBoundaries(const QString& text);

} // namespace highlighter::characters
