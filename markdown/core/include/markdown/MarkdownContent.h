#pragma once

#include "markdown/BlockNode.h"

#include <memory>
#include <optional>
#include <vector>

namespace markdown {

// The document value: an ordered list of top-level blocks. Immutable; copies share
// their block storage.
class MarkdownContent {
public:
    MarkdownContent();
    explicit MarkdownContent(std::vector<BlockNode> blocks);

    const std::vector<BlockNode>& blocks() const { return *blocks_; }

    // The children of every block joined in order (one level only); absent when empty.
    std::optional<MarkdownContent> childContent() const;

    bool operator==(const MarkdownContent& other) const;

private:
    std::shared_ptr<const std::vector<BlockNode>> blocks_;
};

} // namespace markdown
