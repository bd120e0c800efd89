#pragma once

// Readable gtest output for model values (found by argument-dependent lookup).

#include "markdown/BlockNode.h"

#include <ostream>

namespace markdown {

inline void printInlines(const std::vector<InlineNode>& nodes, std::ostream* os);
inline void printBlocks(const std::vector<BlockNode>& blocks, std::ostream* os);

inline void PrintTo(const InlineNode& node, std::ostream* os)
{
    static const char* const names[] = {"text", "softBreak", "lineBreak", "code", "html",
                                        "emphasis", "strong", "strikethrough", "link", "image"};
    *os << names[node.value.index()];
    if (const auto* n = node.as<InlineNode::Text>())
        *os << "(\"" << n->text << "\")";
    else if (const auto* n = node.as<InlineNode::Code>())
        *os << "(\"" << n->code << "\")";
    else if (const auto* n = node.as<InlineNode::Html>())
        *os << "(\"" << n->html << "\")";
    else if (const auto* n = node.as<InlineNode::Link>())
        *os << "<" << n->destination << ">";
    else if (const auto* n = node.as<InlineNode::Image>())
        *os << "<" << n->source << ">";
    if (const auto* children = node.children())
        printInlines(*children, os);
}

inline void PrintTo(const BlockNode& node, std::ostream* os)
{
    std::visit(
        [os](const auto& n) {
            using Case = std::decay_t<decltype(n)>;
            if constexpr (std::is_same_v<Case, BlockNode::Blockquote>) {
                *os << "blockquote";
                printBlocks(n.children, os);
            } else if constexpr (std::is_same_v<Case, BlockNode::BulletedList>
                                 || std::is_same_v<Case, BlockNode::NumberedList>
                                 || std::is_same_v<Case, BlockNode::TaskList>) {
                *os << (std::is_same_v<Case, BlockNode::TaskList> ? "taskList" : "list");
                if constexpr (std::is_same_v<Case, BlockNode::NumberedList>)
                    *os << " start=" << n.start;
                *os << (n.isTight ? " tight" : " loose") << " [";
                for (const auto& item : n.items) {
                    if constexpr (std::is_same_v<Case, BlockNode::TaskList>)
                        *os << (item.isCompleted ? "[x]" : "[ ]");
                    printBlocks(item.children, os);
                    *os << ", ";
                }
                *os << "]";
            } else if constexpr (std::is_same_v<Case, BlockNode::CodeBlock>) {
                *os << "codeBlock(" << (n.fenceInfo ? "\"" + *n.fenceInfo + "\"" : "absent") << ", \"" << n.content
                    << "\")";
            } else if constexpr (std::is_same_v<Case, BlockNode::HtmlBlock>) {
                *os << "htmlBlock(\"" << n.content << "\")";
            } else if constexpr (std::is_same_v<Case, BlockNode::Paragraph>) {
                *os << "paragraph";
                printInlines(n.content, os);
            } else if constexpr (std::is_same_v<Case, BlockNode::Heading>) {
                *os << "heading" << n.level;
                printInlines(n.content, os);
            } else if constexpr (std::is_same_v<Case, BlockNode::Table>) {
                *os << "table(" << n.columnAlignments.size() << " columns) [";
                for (const auto& row : n.rows) {
                    *os << "[";
                    for (const auto& cell : row.cells) {
                        printInlines(cell.content, os);
                        *os << "|";
                    }
                    *os << "]";
                }
                *os << "]";
            } else {
                *os << "thematicBreak";
            }
        },
        node.value);
}

inline void printInlines(const std::vector<InlineNode>& nodes, std::ostream* os)
{
    *os << "{";
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (i)
            *os << ", ";
        PrintTo(nodes[i], os);
    }
    *os << "}";
}

inline void printBlocks(const std::vector<BlockNode>& blocks, std::ostream* os)
{
    *os << "{";
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (i)
            *os << ", ";
        PrintTo(blocks[i], os);
    }
    *os << "}";
}

} // namespace markdown
