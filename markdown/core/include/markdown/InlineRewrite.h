#pragma once

#include "markdown/BlockNode.h"

#include <string>
#include <vector>

namespace markdown {

// Rewrites an inline list deepest first: each container is rebuilt from its rewritten
// children and then handed to the rewriter itself, whose result (possibly empty, possibly
// several nodes) takes the node's place. The rewriter sees every node once and never the
// nodes it returned. Its first exception stops the walk and propagates.
std::vector<InlineNode> rewriteInlineNodes(const std::vector<InlineNode>& nodes, const InlineRewriter& rewriter);

// BlockNode::rewriteInlines over each block, results concatenated in order.
std::vector<BlockNode> rewriteInlinesInBlocks(const std::vector<BlockNode>& blocks, const InlineRewriter& rewriter);

// The plain text of an inline list as fragments in reading order (children first, then
// the node's own): text, code and inline HTML verbatim, a soft break as " ", a line break
// as "\n". Link destinations and image sources never appear. Join with no separator.
std::vector<std::string> collectInlineText(const std::vector<InlineNode>& nodes);

// The fragments a single node contributes by itself (none for containers).
std::vector<std::string> textFragments(const InlineNode& node);

} // namespace markdown
