#pragma once

// Block content declared in code. Each type yields a MarkdownContent of exactly one block
// and can be a statement of MarkdownContent::of / build and of the other block builders.
//
// Constructors take statements, so a single argument of the constructed type itself is a
// copy, not a nesting: write Blockquote(MarkdownContent::of(Blockquote("inner"))) for a
// quote inside a quote.

#include "markdown/InlineContent.h"
#include "markdown/MarkdownContent.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace markdown {

class Blockquote {
public:
    template <StatementOf<MarkdownContentBuilder>... Statements>
    explicit Blockquote(const Statements&... statements) : content(MarkdownContent::of(statements...))
    {
    }
    MarkdownContent markdownContent() const { return MarkdownContent({BlockNode::blockquote(content.blocks())}); }

    MarkdownContent content;
};

class Paragraph {
public:
    template <StatementOf<InlineContentBuilder>... Statements>
    explicit Paragraph(const Statements&... statements) : content(InlineContent::of(statements...))
    {
    }
    MarkdownContent markdownContent() const { return MarkdownContent({BlockNode::paragraph(content.inlines())}); }

    InlineContent content;
};

class Heading {
public:
    enum class Level : std::int64_t { level1 = 1, level2, level3, level4, level5, level6 };

    // 1 to 6; nothing for any other number.
    static std::optional<Level> levelFromRawValue(std::int64_t rawValue);

    template <StatementOf<InlineContentBuilder>... Statements>
    explicit Heading(Level level, const Statements&... statements)
        : level(level), content(InlineContent::of(statements...))
    {
    }
    MarkdownContent markdownContent() const
    {
        return MarkdownContent({BlockNode::heading(static_cast<std::int64_t>(level), content.inlines())});
    }

    Level level;
    InlineContent content;
};

// The text is kept as given: unlike a parsed code block it need not end in a line feed.
class CodeBlock {
public:
    CodeBlock(std::optional<std::string> language, std::string content)
        : language(std::move(language)), content(std::move(content))
    {
    }
    template <std::invocable Content>
        requires std::convertible_to<std::invoke_result_t<Content>, std::string>
    CodeBlock(std::optional<std::string> language, Content&& content)
        : CodeBlock(std::move(language), std::string(std::forward<Content>(content)()))
    {
    }
    MarkdownContent markdownContent() const { return MarkdownContent({BlockNode::codeBlock(language, content)}); }

    std::optional<std::string> language;
    std::string content;
};

class ThematicBreak {
public:
    MarkdownContent markdownContent() const { return MarkdownContent({BlockNode::thematicBreak()}); }
};

// An item of a bulleted or numbered list; its statements are block statements (strings
// are parsed as Markdown).
class ListItem {
public:
    template <StatementOf<MarkdownContentBuilder>... Statements>
    explicit ListItem(const Statements&... statements) : children(MarkdownContentBuilder::join(statements...))
    {
    }
    bool operator==(const ListItem&) const = default;

    std::vector<BlockNode> children;
};

class TaskListItem {
public:
    template <StatementOf<MarkdownContentBuilder>... Statements>
    explicit TaskListItem(bool isCompleted, const Statements&... statements)
        : isCompleted(isCompleted), children(MarkdownContentBuilder::join(statements...))
    {
    }
    bool operator==(const TaskListItem&) const = default;

    bool isCompleted;
    std::vector<BlockNode> children;
};

void hashInto(Hasher& hasher, const ListItem& item);
void hashInto(Hasher& hasher, const TaskListItem& item);

namespace detail {
// One paragraph holding the string as a single text node, unparsed.
std::vector<BlockNode> literalParagraph(std::string_view text);
}

// Joins list items; a string is one item of literal text (not parsed, unlike the
// statements inside an item).
struct ListContentBuilder : BuilderOperations<ListContentBuilder> {
    using List = std::vector<ListItem>;

    template <typename T> static constexpr bool isElement = std::same_as<T, ListItem> || StringLike<T>;

    template <typename T> static void appendElement(List& out, const T& value)
    {
        if constexpr (StringLike<T>) {
            ListItem item;
            item.children = detail::literalParagraph(value);
            out.push_back(std::move(item));
        } else {
            out.push_back(value);
        }
    }
};

// As ListContentBuilder; a string is an open task of literal text.
struct TaskListContentBuilder : BuilderOperations<TaskListContentBuilder> {
    using List = std::vector<TaskListItem>;

    template <typename T> static constexpr bool isElement = std::same_as<T, TaskListItem> || StringLike<T>;

    template <typename T> static void appendElement(List& out, const T& value)
    {
        if constexpr (StringLike<T>) {
            TaskListItem item(false);
            item.children = detail::literalParagraph(value);
            out.push_back(std::move(item));
        } else {
            out.push_back(value);
        }
    }
};

namespace detail {

// The requested tightness, unless an item holds two or more paragraphs directly: then loose.
bool listTightness(bool tight, const std::vector<ListItem>& items);
bool listTightness(bool tight, const std::vector<TaskListItem>& items);
std::vector<RawListItem> rawItems(const std::vector<ListItem>& items);
std::vector<RawTaskListItem> rawItems(const std::vector<TaskListItem>& items);

// Selects the constructor that normalises an item list.
struct FromItems {};

// Items for each element, in order: itemsFor returns list statements of Builder.
template <typename Builder, typename Range, typename ItemsFor>
typename Builder::List itemsForEach(const Range& elements, ItemsFor& itemsFor)
{
    typename Builder::List items;
    for (const auto& element : elements)
        detail::appendStatement<Builder>(items, itemsFor(element));
    return items;
}

} // namespace detail

class BulletedList {
public:
    template <StatementOf<ListContentBuilder>... Items>
    explicit BulletedList(bool tight, const Items&... items) : BulletedList(detail::FromItems{}, tight, ListContentBuilder::join(items...))
    {
    }
    // One call of itemsFor per element, in order; it returns list statements.
    template <std::ranges::input_range Range, typename ItemsFor>
    static BulletedList of(const Range& elements, bool tight, ItemsFor itemsFor)
    {
        return BulletedList(detail::FromItems{}, tight, detail::itemsForEach<ListContentBuilder>(elements, itemsFor));
    }
    MarkdownContent markdownContent() const { return MarkdownContent({BlockNode::bulletedList(tight, items)}); }

    bool tight;
    std::vector<RawListItem> items;

private:
    BulletedList(detail::FromItems, bool tight, const std::vector<ListItem>& items)
        : tight(detail::listTightness(tight, items)), items(detail::rawItems(items))
    {
    }
};

class NumberedList {
public:
    // start is kept as given (0 and negative numbers too).
    template <StatementOf<ListContentBuilder>... Items>
    explicit NumberedList(bool tight, std::int64_t start, const Items&... items)
        : NumberedList(detail::FromItems{}, tight, start, ListContentBuilder::join(items...))
    {
    }
    template <std::ranges::input_range Range, typename ItemsFor>
    static NumberedList of(const Range& elements, bool tight, std::int64_t start, ItemsFor itemsFor)
    {
        return NumberedList(detail::FromItems{}, tight, start, detail::itemsForEach<ListContentBuilder>(elements, itemsFor));
    }
    MarkdownContent markdownContent() const { return MarkdownContent({BlockNode::numberedList(tight, start, items)}); }

    bool tight;
    std::int64_t start;
    std::vector<RawListItem> items;

private:
    NumberedList(detail::FromItems, bool tight, std::int64_t start, const std::vector<ListItem>& items)
        : tight(detail::listTightness(tight, items)), start(start), items(detail::rawItems(items))
    {
    }
};

class TaskList {
public:
    template <StatementOf<TaskListContentBuilder>... Items>
    explicit TaskList(bool tight, const Items&... items) : TaskList(detail::FromItems{}, tight, TaskListContentBuilder::join(items...))
    {
    }
    template <std::ranges::input_range Range, typename ItemsFor>
    static TaskList of(const Range& elements, bool tight, ItemsFor itemsFor)
    {
        return TaskList(detail::FromItems{}, tight, detail::itemsForEach<TaskListContentBuilder>(elements, itemsFor));
    }
    MarkdownContent markdownContent() const { return MarkdownContent({BlockNode::taskList(tight, items)}); }

    bool tight;
    std::vector<RawTaskListItem> items;

private:
    TaskList(detail::FromItems, bool tight, const std::vector<TaskListItem>& items)
        : tight(detail::listTightness(tight, items)), items(detail::rawItems(items))
    {
    }
};

} // namespace markdown

template <> struct std::hash<markdown::ListItem> {
    std::size_t operator()(const markdown::ListItem& item) const { return markdown::hashValue(item); }
};
template <> struct std::hash<markdown::TaskListItem> {
    std::size_t operator()(const markdown::TaskListItem& item) const { return markdown::hashValue(item); }
};
