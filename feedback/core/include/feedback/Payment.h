#pragma once

#include <QString>

#include <optional>

namespace plendra {

// An exact decimal number: mantissa × 10^-scale. Money never goes through floating point.
struct Decimal {
    qint64 mantissa = 0;
    int scale = 0; // digits after the point; a negative scale stands for zeros before it

    // Plain decimal text: an optional sign, digits, and optionally a point and more digits
    // ("9.99", "-3", ".5"). Nothing for anything else, or for more digits than 64 bits hold.
    static std::optional<Decimal> fromString(QStringView text);
};

// What a user pays per month, in hundredths of the currency unit. Each constructor converts an
// amount in the currency unit and gives nothing when the result does not fit 64 bits.
struct Payment {
    qint64 amount = 0;

    // Cents dropped to whole ones, times 4 weeks.
    static std::optional<Payment> weekly(const Decimal& amount);
    // Cents dropped to whole ones.
    static std::optional<Payment> monthly(const Decimal& amount);
    // A twelfth of the cents, rounded up.
    static std::optional<Payment> yearly(const Decimal& amount);
};

} // namespace plendra
