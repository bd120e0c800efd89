#pragma once

// Linear pre-scans for inputs on which this cmark-gfm is far slower than linear, and the
// decision of how to parse such an input: what to rewrite (keeping its text) and which
// extensions to leave out.

#include "InlineGuard.h"
#include "markdown/BlockNode.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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
TableEstimate estimateTables(std::string_view text);

struct GuardedInput {
    std::string_view text;   // what to parse: the input itself or `rewritten`
    std::string rewritten;
    bool tables = true;      // parse with the table extension
    bool bareLinks = true;   // parse with the autolink extension
    bool placeholders = false; // defused marks are placeholders: turn them back in the tree's strings
    std::vector<std::string> warnings; // one per bound passed, naming it
};

// Measures the text against every bound and decides how to parse it within them. A text
// within all of them is parsed as it is. The result refers to `markdown`; keep it alive.
// Defused marks are written in `style` (escaped where the text holds placeholders of its own).
void guardInput(std::string_view markdown, GuardedInput& result, MarkStyle style = MarkStyle::placeholders);

// parseMarkdownBlocks() with the defused marks written in `style`; defined with the parser.
std::optional<std::vector<BlockNode>> parseMarkdownBlocks(std::string_view markdown, MarkStyle style);

} // namespace markdown::detail
