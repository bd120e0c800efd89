#include "markdown/InlineRewrite.h"

namespace markdown {

namespace {

// The node with its children replaced; leaves come back unchanged.
InlineNode rebuilt(const InlineNode& node, std::vector<InlineNode> children)
{
    return std::visit(
        [&children](const auto& n) -> InlineNode {
            auto copy = n;
            if constexpr (requires { copy.children; })
                copy.children = std::move(children);
            return InlineNode{std::move(copy)};
        },
        node.value);
}

template <typename Item> std::vector<Item> rewriteItems(const std::vector<Item>& items, const InlineRewriter& rewriter)
{
    std::vector<Item> result = items;
    for (Item& item : result)
        item.children = rewriteInlinesInBlocks(item.children, rewriter);
    return result;
}

} // namespace

std::vector<InlineNode> rewriteInlineNodes(const std::vector<InlineNode>& nodes, const InlineRewriter& rewriter)
{
    std::vector<InlineNode> output;
    output.reserve(nodes.size());
    for (const InlineNode& node : nodes) {
        const std::vector<InlineNode>* children = node.children();
        InlineNode current = children ? rebuilt(node, rewriteInlineNodes(*children, rewriter)) : node;
        std::vector<InlineNode> replacement = rewriter(std::move(current));
        output.insert(output.end(), std::make_move_iterator(replacement.begin()),
                      std::make_move_iterator(replacement.end()));
    }
    return output;
}

std::vector<BlockNode> BlockNode::rewriteInlines(const InlineRewriter& rewriter) const
{
    return {std::visit(
        [&rewriter](const auto& b) -> BlockNode {
            using Case = std::decay_t<decltype(b)>;
            if constexpr (std::is_same_v<Case, Blockquote>) {
                return BlockNode::blockquote(rewriteInlinesInBlocks(b.children, rewriter));
            } else if constexpr (std::is_same_v<Case, BulletedList>) {
                return BlockNode::bulletedList(b.isTight, rewriteItems(b.items, rewriter));
            } else if constexpr (std::is_same_v<Case, NumberedList>) {
                return BlockNode::numberedList(b.isTight, b.start, rewriteItems(b.items, rewriter));
            } else if constexpr (std::is_same_v<Case, TaskList>) {
                return BlockNode::taskList(b.isTight, rewriteItems(b.items, rewriter));
            } else if constexpr (std::is_same_v<Case, Paragraph>) {
                return BlockNode::paragraph(rewriteInlineNodes(b.content, rewriter));
            } else if constexpr (std::is_same_v<Case, Heading>) {
                return BlockNode::heading(b.level, rewriteInlineNodes(b.content, rewriter));
            } else if constexpr (std::is_same_v<Case, Table>) {
                Table table = b;
                for (RawTableRow& row : table.rows)
                    for (RawTableCell& cell : row.cells)
                        cell.content = rewriteInlineNodes(cell.content, rewriter);
                return BlockNode{std::move(table)};
            } else {
                return BlockNode{b};
            }
        },
        value)};
}

std::vector<BlockNode> rewriteInlinesInBlocks(const std::vector<BlockNode>& blocks, const InlineRewriter& rewriter)
{
    std::vector<BlockNode> result;
    result.reserve(blocks.size());
    for (const BlockNode& block : blocks) {
        std::vector<BlockNode> rewritten = block.rewriteInlines(rewriter);
        result.insert(result.end(), std::make_move_iterator(rewritten.begin()), std::make_move_iterator(rewritten.end()));
    }
    return result;
}

std::vector<std::string> textFragments(const InlineNode& node)
{
    if (const auto* n = node.as<InlineNode::Text>())
        return {n->text};
    if (const auto* n = node.as<InlineNode::Code>())
        return {n->code};
    if (const auto* n = node.as<InlineNode::Html>())
        return {n->html};
    if (node.is<InlineNode::SoftBreak>())
        return {" "};
    if (node.is<InlineNode::LineBreak>())
        return {"\n"};
    return {};
}

std::vector<std::string> collectInlineText(const std::vector<InlineNode>& nodes)
{
    std::vector<std::string> fragments;
    for (const InlineNode& node : nodes) {
        if (const std::vector<InlineNode>* children = node.children()) {
            std::vector<std::string> inner = collectInlineText(*children);
            fragments.insert(fragments.end(), std::make_move_iterator(inner.begin()), std::make_move_iterator(inner.end()));
        }
        std::vector<std::string> own = textFragments(node);
        fragments.insert(fragments.end(), std::make_move_iterator(own.begin()), std::make_move_iterator(own.end()));
    }
    return fragments;
}

} // namespace markdown
