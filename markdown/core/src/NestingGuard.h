#pragma once

// cmark-gfm walks every open container (block quote, list item) of a line on each line, and a
// blank or lazily continued line costs it that walk for a byte or two: a deep list followed by
// many blank lines is quadratic. These estimate that walk and cap the depth it can reach.

#include <cstdint>
#include <string>
#include <string_view>

namespace markdown::detail {

struct Nesting {
    std::uint64_t work = 0; // open containers summed over the lines, an upper estimate
    std::string capped;     // the text with container markers beyond the cap removed
};

// The work of the text and, when `cap` is set, the text with no line opening containers
// deeper than `cap` (the markers beyond it are dropped; the text after them stays).
Nesting measureNesting(std::string_view text, int cap = 0);

} // namespace markdown::detail
