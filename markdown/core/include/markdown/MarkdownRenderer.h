#pragma once

#include "markdown/BlockNode.h"

#include <optional>
#include <string>
#include <vector>

namespace markdown {

// Render blocks back to text through a fresh cmark-gfm tree (options 0, no wrapping).
// Absent only when cmark-gfm cannot create a document. What the model does not hold
// (link titles, list delimiters) is left at cmark-gfm's defaults. Values cmark-gfm cannot
// take are clamped: heading levels to 1...6, list starts to 0...999999999, tables to
// 65535 columns. A table is as wide as its widest row, its header row padded to that
// width, so that the delimiter row matches every row. Ordered items are numbered on from
// the start in linear time; past 999999999 the number repeats (only the first is read back).
std::optional<std::string> renderBlocksAsCommonMark(const std::vector<BlockNode>& blocks);
std::optional<std::string> renderBlocksAsPlainText(const std::vector<BlockNode>& blocks);
std::optional<std::string> renderBlocksAsHTML(const std::vector<BlockNode>& blocks);

} // namespace markdown
