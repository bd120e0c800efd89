#pragma once

// Linear pre-scans for inputs on which this cmark-gfm is far slower than linear.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace markdown::detail {

// The text with each ill-formed UTF-8 sequence (maximal subpart) replaced by U+FFFD,
// or nothing when the text is well-formed.
std::optional<std::string> repairUtf8(std::string_view text);

// What the tables of a text would cost cmark-gfm. It pads every row to the header's
// width (cells: for each delimiter row, its column count times the lines from the
// header to the next blank line) and it takes time quadratic in the cells written on
// one line (rowWork: the sum of the squared pipe counts of those lines).
struct TableEstimate {
    std::uint64_t cells = 0;
    std::uint64_t rowWork = 0;
};
TableEstimate estimateTables(std::string_view text);

// Every link closed while image openers ("![") are pending walks all of them, so a
// paragraph of many "![" and "]" is cubic-ish in this cmark-gfm. Returns the text with
// "![" written as "!\[" in such paragraphs (outside fenced code), or nothing when no
// paragraph needs it. The text still shows; only those images are lost.
inline constexpr std::uint64_t maxBracketWork = 10'000'000;
std::optional<std::string> defuseImageOpeners(std::string_view text);

} // namespace markdown::detail
