#pragma once

#include <QString>

namespace mdview {

// Upper-case Roman numerals for 1 to 3999; other numbers as decimal digits.
QString romanNumeral(long long number);

// A heading's text as an identifier: split at every character that is not a letter or digit
// (empty pieces kept), lower-cased, joined with "-".
QString headingIdentifier(const QString& text);

} // namespace mdview
