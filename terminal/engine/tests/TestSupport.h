#pragma once

#include "terminal/Buffer.h"

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace terminal::test {

// A buffer as a terminal sets one up: the screen's rows in place, wrap-around on.
std::unique_ptr<Buffer> makeBuffer(int cols, int rows, std::optional<int> scrollback = 1000);

// Prints UTF-8 text at the cursor, each scalar with its column width; "\n" is a carriage
// return and line feed (scrolling at the bottom of the region). Zero-width scalars join the
// cell before them.
void write(Buffer& buffer, std::string_view text, Attribute attribute = CharData::Null.attribute);

// One row as text: never-written cells as '.', spacers as nothing, trailing '.' trimmed; a
// continuation row starts with '>', any other with '|'.
std::string rowText(const Buffer& buffer, const BufferLine& row);
// Every row of the buffer in order.
std::vector<std::string> rows(const Buffer& buffer);
// The screen's rows (from yBase).
std::vector<std::string> screen(const Buffer& buffer);

// A row made from text: each scalar in a cell of its width ("中" takes two), '.' a
// never-written cell.
BufferLine makeRow(CellTables& tables, std::string_view text, int cols);
std::string rowText(const CellTables& tables, const BufferLine& row);
// The columns text takes, each scalar by its width.
int columnsOf(std::string_view text);

} // namespace terminal::test

namespace terminal {
// How a failed expectation shows a cell.
inline void PrintTo(const CharData& cell, std::ostream* out)
{
    *out << cell.debugDescription();
}
} // namespace terminal
