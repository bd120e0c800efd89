#include "feedback/Payment.h"

#include <limits>

namespace plendra {

namespace {

__extension__ using Int128 = __int128;
__extension__ constexpr Int128 int128Max = Int128(static_cast<unsigned __int128>(-1) >> 1);

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

// Nothing when the cents exceed 128 bits: no payment, not even a twelfth of them, fits 64 bits.
std::optional<Fraction> centsOf(const Decimal& amount)
{
    if (amount.scale <= 2) {
        if (amount.mantissa == 0)
            return Fraction{0, 1};
        // From 10^21 cents per unit on, even a twelfth of any mantissa but 0 is beyond 64 bits.
        if (amount.scale < -18)
            return std::nullopt;
        const Int128 factor = powerOfTen(2 - amount.scale);
        const Int128 mantissa = amount.mantissa;
        if ((mantissa < 0 ? -mantissa : mantissa) > int128Max / factor)
            return std::nullopt;
        return Fraction{mantissa * factor, 1};
    }
    const int exponent = amount.scale - 2;
    if (exponent <= maxExactScale)
        return Fraction{amount.mantissa, powerOfTen(exponent)};
    // |mantissa| < 10^19, so the value lies below 10^-17 cents: keep only its sign.
    return Fraction{amount.mantissa > 0 ? 1 : amount.mantissa < 0 ? -1 : 0, powerOfTen(maxExactScale)};
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
    // Only the cents of a week that fit 64 bits can be multiplied by 4 within 128.
    const std::optional<Fraction> cents = centsOf(amount);
    const std::optional<Payment> perWeek = cents ? fitting(wholePart(*cents)) : std::nullopt;
    return perWeek ? fitting(Int128(perWeek->amount) * 4) : std::nullopt;
}

std::optional<Payment> Payment::monthly(const Decimal& amount)
{
    const std::optional<Fraction> cents = centsOf(amount);
    return cents ? fitting(wholePart(*cents)) : std::nullopt;
}

std::optional<Payment> Payment::yearly(const Decimal& amount)
{
    const std::optional<Fraction> cents = centsOf(amount);
    return cents ? fitting(ceilingOf(cents->numerator, cents->denominator * 12)) : std::nullopt;
}

} // namespace plendra

