#pragma once

#include "mdview/View.h"

#include "markdown/MarkdownContent.h"

#include <QString>

#include <functional>
#include <optional>
#include <type_traits>

namespace mdview {

// What a paragraph, heading, block quote, list, list item, image or table style receives.
struct BlockConfiguration {
    View label;                        // the block's default rendering
    markdown::MarkdownContent content; // the block itself as a one-block document
};

struct CodeBlockConfiguration {
    std::optional<QString> language; // the fence information
    QString content;                 // the code
    View label;
};

struct TableCellConfiguration {
    int row = 0; // 0 is the header row
    int column = 0;
    View label;
    markdown::MarkdownContent content;
};

struct ListMarkerConfiguration {
    int listLevel = 1;  // 1 for a list that is not nested
    int itemNumber = 1; // the list's start plus the item's position
};

struct TaskListMarkerConfiguration {
    bool isCompleted = false;
};

// Styles that take no configuration (the thematic break).
struct EmptyConfiguration {};

// A function from a configuration to a view: how a theme draws one kind of block.
template <typename Configuration>
class BlockStyle {
public:
    using Body = std::function<View(const Configuration&)>;

    explicit BlockStyle(Body body) : m_body(std::move(body)) {}

    // For styles without configuration: a body without argument.
    template <typename F, typename C = Configuration,
              typename = std::enable_if_t<std::is_same_v<C, EmptyConfiguration> && std::is_invocable_r_v<View, F>>>
    explicit BlockStyle(F body) : m_body([body = std::move(body)](const EmptyConfiguration&) { return body(); })
    {
    }

    // The style that shows the configuration's label unchanged.
    BlockStyle()
        requires requires(const Configuration& c) { c.label; }
        : m_body([](const Configuration& configuration) { return configuration.label; })
    {
    }

    // Forwards to the current form: a body of the label alone.
    [[deprecated("Use a body that takes the configuration")]] static BlockStyle fromLabel(
        std::function<View(const View&)> body)
        requires requires(const Configuration& c) { c.label; }
    {
        return BlockStyle([body = std::move(body)](const Configuration& c) { return body(c.label); });
    }

    View makeBody(const Configuration& configuration) const { return m_body(configuration); }
    View makeBody() const
        requires std::is_same_v<Configuration, EmptyConfiguration>
    {
        return m_body(EmptyConfiguration{});
    }

private:
    Body m_body;
};

// The built-in list markers, each right-aligned in a box at least 1.5 em wide.
namespace ListMarker {
BlockStyle<ListMarkerConfiguration> disc();
BlockStyle<ListMarkerConfiguration> circle();
BlockStyle<ListMarkerConfiguration> square();
// disc at level 1, circle at level 2, square deeper.
BlockStyle<ListMarkerConfiguration> discCircleSquare();
BlockStyle<ListMarkerConfiguration> decimal();
BlockStyle<ListMarkerConfiguration> upperRoman();
BlockStyle<ListMarkerConfiguration> lowerRoman();
BlockStyle<ListMarkerConfiguration> dash();
} // namespace ListMarker

namespace TaskListMarker {
BlockStyle<TaskListMarkerConfiguration> checkmarkSquare();
} // namespace TaskListMarker

// The point size of a list bullet for text of a base size: a third of it, rounded.
double listBulletSize(const std::optional<FontProperties>& font);

} // namespace mdview
