#pragma once

#include "markdown/BlockNode.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace markdown {

// The document value: an ordered list of top-level blocks. Immutable; copies share
// their block storage.
class MarkdownContent {
public:
    MarkdownContent();
    explicit MarkdownContent(std::vector<BlockNode> blocks);
    // Parses Markdown text; text the parser yields no document for gives no blocks.
    explicit MarkdownContent(std::string_view markdown);

    const std::vector<BlockNode>& blocks() const { return *blocks_; }

    // The children of every block joined in order (one level only); absent when empty.
    std::optional<MarkdownContent> childContent() const;

    // CommonMark and plain text lose one final line feed; HTML is returned as rendered.
    // A renderer failure gives the empty string.
    std::string renderMarkdown() const;
    std::string renderPlainText() const;
    std::string renderHTML() const;

    bool operator==(const MarkdownContent& other) const;

private:
    std::shared_ptr<const std::vector<BlockNode>> blocks_;
};

} // namespace markdown
