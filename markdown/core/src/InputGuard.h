#pragma once

// Linear pre-scans for inputs on which this cmark-gfm is far slower than linear.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace markdown::detail {

// The text with each ill-formed UTF-8 sequence (maximal subpart) replaced by U+FFFD,
// or nothing when the text is well-formed.
std::optional<std::string> repairUtf8(std::string_view text);

// What the tables of a text would cost cmark-gfm. It pads every row to the header's
// width (cells: for each delimiter row, its column count times the lines from the
// header to the next blank line) and it takes time quadratic in the cells written on
// one line (rowWork: the sum of the squared pipe counts of those lines). And every line
// that could be a delimiter row makes it look for a header in the paragraph above, again
// after each failed match, in time that grows with the paragraph's lines times its bytes
// (headerScan: that product for the run of non-blank lines above each such line).
struct TableEstimate {
    std::uint64_t cells = 0;
    std::uint64_t rowWork = 0;
    std::uint64_t headerScan = 0;
};

// Every link closed while image openers ("![") are pending walks all of them, so a
// paragraph of many "![" and "]" is cubic-ish in this cmark-gfm. Paragraphs (runs of
// non-blank lines outside fenced code) above this much work are defused.
inline constexpr std::uint64_t maxBracketWork = 10'000'000;

// Every link made while emphasis delimiters ("*", "_", "~") are pending walks all of them,
// so a paragraph of many delimiters and links is quadratic; above maxBracketWork its
// delimiters are written escaped.
struct InputScan {
    TableEstimate tables;
    std::vector<std::pair<std::size_t, std::size_t>> runawayParagraphs; // byte ranges
    std::vector<std::pair<std::size_t, std::size_t>> runawayEmphasis;   // byte ranges
};

InputScan scanInput(std::string_view text);

// The text with "![" written as "!\[" inside the given ranges: the text still shows,
// only those images are lost.
std::string defuseImageOpeners(std::string_view text, const std::vector<std::pair<std::size_t, std::size_t>>& ranges);

// The text with "*", "_" and "~" escaped inside the given ranges: only their emphasis is lost.
std::string defuseEmphasis(std::string_view text, const std::vector<std::pair<std::size_t, std::size_t>>& ranges);

} // namespace markdown::detail
