#pragma once

#include <compare>

namespace terminal {

// A cell coordinate: a column and a row. Whether the row counts from the top of the displayed
// screen or from the oldest row kept in the buffer is said by the function that takes it
// (Buffer::cellAtScreen, Buffer::cellAtBuffer). Positions order row first, then column.
struct Position {
    int col = 0;
    int row = 0;

    friend constexpr bool operator==(Position, Position) = default;
    friend constexpr std::strong_ordering operator<=>(Position a, Position b)
    {
        if (auto byRow = a.row <=> b.row; byRow != 0)
            return byRow;
        return a.col <=> b.col;
    }
};

} // namespace terminal
