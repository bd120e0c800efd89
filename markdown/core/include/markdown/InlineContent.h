#pragma once

#include "markdown/Builders.h"
#include "markdown/InlineNode.h"

#include <memory>
#include <string>
#include <vector>

namespace markdown {

class InlineContent;
struct InlineContentBuilder;

// A value that stands for inline nodes: InlineContent itself, the inline content types,
// or a client's own type with an inlineContent() member.
template <typename T>
concept InlineContentProtocol = requires(const T& value) {
    { value.inlineContent() } -> std::convertible_to<InlineContent>;
};

// An ordered list of inline nodes: what fills a paragraph, a heading or a table cell.
// Immutable; copies share their storage.
class InlineContent {
public:
    InlineContent();
    explicit InlineContent(std::vector<InlineNode> inlines);

    // Inline statements joined in order; strings are literal text (see InlineContentBuilder).
    template <StatementOf<InlineContentBuilder>... Statements>
    static InlineContent of(const Statements&... statements);

    template <std::invocable<StatementCollector<InlineContentBuilder>&> Body>
    static InlineContent build(Body&& body);

    const std::vector<InlineNode>& inlines() const { return *inlines_; }
    const InlineContent& inlineContent() const { return *this; }

    bool operator==(const InlineContent& other) const;

private:
    std::shared_ptr<const std::vector<InlineNode>> inlines_;
};

// Joins inline statements: a content value contributes its nodes, a string one text node
// holding it verbatim (never parsed: "*a*" stays three characters). Adjacent texts are
// not merged and nothing is inserted between statements.
struct InlineContentBuilder : BuilderOperations<InlineContentBuilder> {
    using List = std::vector<InlineNode>;

    template <typename T> static constexpr bool isElement = InlineContentProtocol<T> || StringLike<T>;

    template <typename T> static void appendElement(List& out, const T& value)
    {
        if constexpr (StringLike<T>) {
            out.push_back(InlineNode::text(std::string(std::string_view(value))));
        } else {
            const InlineContent content = value.inlineContent();
            out.insert(out.end(), content.inlines().begin(), content.inlines().end());
        }
    }
};

template <StatementOf<InlineContentBuilder>... Statements>
InlineContent InlineContent::of(const Statements&... statements)
{
    return InlineContent(InlineContentBuilder::join(statements...));
}

template <std::invocable<StatementCollector<InlineContentBuilder>&> Body>
InlineContent InlineContent::build(Body&& body)
{
    return InlineContent(InlineContentBuilder::build(std::forward<Body>(body)));
}

// A link destination or image source in its absolute string form, kept apart from
// text so that the two cannot be swapped. Resolution against a base address happens
// when the node is drawn.
struct Url {
    std::string absoluteString;
};

// A code span.
class Code {
public:
    explicit Code(std::string text) : text(std::move(text)) {}
    InlineContent inlineContent() const { return InlineContent({InlineNode::code(text)}); }

    std::string text;
};

// Emphasis, Strong and Strikethrough wrap inline statements (a single string is one
// text node).
class Emphasis {
public:
    template <StatementOf<InlineContentBuilder>... Statements>
    explicit Emphasis(const Statements&... statements) : content(InlineContent::of(statements...))
    {
    }
    InlineContent inlineContent() const { return InlineContent({InlineNode::emphasis(content.inlines())}); }

    InlineContent content;
};

class Strong {
public:
    template <StatementOf<InlineContentBuilder>... Statements>
    explicit Strong(const Statements&... statements) : content(InlineContent::of(statements...))
    {
    }
    InlineContent inlineContent() const { return InlineContent({InlineNode::strong(content.inlines())}); }

    InlineContent content;
};

class Strikethrough {
public:
    template <StatementOf<InlineContentBuilder>... Statements>
    explicit Strikethrough(const Statements&... statements) : content(InlineContent::of(statements...))
    {
    }
    InlineContent inlineContent() const { return InlineContent({InlineNode::strikethrough(content.inlines())}); }

    InlineContent content;
};

// A link: InlineLink(Url{...}, statements...) for any link text, or
// InlineLink("text", Url{...}) for plain text.
class InlineLink {
public:
    template <StatementOf<InlineContentBuilder>... Statements>
    explicit InlineLink(Url destination, const Statements&... statements)
        : destination(std::move(destination.absoluteString)), content(InlineContent::of(statements...))
    {
    }
    InlineLink(std::string text, Url destination)
        : destination(std::move(destination.absoluteString)), content(InlineContent::of(text))
    {
    }
    InlineContent inlineContent() const { return InlineContent({InlineNode::link(destination, content.inlines())}); }

    std::string destination;
    InlineContent content;
};

// An image: InlineImage(Url{...}) without alternative text, or InlineImage("alt", Url{...}).
class InlineImage {
public:
    explicit InlineImage(Url source) : source(std::move(source.absoluteString)) {}
    InlineImage(std::string alternativeText, Url source)
        : source(std::move(source.absoluteString)), content(InlineContent::of(alternativeText))
    {
    }
    InlineContent inlineContent() const { return InlineContent({InlineNode::image(source, content.inlines())}); }

    std::string source;
    InlineContent content;
};

class LineBreak {
public:
    InlineContent inlineContent() const { return InlineContent({InlineNode::lineBreak()}); }
};

class SoftBreak {
public:
    // How soft breaks are drawn; not stored in the node, chosen where the text is drawn.
    enum class Mode { space, lineBreak };

    InlineContent inlineContent() const { return InlineContent({InlineNode::softBreak()}); }
};

} // namespace markdown
