#include "feedback/Payment.h"

#include <algorithm>
#include <limits>

namespace plendra {

namespace {

__extension__ using Int128 = __int128;

constexpr int maxExactScale = 36; // 10^36 fits 128 bits with room for a factor of 12

Int128 powerOfTen(int exponent)
{
    Int128 value = 1;
    while (exponent-- > 0)
        value *= 10;
    return value;
}

std::optional<Payment> fitting(Int128 cents)
{
    if (cents > std::numeric_limits<qint64>::max() || cents < std::numeric_limits<qint64>::min())
        return std::nullopt;
    return Payment{qint64(cents)};
}

// amount × 100 as a fraction numerator / denominator, denominator > 0. Scales past what 128 bits
// hold are reduced first: their extra digits are all below one cent in 10^19.
struct Fraction {
    Int128 numerator;
    Int128 denominator;
};

Fraction centsOf(const Decimal& amount)
{
    if (amount.scale <= 2) {
        // A negative scale of more than 20 digits overflows 64 bits for any mantissa but 0.
        const int exponent = std::min(2 - amount.scale, 21);
        return {Int128(amount.mantissa) * powerOfTen(exponent), 1};
    }
    const int exponent = amount.scale - 2;
    if (exponent <= maxExactScale)
        return {amount.mantissa, powerOfTen(exponent)};
    // |mantissa| < 10^19, so the value lies below 10^-17 cents: keep only its sign.
    return {amount.mantissa > 0 ? 1 : amount.mantissa < 0 ? -1 : 0, powerOfTen(maxExactScale)};
}

Int128 wholePart(const Fraction& f)
{
    return f.numerator / f.denominator; // C++ division truncates toward zero
}

Int128 ceilingOf(Int128 numerator, Int128 denominator)
{
    const Int128 quotient = numerator / denominator;
    return quotient * denominator < numerator ? quotient + 1 : quotient;
}

} // namespace

std::optional<Decimal> Decimal::fromString(QStringView text)
{
    qsizetype at = 0;
    const bool negative = !text.isEmpty() && text[0] == u'-';
    if (!text.isEmpty() && (text[0] == u'-' || text[0] == u'+'))
        ++at;
    Int128 mantissa = 0;
    int scale = 0;
    bool sawPoint = false;
    bool sawDigit = false;
    for (; at < text.size(); ++at) {
        const char16_t c = text[at].unicode();
        if (c == u'.' && !sawPoint) {
            sawPoint = true;
            continue;
        }
        if (c < u'0' || c > u'9')
            return std::nullopt;
        sawDigit = true;
        mantissa = mantissa * 10 + (c - u'0');
        if (mantissa > std::numeric_limits<qint64>::max())
            return std::nullopt;
        if (sawPoint)
            ++scale;
    }
    if (!sawDigit)
        return std::nullopt;
    return Decimal{qint64(negative ? -mantissa : mantissa), scale};
}

std::optional<Payment> Payment::weekly(const Decimal& amount)
{
    return fitting(wholePart(centsOf(amount)) * 4);
}

std::optional<Payment> Payment::monthly(const Decimal& amount)
{
    return fitting(wholePart(centsOf(amount)));
}

std::optional<Payment> Payment::yearly(const Decimal& amount)
{
    const Fraction cents = centsOf(amount);
    return fitting(ceilingOf(cents.numerator, cents.denominator * 12));
}

} // namespace plendra

