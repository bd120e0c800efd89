#include "markdown/InlineNode.h"

namespace markdown {

const std::vector<InlineNode>* InlineNode::children() const
{
    return std::visit(
        [](const auto& node) -> const std::vector<InlineNode>* {
            if constexpr (requires { node.children; })
                return &node.children;
            else
                return nullptr;
        },
        value);
}

void hashInto(Hasher& hasher, const InlineNode& node)
{
    hasher.feedWord(node.value.index());
    std::visit(
        [&hasher](const auto& n) {
            using Case = std::decay_t<decltype(n)>;
            if constexpr (std::is_same_v<Case, InlineNode::Text>)
                hasher.feedString(n.text);
            else if constexpr (std::is_same_v<Case, InlineNode::Code>)
                hasher.feedString(n.code);
            else if constexpr (std::is_same_v<Case, InlineNode::Html>)
                hasher.feedString(n.html);
            else if constexpr (std::is_same_v<Case, InlineNode::Link>)
                hasher.feedString(n.destination);
            else if constexpr (std::is_same_v<Case, InlineNode::Image>)
                hasher.feedString(n.source);
            if constexpr (requires { n.children; })
                hashList(hasher, n.children);
        },
        node.value);
}

} // namespace markdown
