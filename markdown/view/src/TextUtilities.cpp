#include "mdview/TextUtilities.h"

#include <QStringList>

#include <array>
#include <utility>

namespace mdview {

QString romanNumeral(long long number)
{
    if (number < 1 || number > 3999)
        return QString::number(number);
    static constexpr std::array<std::pair<int, const char*>, 13> table{{
        {1000, "M"}, {900, "CM"}, {500, "D"}, {400, "CD"}, {100, "C"}, {90, "XC"}, {50, "L"},
        {40, "XL"}, {10, "X"}, {9, "IX"}, {5, "V"}, {4, "IV"}, {1, "I"},
    }};
    QString result;
    for (const auto& [value, letters] : table) {
        for (long long i = number / value; i > 0; --i)
            result += QLatin1String(letters);
        number %= value;
    }
    return result;
}

QString headingIdentifier(const QString& text)
{
    QStringList pieces;
    QString piece;
    // Walk by code point so that letters outside the basic plane count as letters.
    for (qsizetype i = 0; i < text.size();) {
        char32_t c = text.at(i).unicode();
        qsizetype length = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            length = 2;
        }
        if (QChar::isLetterOrNumber(c) || QChar::category(c) == QChar::Mark_NonSpacing
            || QChar::category(c) == QChar::Mark_SpacingCombining) {
            piece += text.mid(i, length);
        } else {
            pieces << piece.toLower();
            piece.clear();
        }
        i += length;
    }
    pieces << piece.toLower();
    if (text.isEmpty())
        return {};
    return pieces.join(QLatin1Char('-'));
}

} // namespace mdview
