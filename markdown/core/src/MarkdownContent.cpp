#include "markdown/MarkdownContent.h"

#include "markdown/MarkdownParser.h"
#include "markdown/MarkdownRenderer.h"

#include <mutex>

namespace markdown {

// Copies share it, so that the block is copied once, by whichever copy is read first.
struct MarkdownContent::Shared {
    std::once_flag copied;
    std::shared_ptr<const BlockNode> block;
    std::shared_ptr<const std::vector<BlockNode>> blocks;
};

MarkdownContent::MarkdownContent()
{
    // Empty documents are made for every block a view hands on: they share one vector.
    static const auto none = std::make_shared<const std::vector<BlockNode>>();
    blocks_ = none;
}

MarkdownContent::MarkdownContent(std::vector<BlockNode> blocks)
    : blocks_(std::make_shared<const std::vector<BlockNode>>(std::move(blocks)))
{
}

MarkdownContent::MarkdownContent(std::string_view markdown)
    : MarkdownContent(parseMarkdownBlocks(markdown).value_or(std::vector<BlockNode>{}))
{
}

MarkdownContent MarkdownContent::sharing(std::shared_ptr<const BlockNode> block)
{
    MarkdownContent content;
    content.blocks_.reset();
    content.shared_ = std::make_shared<Shared>();
    content.shared_->block = std::move(block);
    return content;
}

MarkdownContent MarkdownContent::sharing(std::shared_ptr<const std::vector<BlockNode>> blocks)
{
    MarkdownContent content;
    if (blocks)
        content.blocks_ = std::move(blocks);
    return content;
}

const std::vector<BlockNode>& MarkdownContent::blocks() const
{
    if (!shared_)
        return *blocks_;
    std::call_once(shared_->copied, [shared = shared_.get()] {
        shared->blocks = std::make_shared<const std::vector<BlockNode>>(std::vector<BlockNode>{*shared->block});
        shared->block.reset();
    });
    return *shared_->blocks;
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

std::string MarkdownContent::renderMarkdown() const { return withoutFinalLineFeed(renderBlocksAsCommonMark(blocks())); }

std::string MarkdownContent::renderPlainText() const { return withoutFinalLineFeed(renderBlocksAsPlainText(blocks())); }

std::string MarkdownContent::renderHTML() const { return renderBlocksAsHTML(blocks()).value_or(std::string{}); }

std::optional<MarkdownContent> MarkdownContent::childContent() const
{
    std::vector<BlockNode> children;
    for (const BlockNode& block : blocks()) {
        std::vector<BlockNode> own = block.blockChildren();
        children.insert(children.end(), std::make_move_iterator(own.begin()), std::make_move_iterator(own.end()));
    }
    if (children.empty())
        return std::nullopt;
    return MarkdownContent(std::move(children));
}

bool MarkdownContent::operator==(const MarkdownContent& other) const
{
    if (shared_ ? shared_ == other.shared_ : blocks_ == other.blocks_)
        return true;
    return blocks() == other.blocks();
}

} // namespace markdown
