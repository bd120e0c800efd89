#pragma once

// The top-level blocks of a document as separately built units, and the in-place update of a
// list that grows at its end (text streaming into a long list).

#include "mdview/Environment.h"
#include "mdview/RenderNode.h"

#include "markdown/BlockNode.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace mddoc::detail {

class MarkerFrameNode;
struct BlockParts;

// What the build of a top-level bulleted or numbered list keeps to change its items later.
struct ListItems {
    mdview::RenderNode* stack = nullptr; // the items' block sequence
    mdview::Environment environment;     // what the items were built under
    std::vector<MarkerFrameNode*> markers; // the list's own markers
    double widest = 0;                   // the widest marker inside the list
};

// Builds one top-level block, in `parts` when given (see BlockParts.h); for a bulleted or
// numbered list, also what updateListItems needs.
mdview::RenderNodePtr buildTopLevelBlock(const std::shared_ptr<const markdown::BlockNode>& block,
                                         const mdview::Environment& environment, std::optional<ListItems>& items,
                                         std::shared_ptr<const BlockParts> parts = nullptr);

// Gives a list built by buildTopLevelBlock new items when only items at its end changed: the
// items before the first change keep their nodes. False, changing nothing, when the new block
// is no longer the same kind of list (or nothing is left to keep); then build it anew.
bool updateListItems(ListItems& items, const markdown::BlockNode& before,
                     const std::shared_ptr<const markdown::BlockNode>& after);

// Calls `visit` with each list of child blocks directly below a block: a quote's children, each
// list item's children in order. Nothing for the other kinds.
template <typename Visit>
void forEachChildList(const markdown::BlockNode& block, Visit&& visit)
{
    using markdown::BlockNode;
    if (const auto* q = block.as<BlockNode::Blockquote>()) {
        visit(q->children);
    } else if (const auto* b = block.as<BlockNode::BulletedList>()) {
        for (const auto& item : b->items)
            visit(item.children);
    } else if (const auto* n = block.as<BlockNode::NumberedList>()) {
        for (const auto& item : n->items)
            visit(item.children);
    } else if (const auto* t = block.as<BlockNode::TaskList>()) {
        for (const auto& item : t->items)
            visit(item.children);
    }
}

// Calls `visit` with each inline node of a list and everything below it, walked without
// recursion and in no particular order, until it returns false; false when it did.
template <typename Visit>
bool forEachInline(const std::vector<markdown::InlineNode>& inlines, Visit&& visit)
{
    std::vector<const markdown::InlineNode*> stack;
    stack.reserve(inlines.size() + 8);
    for (const markdown::InlineNode& node : inlines)
        stack.push_back(&node);
    while (!stack.empty()) {
        const markdown::InlineNode* node = stack.back();
        stack.pop_back();
        if (!visit(*node))
            return false;
        if (const auto* children = node->children()) {
            for (const markdown::InlineNode& child : *children)
                stack.push_back(&child);
        }
    }
    return true;
}

// The text of a block and everything below it, walked without recursion.
QString flattenedText(const markdown::BlockNode& block);

// The block with its nesting below `maximumBlockDepth` levels flattened into paragraphs of
// their text; absent when it is not that deep (nothing to change). Never recurses deeper than
// the cap, so content built in code at any depth is safe to copy afterwards.
std::optional<markdown::BlockNode> cappedBlock(const markdown::BlockNode& block);

} // namespace mddoc::detail
