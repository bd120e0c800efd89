#include "markdown/MarkdownContent.h"

#include "markdown/MarkdownParser.h"
#include "markdown/MarkdownRenderer.h"

namespace markdown {

MarkdownContent::MarkdownContent() : MarkdownContent(std::vector<BlockNode>{}) {}

MarkdownContent::MarkdownContent(std::vector<BlockNode> blocks)
    : blocks_(std::make_shared<const std::vector<BlockNode>>(std::move(blocks)))
{
}

MarkdownContent::MarkdownContent(std::string_view markdown)
    : MarkdownContent(parseMarkdownBlocks(markdown).value_or(std::vector<BlockNode>{}))
{
}

namespace {

std::string withoutFinalLineFeed(std::optional<std::string> text)
{
    if (!text)
        return {};
    if (!text->empty() && text->back() == '\n')
        text->pop_back();
    return std::move(*text);
}

} // namespace

std::string MarkdownContent::renderMarkdown() const { return withoutFinalLineFeed(renderBlocksAsCommonMark(*blocks_)); }

std::string MarkdownContent::renderPlainText() const { return withoutFinalLineFeed(renderBlocksAsPlainText(*blocks_)); }

std::string MarkdownContent::renderHTML() const { return renderBlocksAsHTML(*blocks_).value_or(std::string{}); }

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
