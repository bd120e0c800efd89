#include "mdview/Environment.h"

#include <mutex>

namespace mdview {

namespace {

std::mutex& defaultThemeMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<const Theme>& defaultThemeSlot()
{
    static std::shared_ptr<const Theme> theme = std::make_shared<const Theme>();
    return theme;
}

template <typename Provider>
std::shared_ptr<const Provider> sharedDefault()
{
    static const auto provider = std::make_shared<const Provider>();
    return provider;
}

} // namespace

Environment::Environment()
    : codeSyntaxHighlighter(sharedDefault<PlainTextCodeSyntaxHighlighter>())
    , imageProvider(sharedDefault<DefaultImageProvider>())
    , inlineImageProvider(sharedDefault<DefaultInlineImageProvider>())
    , tableBorderStyle(defaultTableBorderStyle())
    , tableBackgroundStyle(TableBackgroundStyle::clear())
{
    std::lock_guard lock(defaultThemeMutex());
    m_theme = defaultThemeSlot();
}

void Environment::setDefaultTheme(Theme theme)
{
    auto shared = std::make_shared<const Theme>(std::move(theme));
    std::lock_guard lock(defaultThemeMutex());
    defaultThemeSlot() = std::move(shared);
}

TextStyle Environment::defaultTextStyle()
{
    static const TextStyle style = FontProperties{};
    return style;
}

TableBorderStyle Environment::defaultTableBorderStyle()
{
    static const TableBorderStyle style(TableBorderSelector::allBorders(), Color::secondary(), 1.0);
    return style;
}

View ThematicBreakView()
{
    return EnvironmentReader([](const Environment& environment) { return environment.theme().thematicBreak.makeBody(); });
}

namespace {

// A converted relative length, or absent when the conversion gives no usable length.
std::optional<double> convert(const RelativeSize& size, const AttributeContainer& attributes, const char* what)
{
    return validLength(size.points(attributes.fontProperties), what);
}

} // namespace

View View::relativeFrame(RelativeSize minWidth, Alignment alignment) const
{
    return TextStyleAttributesReader([self = *this, minWidth, alignment](const AttributeContainer& attributes) {
        FlexibleFrame frame;
        frame.minWidth = convert(minWidth, attributes, "a minimum width");
        frame.alignment = alignment;
        return self.frame(frame);
    });
}

View View::relativeFrame(std::optional<RelativeSize> width, std::optional<RelativeSize> height,
                         Alignment alignment) const
{
    return TextStyleAttributesReader([self = *this, width, height, alignment](const AttributeContainer& attributes) {
        return self.frame(width ? convert(*width, attributes, "a frame width") : std::nullopt,
                          height ? convert(*height, attributes, "a frame height") : std::nullopt, alignment);
    });
}

View View::relativePadding(Edges edges, RelativeSize length) const
{
    return TextStyleAttributesReader([self = *this, edges, length](const AttributeContainer& attributes) {
        const auto points = convert(length, attributes, "a padding");
        return points ? self.padding(edges, *points) : self;
    });
}

View View::relativeLineSpacing(RelativeSize spacing) const
{
    return TextStyleAttributesReader([self = *this, spacing](const AttributeContainer& attributes) {
        const auto points = convert(spacing, attributes, "a line spacing");
        return points ? self.lineSpacing(*points) : self;
    });
}

View View::markdownMargin(std::optional<RelativeSize> top, std::optional<RelativeSize> bottom) const
{
    return TextStyleAttributesReader([self = *this, top, bottom](const AttributeContainer& attributes) {
        return self.markdownMargin(top ? convert(*top, attributes, "a top margin") : std::nullopt,
                                   bottom ? convert(*bottom, attributes, "a bottom margin") : std::nullopt);
    });
}

View View::markdownTheme(const Theme& theme) const
{
    return transformEnvironment([theme](Environment& e) { e.setTheme(theme); });
}

View View::markdownTextStyle(std::function<TextStyle()> textStyle) const
{
    return transformEnvironment([textStyle = std::move(textStyle)](Environment& e) {
        e.textStyle = TextStylePair{e.textStyle, textStyle()};
    });
}

View View::markdownTextStyle(TextStyle Theme::*field, const std::function<TextStyle()>& textStyle) const
{
    return transformEnvironment([field, style = textStyle()](Environment& e) {
        Theme theme = e.theme();
        theme.*field = style;
        e.setTheme(std::move(theme));
    });
}

View View::markdownBlockStyle(BlockStyle<EmptyConfiguration> Theme::*field, std::function<View()> body) const
{
    return transformEnvironment([field, style = BlockStyle<EmptyConfiguration>(std::move(body))](Environment& e) {
        Theme theme = e.theme();
        theme.*field = style;
        e.setTheme(std::move(theme));
    });
}

View View::markdownBlockStyleLabel(BlockStyle<BlockConfiguration> Theme::*field,
                                   std::function<View(const View&)> body) const
{
    return markdownBlockStyle<BlockConfiguration>(
        field, [body = std::move(body)](const BlockConfiguration& c) { return body(c.label); });
}

View View::markdownBlockStyleLabel(BlockStyle<CodeBlockConfiguration> Theme::*field,
                                   std::function<View(const View&)> body) const
{
    return markdownBlockStyle<CodeBlockConfiguration>(
        field, [body = std::move(body)](const CodeBlockConfiguration& c) { return body(c.label); });
}

View View::markdownHeadingStyle(int level, std::function<View(const BlockConfiguration&)> body) const
{
    return transformEnvironment([level, body = std::move(body)](Environment& e) {
        e.setTheme(e.theme().withHeading(level, body));
    });
}

View View::markdownTaskListMarker(const BlockStyle<TaskListMarkerConfiguration>& style) const
{
    return transformEnvironment([style](Environment& e) { e.setTheme(e.theme().withTaskListMarker(style)); });
}

View View::markdownBulletedListMarker(const BlockStyle<ListMarkerConfiguration>& style) const
{
    return transformEnvironment([style](Environment& e) { e.setTheme(e.theme().withBulletedListMarker(style)); });
}

View View::markdownNumberedListMarker(const BlockStyle<ListMarkerConfiguration>& style) const
{
    return transformEnvironment([style](Environment& e) { e.setTheme(e.theme().withNumberedListMarker(style)); });
}

View View::markdownCodeSyntaxHighlighter(std::shared_ptr<const CodeSyntaxHighlighter> highlighter) const
{
    return transformEnvironment([highlighter](Environment& e) { e.codeSyntaxHighlighter = highlighter; });
}

View View::markdownImageProvider(std::shared_ptr<const ImageProvider> provider) const
{
    return transformEnvironment([provider](Environment& e) { e.imageProvider = provider; });
}

View View::markdownInlineImageProvider(std::shared_ptr<const InlineImageProvider> provider) const
{
    return transformEnvironment([provider](Environment& e) { e.inlineImageProvider = provider; });
}

View View::markdownSoftBreakMode(markdown::SoftBreak::Mode mode) const
{
    return transformEnvironment([mode](Environment& e) { e.softBreakMode = mode; });
}

View View::markdownTableBorderStyle(const TableBorderStyle& style) const
{
    return transformEnvironment([style](Environment& e) { e.tableBorderStyle = style; });
}

View View::markdownTableBackgroundStyle(const TableBackgroundStyle& style) const
{
    return transformEnvironment([style](Environment& e) { e.tableBackgroundStyle = style; });
}

View View::remoteImageLoader(std::shared_ptr<remoteimage::RemoteImageLoader> loader) const
{
    return transformEnvironment([loader](Environment& e) { e.remoteImageLoader = loader; });
}

} // namespace mdview
