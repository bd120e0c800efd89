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

// Bounds of the rest of cmark-gfm's work that grows faster than the text, estimated before
// parsing. Past one, the parser rewrites the costliest paragraphs so that their marks of that
// kind show as text (emphasis, images), parses without bare links (domain, parenthesis and
// address scans), or caps the depth of containers (nesting); the text always shows.
// Emphasis: the steps of cmark-gfm's delimiter matching (closers walking back to their openers)
// and of the links made walking the pending delimiters, per paragraph, summed.
inline constexpr std::uint64_t maxEmphasisWork = 50'000'000;
// Links walk the pending image openers: "![" times "]", per paragraph, summed.
inline constexpr std::uint64_t maxImageWork = 20'000'000;
// Failed "www." links rescan the domain after them: bytes scanned.
inline constexpr std::uint64_t maxDomainScanWork = 50'000'000;
// Bare links trim closing parentheses one at a time, counting them anew: parentheses times length.
inline constexpr std::uint64_t maxLinkParenthesisWork = 50'000'000;
// Each "@" scans the address characters after it: bytes scanned.
inline constexpr std::uint64_t maxEmailScanWork = 50'000'000;
// Each line walks its open block quotes and list items: containers summed over lines.
inline constexpr std::uint64_t maxNestingWork = 10'000'000;

// Parses UTF-8 Markdown (CommonMark with the autolink, strikethrough, tagfilter, tasklist
// and table extensions) into the document model. Absent only when cmark-gfm yields no
// document. Safe to call from any number of threads at once.
std::optional<std::vector<BlockNode>> parseMarkdownBlocks(std::string_view markdown);

} // namespace markdown
