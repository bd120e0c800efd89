#pragma once

#include <cstddef>
#include <cstdint>

namespace terminal::fuzz {

// The whole engine: a terminal of a size from the input's first bytes gets the rest of the
// input fed in pieces of random sizes, with resizes, resets, soft resets, screen switches,
// scrolled-back views and mouse events between them. After every step its buffers must be
// consistent (cursor, rows within the capacity, scroll region, margins, wide cells with their
// spacers) and the parser's pending data bounded; every reply must be one short control
// sequence with no other control character in it. Aborts on a violation.
int terminalInput(const std::uint8_t* data, std::size_t size);

// The same bytes fed whole and split at random positions (single bytes included) must leave
// the same screens, cursor, modes, attributes, links and folder, and send the same replies.
// Aborts on a difference.
int splitFeedInput(const std::uint8_t* data, std::size_t size);

} // namespace terminal::fuzz
