#pragma once

// Unicode classification of user-perceived characters, by their first scalar.

#include <QString>
#include <QStringView>

#include <cstring>
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

inline bool isAsciiLetter(char32_t scalar)
{
    return (scalar | 0x20) >= 'a' && (scalar | 0x20) <= 'z';
}

// General category L.
inline bool isLetter(char32_t scalar)
{
    return scalar < 0x80 ? isAsciiLetter(scalar) : QChar::isLetter(scalar);
}

// General categories L and M.
inline bool isLetterOrMark(char32_t scalar)
{
    return scalar < 0x80 ? isAsciiLetter(scalar) : QChar::isLetter(scalar) || QChar::isMark(scalar);
}

// General categories L, M and N.
inline bool isAlphanumeric(char32_t scalar)
{
    if (scalar < 0x80)
        return isAsciiLetter(scalar) || (scalar >= '0' && scalar <= '9');
    return QChar::isLetterOrNumber(scalar) || QChar::isMark(scalar);
}

// A hash of UTF-16 units, four at a time: cheap for the short texts of source code.
inline quint32 hashUnits(QStringView text)
{
    std::uint64_t h = 0x9e3779b97f4a7c15ull ^ std::uint64_t(text.size());
    const char16_t* p = text.utf16();
    qsizetype n = text.size();
    for (; n >= 4; n -= 4, p += 4) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        h = (h ^ word) * 0xff51afd7ed558ccdull;
        h ^= h >> 29;
    }
    if (n > 0) {
        // Assembled in a register: a short copy through memory would stall the load.
        std::uint64_t word = p[0];
        if (n > 1)
            word |= std::uint64_t(p[1]) << 16;
        if (n > 2)
            word |= std::uint64_t(p[2]) << 32;
        h = (h ^ word) * 0xff51afd7ed558ccdull;
        h ^= h >> 29;
    }
    h *= 0xc4ceb9fe1a85ec53ull;
    return quint32(h ^ (h >> 32));
}

// Equal UTF-16 units; no locale, no case folding.
inline bool sameUnits(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a.utf16()[i] != b.utf16()[i])
            return false;
    }
    return true;
}

// Grapheme-cluster boundaries per position (size + 1 entries); empty when the text is all
// ASCII, where every position is a boundary except between a carriage return and a line feed.
std::vector<bool> graphemeBoundaries(const QString& text);

} // namespace highlighter::characters
