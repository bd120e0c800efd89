#pragma once

// The work of building and laying out a document's blocks, estimated from the model before any
// view is built, and the blocks shown degraded when a document would pass the bound: a block
// of hostile size (a paragraph of hundreds of thousands of links, a table of a hundred
// thousand rows) is drawn as its plain text under a one-line notice, the rest as usual.

#include "mdview/View.h"

#include "markdown/BlockNode.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace mddoc::detail {

// Units of about half a microsecond of building and laying out on an ordinary machine: a byte
// of text is one, a run of styled text a few, a link or image more, a block view a hundred;
// text inside nested blocks counts once more per level, as each level keeps its own copy of
// its content.
std::uint64_t blockWork(const markdown::BlockNode& block);

// The work one block may take (about a second; ordinary blocks take a few thousand units, a
// 3,000-row table under a million), and the work a whole document may take before its
// costliest blocks are shown degraded too (a few times what a large ordinary document takes).
// Only blocks of at least minDegradedWork go for the document's bound: a smaller block costs
// little more than its plain text under a notice would, and a document of many small blocks
// (a long changelog, a hundred thousand headings) is laid out whole.
inline constexpr std::uint64_t maxBlockWork = 2'500'000;
inline constexpr std::uint64_t maxDocumentWork = 8'000'000;
inline constexpr std::uint64_t minDegradedWork = 50'000;

// Which of the blocks to show degraded (true): every block past its bound, then, for a document
// laid out whole, the costliest others of at least minDegradedWork until the rest fit the
// document's (one laid out lazily takes a slice at a time, so only each block's own bound holds);
// none when all fit. Blocks `exempt` (laid out in parts as a viewport needs them) are never
// chosen and count for nothing. Logs one warning naming the bound passed when it chooses any.
std::vector<bool> degradedBlocks(const std::vector<std::shared_ptr<const markdown::BlockNode>>& blocks,
                                 bool wholeDocument = true, const std::vector<bool>& exempt = {});

// A block as its plain text, under a notice that says why; a code block, or a paragraph mostly of
// code spans, in the code face.
mdview::View DegradedBlockView(const markdown::BlockNode& block);

} // namespace mddoc::detail
