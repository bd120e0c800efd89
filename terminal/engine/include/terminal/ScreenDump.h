#pragma once

#include <string>

namespace terminal {

class Terminal;

// The active screen as text: one line per row, trailing blanks trimmed, then a last line
// "cursor ROW COL" (zero-based).
std::string screenText(const Terminal& terminal);

// The same as JSON: size, cursor, and per row its text, whether it continues the row above, and
// every cell with its character, width, colours ("default", "inverted", a palette index or
// "#rrggbb") and style names.
std::string screenJson(const Terminal& terminal);

} // namespace terminal
