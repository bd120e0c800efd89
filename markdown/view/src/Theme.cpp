#include "mdview/Theme.h"

#include <QtGlobal>

#include <atomic>

namespace mdview {

Theme::Theme()
    : text(EmptyTextStyle{})
    , code(FontFamilyVariant(FontProperties::FamilyVariant::monospaced))
    , emphasis(FontStyle(FontProperties::Style::italic))
    , strong(FontWeight(Font::Weight::semibold))
    , strikethrough(StrikethroughStyle(LineStyle::single()))
    , link(EmptyTextStyle{})
    , taskListMarker(TaskListMarker::checkmarkSquare())
    , bulletedListMarker(ListMarker::discCircleSquare())
    , numberedListMarker(ListMarker::decimal())
    , thematicBreak([] { return Divider(); })
{
}

std::optional<Color> Theme::textBackgroundColor() const
{
    return text.attributes().backgroundColor;
}

namespace {

template <typename Field, typename Value>
Theme with(const Theme& theme, Field Theme::*field, Value value)
{
    Theme copy = theme;
    copy.*field = std::move(value);
    return copy;
}

BlockStyle<BlockConfiguration> labelStyle(Theme::LabelBody body)
{
    return BlockStyle<BlockConfiguration>(
        [body = std::move(body)](const BlockConfiguration& c) { return body(c.label); });
}

// Levels outside 1 to 6 name no heading: they are ignored rather than trusted as an index.
bool isHeadingLevel(int level)
{
    if (level >= 1 && level <= 6)
        return true;
    static std::atomic_bool warned{false};
    if (!warned.exchange(true))
        qWarning("Ignoring a style for the heading level %d, outside 1 to 6 (reported once)", level);
    return false;
}

} // namespace

Theme Theme::withText(TextStyle style) const { return with(*this, &Theme::text, std::move(style)); }
Theme Theme::withCode(TextStyle style) const { return with(*this, &Theme::code, std::move(style)); }
Theme Theme::withEmphasis(TextStyle style) const { return with(*this, &Theme::emphasis, std::move(style)); }
Theme Theme::withStrong(TextStyle style) const { return with(*this, &Theme::strong, std::move(style)); }
Theme Theme::withStrikethrough(TextStyle style) const
{
    return with(*this, &Theme::strikethrough, std::move(style));
}
Theme Theme::withLink(TextStyle style) const { return with(*this, &Theme::link, std::move(style)); }

Theme Theme::withHeading(int level, BlockBody body) const
{
    if (!isHeadingLevel(level))
        return *this;
    Theme copy = *this;
    copy.heading(level) = BlockStyle<BlockConfiguration>(std::move(body));
    return copy;
}

Theme Theme::withParagraph(BlockBody body) const
{
    return with(*this, &Theme::paragraph, BlockStyle<BlockConfiguration>(std::move(body)));
}
Theme Theme::withBlockquote(BlockBody body) const
{
    return with(*this, &Theme::blockquote, BlockStyle<BlockConfiguration>(std::move(body)));
}
Theme Theme::withCodeBlock(std::function<View(const CodeBlockConfiguration&)> body) const
{
    return with(*this, &Theme::codeBlock, BlockStyle<CodeBlockConfiguration>(std::move(body)));
}
Theme Theme::withImage(BlockBody body) const
{
    return with(*this, &Theme::image, BlockStyle<BlockConfiguration>(std::move(body)));
}
Theme Theme::withList(BlockBody body) const
{
    return with(*this, &Theme::list, BlockStyle<BlockConfiguration>(std::move(body)));
}
Theme Theme::withListItem(BlockBody body) const
{
    return with(*this, &Theme::listItem, BlockStyle<BlockConfiguration>(std::move(body)));
}
Theme Theme::withTaskListMarker(std::function<View(const TaskListMarkerConfiguration&)> body) const
{
    return withTaskListMarker(BlockStyle<TaskListMarkerConfiguration>(std::move(body)));
}
Theme Theme::withTaskListMarker(BlockStyle<TaskListMarkerConfiguration> style) const
{
    return with(*this, &Theme::taskListMarker, std::move(style));
}
Theme Theme::withBulletedListMarker(std::function<View(const ListMarkerConfiguration&)> body) const
{
    return withBulletedListMarker(BlockStyle<ListMarkerConfiguration>(std::move(body)));
}
Theme Theme::withBulletedListMarker(BlockStyle<ListMarkerConfiguration> style) const
{
    return with(*this, &Theme::bulletedListMarker, std::move(style));
}
Theme Theme::withNumberedListMarker(std::function<View(const ListMarkerConfiguration&)> body) const
{
    return withNumberedListMarker(BlockStyle<ListMarkerConfiguration>(std::move(body)));
}
Theme Theme::withNumberedListMarker(BlockStyle<ListMarkerConfiguration> style) const
{
    return with(*this, &Theme::numberedListMarker, std::move(style));
}
Theme Theme::withTable(BlockBody body) const
{
    return with(*this, &Theme::table, BlockStyle<BlockConfiguration>(std::move(body)));
}
Theme Theme::withTableCell(std::function<View(const TableCellConfiguration&)> body) const
{
    return with(*this, &Theme::tableCell, BlockStyle<TableCellConfiguration>(std::move(body)));
}
Theme Theme::withThematicBreak(std::function<View()> body) const
{
    return with(*this, &Theme::thematicBreak, BlockStyle<EmptyConfiguration>(std::move(body)));
}

Theme Theme::withHeadingLabel(int level, LabelBody body) const
{
    if (!isHeadingLevel(level))
        return *this;
    Theme copy = *this;
    copy.heading(level) = labelStyle(std::move(body));
    return copy;
}
Theme Theme::withParagraphLabel(LabelBody body) const { return with(*this, &Theme::paragraph, labelStyle(std::move(body))); }
Theme Theme::withBlockquoteLabel(LabelBody body) const { return with(*this, &Theme::blockquote, labelStyle(std::move(body))); }
Theme Theme::withCodeBlockLabel(LabelBody body) const
{
    return with(*this, &Theme::codeBlock, BlockStyle<CodeBlockConfiguration>(
        [body = std::move(body)](const CodeBlockConfiguration& c) { return body(c.label); }));
}
Theme Theme::withImageLabel(LabelBody body) const { return with(*this, &Theme::image, labelStyle(std::move(body))); }
Theme Theme::withListLabel(LabelBody body) const { return with(*this, &Theme::list, labelStyle(std::move(body))); }
Theme Theme::withListItemLabel(LabelBody body) const { return with(*this, &Theme::listItem, labelStyle(std::move(body))); }
Theme Theme::withTableLabel(LabelBody body) const { return with(*this, &Theme::table, labelStyle(std::move(body))); }

} // namespace mdview
