#pragma once

#include "mdview/BlockStyle.h"
#include "mdview/TextStyle.h"

#include <array>
#include <functional>
#include <optional>

namespace mdview {

// The complete look of a rendered document: six text styles and a block style per kind of
// block. A plain value; every builder returns a changed copy and leaves the receiver alone.
struct Theme {
    Theme();

    TextStyle text;
    TextStyle code;
    TextStyle emphasis;
    TextStyle strong;
    TextStyle strikethrough;
    TextStyle link;
    std::array<BlockStyle<BlockConfiguration>, 6> headings; // index 0 is level 1
    BlockStyle<BlockConfiguration> paragraph;
    BlockStyle<BlockConfiguration> blockquote;
    BlockStyle<CodeBlockConfiguration> codeBlock;
    BlockStyle<BlockConfiguration> image;
    BlockStyle<BlockConfiguration> list;
    BlockStyle<BlockConfiguration> listItem;
    BlockStyle<TaskListMarkerConfiguration> taskListMarker;
    BlockStyle<ListMarkerConfiguration> bulletedListMarker;
    BlockStyle<ListMarkerConfiguration> numberedListMarker;
    BlockStyle<BlockConfiguration> table;
    BlockStyle<TableCellConfiguration> tableCell;
    BlockStyle<EmptyConfiguration> thematicBreak;

    BlockStyle<BlockConfiguration>& heading(int level) { return headings.at(std::size_t(level - 1)); }
    const BlockStyle<BlockConfiguration>& heading(int level) const { return headings.at(std::size_t(level - 1)); }

    // The background colour the text style writes into an empty container, if any.
    std::optional<Color> textBackgroundColor() const;

    using BlockBody = std::function<View(const BlockConfiguration&)>;

    Theme withText(TextStyle style) const;
    Theme withCode(TextStyle style) const;
    Theme withEmphasis(TextStyle style) const;
    Theme withStrong(TextStyle style) const;
    Theme withStrikethrough(TextStyle style) const;
    Theme withLink(TextStyle style) const;
    Theme withHeading(int level, BlockBody body) const; // level 1 to 6; another is ignored
    Theme withParagraph(BlockBody body) const;
    Theme withBlockquote(BlockBody body) const;
    Theme withCodeBlock(std::function<View(const CodeBlockConfiguration&)> body) const;
    Theme withImage(BlockBody body) const;
    Theme withList(BlockBody body) const;
    Theme withListItem(BlockBody body) const;
    Theme withTaskListMarker(std::function<View(const TaskListMarkerConfiguration&)> body) const;
    Theme withTaskListMarker(BlockStyle<TaskListMarkerConfiguration> style) const;
    Theme withBulletedListMarker(std::function<View(const ListMarkerConfiguration&)> body) const;
    Theme withBulletedListMarker(BlockStyle<ListMarkerConfiguration> style) const;
    Theme withNumberedListMarker(std::function<View(const ListMarkerConfiguration&)> body) const;
    Theme withNumberedListMarker(BlockStyle<ListMarkerConfiguration> style) const;
    Theme withTable(BlockBody body) const;
    Theme withTableCell(std::function<View(const TableCellConfiguration&)> body) const;
    Theme withThematicBreak(std::function<View()> body) const;

    // Forwarding builders whose bodies take only the label.
    using LabelBody = std::function<View(const View& label)>;
    [[deprecated("Use withHeading with a configuration body")]] Theme withHeadingLabel(int level, LabelBody body) const;
    [[deprecated("Use withParagraph with a configuration body")]] Theme withParagraphLabel(LabelBody body) const;
    [[deprecated("Use withBlockquote with a configuration body")]] Theme withBlockquoteLabel(LabelBody body) const;
    [[deprecated("Use withCodeBlock with a configuration body")]] Theme withCodeBlockLabel(LabelBody body) const;
    [[deprecated("Use withImage with a configuration body")]] Theme withImageLabel(LabelBody body) const;
    [[deprecated("Use withList with a configuration body")]] Theme withListLabel(LabelBody body) const;
    [[deprecated("Use withListItem with a configuration body")]] Theme withListItemLabel(LabelBody body) const;
    [[deprecated("Use withTable with a configuration body")]] Theme withTableLabel(LabelBody body) const;
};

} // namespace mdview
