#include "mdview/TextUtilities.h"


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
    if (text.isEmpty())
        return {};
    // Letters, numbers and marks, each other character a hyphen; lowered in one go, as lowering
    // goes character by character.
    QString identifier;
    identifier.reserve(text.size());
    // Walk by code point so that letters outside the basic plane count as letters.
    for (qsizetype i = 0; i < text.size();) {
        char32_t c = text.at(i).unicode();
        qsizetype length = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            length = 2;
        }
        if (QChar::isLetterOrNumber(c) || QChar::category(c) == QChar::Mark_NonSpacing
            || QChar::category(c) == QChar::Mark_SpacingCombining)
            identifier.append(text.constData() + i, length);
        else
            identifier += QLatin1Char('-');
        i += length;
    }
    return std::move(identifier).toLower();
}

} // namespace mdview
