#pragma once

#include "markdown/BlockNode.h"
#include "markdown/Builders.h"
#include "markdown/MarkdownParser.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace markdown {

class MarkdownContent;
struct MarkdownContentBuilder;

// A value that stands for blocks of a document: MarkdownContent itself, the block
// content types, or a client's own type with a markdownContent() member.
template <typename T>
concept MarkdownContentProtocol = requires(const T& value) {
    { value.markdownContent() } -> std::convertible_to<MarkdownContent>;
};

// The document value: an ordered list of top-level blocks. Immutable; copies share
// their block storage.
class MarkdownContent {
public:
    MarkdownContent();
    explicit MarkdownContent(std::vector<BlockNode> blocks);
    // Parses Markdown text; text the parser yields no document for gives no blocks.
    explicit MarkdownContent(std::string_view markdown);
    // The document of one block that stays shared with its owner until the blocks are first
    // read, when it is copied: a view hands every block it draws to its style this way, and
    // a style seldom reads it, so a long block costs nothing to hand over.
    static MarkdownContent sharing(std::shared_ptr<const BlockNode> block);
    // The document of blocks owned elsewhere (a list item's), shared and never copied.
    static MarkdownContent sharing(std::shared_ptr<const std::vector<BlockNode>> blocks);

    // Block statements joined in order: content values, and strings parsed as Markdown
    // (see MarkdownContentBuilder).
    template <StatementOf<MarkdownContentBuilder>... Statements>
    static MarkdownContent of(const Statements&... statements);

    // The statements the body adds, in order, for content built with control flow.
    template <std::invocable<StatementCollector<MarkdownContentBuilder>&> Body>
    static MarkdownContent build(Body&& body);

    const std::vector<BlockNode>& blocks() const;
    const MarkdownContent& markdownContent() const { return *this; }

    // The children of every block joined in order (one level only); absent when empty.
    std::optional<MarkdownContent> childContent() const;

    // CommonMark and plain text lose one final line feed; HTML is returned as rendered.
    // A renderer failure gives the empty string.
    std::string renderMarkdown() const;
    std::string renderPlainText() const;
    std::string renderHTML() const;

    bool operator==(const MarkdownContent& other) const;

private:
    struct Shared;
    std::shared_ptr<const std::vector<BlockNode>> blocks_;
    std::shared_ptr<Shared> shared_; // instead of blocks_, for a block not copied yet
};

// Joins block statements: a content value contributes its blocks, a string the blocks
// it parses to (a "# Title" statement is a heading, not text). Nothing is merged.
struct MarkdownContentBuilder : BuilderOperations<MarkdownContentBuilder> {
    using List = std::vector<BlockNode>;

    template <typename T> static constexpr bool isElement = MarkdownContentProtocol<T> || StringLike<T>;

    template <typename T> static void appendElement(List& out, const T& value)
    {
        if constexpr (StringLike<T>) {
            std::optional<std::vector<BlockNode>> parsed = parseMarkdownBlocks(std::string_view(value));
            if (parsed)
                out.insert(out.end(), std::make_move_iterator(parsed->begin()), std::make_move_iterator(parsed->end()));
        } else {
            const MarkdownContent content = value.markdownContent();
            out.insert(out.end(), content.blocks().begin(), content.blocks().end());
        }
    }
};

template <StatementOf<MarkdownContentBuilder>... Statements>
MarkdownContent MarkdownContent::of(const Statements&... statements)
{
    return MarkdownContent(MarkdownContentBuilder::join(statements...));
}

template <std::invocable<StatementCollector<MarkdownContentBuilder>&> Body>
MarkdownContent MarkdownContent::build(Body&& body)
{
    return MarkdownContent(MarkdownContentBuilder::build(std::forward<Body>(body)));
}

} // namespace markdown
