#include "markdown/BlockNode.h"

namespace markdown {

std::optional<RawTableColumnAlignment> rawTableColumnAlignmentFromRawValue(char rawValue)
{
    switch (rawValue) {
    case '\0':
        return RawTableColumnAlignment::none;
    case 'l':
        return RawTableColumnAlignment::left;
    case 'c':
        return RawTableColumnAlignment::center;
    case 'r':
        return RawTableColumnAlignment::right;
    default:
        return std::nullopt;
    }
}

std::vector<BlockNode> BlockNode::blockChildren() const
{
    return std::visit(
        [](const auto& node) -> std::vector<BlockNode> {
            using Case = std::decay_t<decltype(node)>;
            if constexpr (std::is_same_v<Case, Blockquote>) {
                return node.children;
            } else if constexpr (requires { node.items; }) {
                std::vector<BlockNode> children;
                for (const auto& item : node.items)
                    children.insert(children.end(), item.children.begin(), item.children.end());
                return children;
            } else {
                return {};
            }
        },
        value);
}

void hashInto(Hasher& hasher, const RawListItem& item) { hashList(hasher, item.children); }

void hashInto(Hasher& hasher, const RawTaskListItem& item)
{
    hasher.feedBool(item.isCompleted);
    hashList(hasher, item.children);
}

void hashInto(Hasher& hasher, const RawTableRow& row) { hashList(hasher, row.cells); }

void hashInto(Hasher& hasher, const RawTableCell& cell) { hashList(hasher, cell.content); }

void hashInto(Hasher& hasher, const BlockNode& node)
{
    hasher.feedWord(node.value.index());
    std::visit(
        [&hasher](const auto& n) {
            using Case = std::decay_t<decltype(n)>;
            if constexpr (std::is_same_v<Case, BlockNode::Blockquote>) {
                hashList(hasher, n.children);
            } else if constexpr (std::is_same_v<Case, BlockNode::BulletedList>
                                 || std::is_same_v<Case, BlockNode::TaskList>) {
                hasher.feedBool(n.isTight);
                hashList(hasher, n.items);
            } else if constexpr (std::is_same_v<Case, BlockNode::NumberedList>) {
                hasher.feedBool(n.isTight);
                hasher.feedWord(static_cast<std::uint64_t>(n.start));
                hashList(hasher, n.items);
            } else if constexpr (std::is_same_v<Case, BlockNode::CodeBlock>) {
                hasher.feedBool(n.fenceInfo.has_value());
                if (n.fenceInfo)
                    hasher.feedString(*n.fenceInfo);
                hasher.feedString(n.content);
            } else if constexpr (std::is_same_v<Case, BlockNode::HtmlBlock>) {
                hasher.feedString(n.content);
            } else if constexpr (std::is_same_v<Case, BlockNode::Paragraph>) {
                hashList(hasher, n.content);
            } else if constexpr (std::is_same_v<Case, BlockNode::Heading>) {
                hasher.feedWord(static_cast<std::uint64_t>(n.level));
                hashList(hasher, n.content);
            } else if constexpr (std::is_same_v<Case, BlockNode::Table>) {
                hashList(hasher, n.columnAlignments);
                hashList(hasher, n.rows);
            }
        },
        node.value);
}

} // namespace markdown
