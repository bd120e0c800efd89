#include "markdown/MarkdownContent.h"

namespace markdown {

MarkdownContent::MarkdownContent() : MarkdownContent(std::vector<BlockNode>{}) {}

MarkdownContent::MarkdownContent(std::vector<BlockNode> blocks)
    : blocks_(std::make_shared<const std::vector<BlockNode>>(std::move(blocks)))
{
}

std::optional<MarkdownContent> MarkdownContent::childContent() const
{
    std::vector<BlockNode> children;
    for (const BlockNode& block : *blocks_) {
        std::vector<BlockNode> own = block.blockChildren();
        children.insert(children.end(), std::make_move_iterator(own.begin()), std::make_move_iterator(own.end()));
    }
    if (children.empty())
        return std::nullopt;
    return MarkdownContent(std::move(children));
}

bool MarkdownContent::operator==(const MarkdownContent& other) const
{
    return blocks_ == other.blocks_ || *blocks_ == *other.blocks_;
}

} // namespace markdown
