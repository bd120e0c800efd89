#pragma once

#include "markdown/BlockNode.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace markdown {

// Nesting kept as structure; deeper blocks or inlines are lifted into their ancestor at
// the cap with all their text, so hostile nesting cannot exhaust the stack.
inline constexpr int maxBlockDepth = 128;
inline constexpr int maxInlineDepth = 128;

// Above this many estimated table cells, or this much work on wide table lines or on
// table headers, a document is parsed without the table extension (its text still shows):
// cmark-gfm pads every row to the header's width, so a wide header over many short lines
// costs seconds and gigabytes; it takes time quadratic in the cells written on one line;
// and each line that looks like a delimiter row rescans the whole paragraph above it, in
// time that grows with the paragraph's lines times its bytes.
inline constexpr std::uint64_t maxTableCells = 500'000;
inline constexpr std::uint64_t maxTableRowWork = 100'000'000; // sum of squared cells per line
inline constexpr std::uint64_t maxTableHeaderScan = 100'000'000; // lines times bytes of paragraphs rescanned

// Parses UTF-8 Markdown (CommonMark with the autolink, strikethrough, tagfilter, tasklist
// and table extensions) into the document model. Absent only when cmark-gfm yields no
// document. Safe to call from any number of threads at once.
std::optional<std::vector<BlockNode>> parseMarkdownBlocks(std::string_view markdown);

} // namespace markdown
