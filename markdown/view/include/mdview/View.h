#pragma once

#include "mdview/Color.h"
#include "mdview/Geometry.h"
#include "mdview/RelativeSize.h"
#include "mdview/RenderNode.h"
#include "mdview/TextStyle.h"

#include "markdown/InlineContent.h"

#include "richtext/AttributedText.h"

#include <QImage>
#include <QUrl>

#include <any>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

namespace remoteimage {
class RemoteImageLoader;
}

namespace mdview {

struct Environment;
struct Theme;
template <typename Configuration> class BlockStyle;
struct EmptyConfiguration;
struct TaskListMarkerConfiguration;
struct ListMarkerConfiguration;
struct TableBorderStyle;
struct TableBackgroundStyle;
class CodeSyntaxHighlighter;
class ImageProvider;
class InlineImageProvider;
struct MarkdownStyle;

// A description of a piece of user interface: an immutable value, cheap to copy. Building it
// under an environment makes its render nodes. Modifiers return new views that wrap this one.
class View {
public:
    View(); // EmptyView

    struct Impl {
        virtual ~Impl() = default;
        virtual RenderNodePtr build(const Environment& environment) const = 0;
    };
    explicit View(std::shared_ptr<const Impl> impl);

    RenderNodePtr build(const Environment& environment) const;

    // Layout modifiers.
    View padding(Edges edges, double length) const;
    View padding(double length) const { return padding(AllEdges, length); }
    View padding(const EdgeInsets& insets) const;
    View frame(std::optional<double> width, std::optional<double> height,
               Alignment alignment = Alignment::center()) const;
    struct FlexibleFrame {
        std::optional<double> minWidth;
        std::optional<double> maxWidth;
        std::optional<double> minHeight;
        std::optional<double> maxHeight;
        Alignment alignment = Alignment::center();
    };
    View frame(const FlexibleFrame& flexible) const;
    View fixedSize(bool horizontal = true, bool vertical = true) const;
    View layoutPriority(double priority) const;
    View offset(double x, double y) const;

    // Decoration.
    View background(const View& background, Alignment alignment = Alignment::center()) const;
    View background(const Color& color) const;
    View overlay(const View& overlay, Alignment alignment = Alignment::center()) const;
    View clipRoundedRect(double cornerRadius) const;

    // Identity and preferences.
    View id(const QString& identifier) const;
    // A click on the view activates the URL through its host, like a link in text.
    View link(const QUrl& url) const;
    // The text assistive technology reads for the view, which hosts expose as an element of
    // their own (an image's alt text).
    View accessibilityLabel(const QString& label) const;
    // Merges a block margin (points) into what this view reports, side by side by maximum.
    View markdownMargin(std::optional<double> top, std::optional<double> bottom) const;
    View markdownMarginTop(double top) const { return markdownMargin(top, std::nullopt); }
    View markdownMarginBottom(double bottom) const { return markdownMargin(std::nullopt, bottom); }

    // Lengths relative to the font of the text style in force, converted to whole points when
    // the view is built.
    View relativeFrame(RelativeSize minWidth, Alignment alignment) const;
    View relativeFrame(std::optional<RelativeSize> width, std::optional<RelativeSize> height,
                       Alignment alignment = Alignment::center()) const;
    View relativePadding(Edges edges, RelativeSize length) const;
    View relativeLineSpacing(RelativeSize spacing) const;
    View markdownMargin(std::optional<RelativeSize> top, std::optional<RelativeSize> bottom) const;
    View markdownMarginTop(RelativeSize top) const { return markdownMargin(top, std::optional<RelativeSize>{}); }
    View markdownMarginBottom(RelativeSize bottom) const
    {
        return markdownMargin(std::optional<RelativeSize>{}, bottom);
    }

    // Markdown settings for the subtree.
    View markdownTheme(const Theme& theme) const;
    // Appends a style to the base text style: the built style wins where both write.
    View markdownTextStyle(std::function<TextStyle()> textStyle) const;
    // Replaces one of the theme's text styles.
    View markdownTextStyle(TextStyle Theme::*field, const std::function<TextStyle()>& textStyle) const;
    // Replaces one of the theme's block styles.
    template <typename Configuration>
    View markdownBlockStyle(BlockStyle<Configuration> Theme::*field,
                            std::function<View(const Configuration&)> body) const;
    View markdownBlockStyle(BlockStyle<EmptyConfiguration> Theme::*field, std::function<View()> body) const;
    [[deprecated("Use markdownBlockStyle with a configuration body")]] View markdownBlockStyleLabel(
        BlockStyle<struct BlockConfiguration> Theme::*field, std::function<View(const View& label)> body) const;
    [[deprecated("Use markdownBlockStyle with a configuration body")]] View markdownBlockStyleLabel(
        BlockStyle<struct CodeBlockConfiguration> Theme::*field, std::function<View(const View& label)> body) const;
    View markdownHeadingStyle(int level, std::function<View(const struct BlockConfiguration&)> body) const;
    View markdownTaskListMarker(const BlockStyle<TaskListMarkerConfiguration>& style) const;
    View markdownBulletedListMarker(const BlockStyle<ListMarkerConfiguration>& style) const;
    View markdownNumberedListMarker(const BlockStyle<ListMarkerConfiguration>& style) const;
    View markdownCodeSyntaxHighlighter(std::shared_ptr<const CodeSyntaxHighlighter> highlighter) const;
    View markdownImageProvider(std::shared_ptr<const ImageProvider> provider) const;
    View markdownInlineImageProvider(std::shared_ptr<const InlineImageProvider> provider) const;
    View markdownSoftBreakMode(markdown::SoftBreak::Mode mode) const;
    View markdownTableBorderStyle(const TableBorderStyle& style) const;
    View markdownTableBackgroundStyle(const TableBackgroundStyle& style) const;
    // The loader the remote images of the subtree load through; null stands for the shared one.
    View remoteImageLoader(std::shared_ptr<remoteimage::RemoteImageLoader> loader) const;

    [[deprecated("Styles are set through themes")]] View markdownStyle(const MarkdownStyle&) const { return *this; }
    [[deprecated("Links are handled by the host")]] View onOpenLink(const std::function<void(const QUrl&)>&) const
    {
        return *this;
    }

    // Environment.
    View transformEnvironment(std::function<void(Environment&)> transform) const;
    View foregroundColor(const Color& color) const;
    View lineSpacing(double spacing) const;
    View multilineTextAlignment(HorizontalAlignment alignment) const;

private:
    std::shared_ptr<const Impl> m_impl;
};

namespace detail {
template <typename Build>
struct BuiltViewImpl final : View::Impl {
    explicit BuiltViewImpl(Build b) : make(std::move(b)) {}
    RenderNodePtr build(const Environment& environment) const override { return make(environment); }
    Build make;
};
} // namespace detail

// A view built by a function that makes its render nodes (views with render nodes of their own).
// The function is kept in the view's own allocation: documents make several views per block.
template <typename Build>
    requires std::is_invocable_r_v<RenderNodePtr, const Build&, const Environment&>
View BuiltView(Build build)
{
    return View(std::make_shared<const detail::BuiltViewImpl<Build>>(std::move(build)));
}

// A view whose body is computed from the environment when it is built.
template <typename Body>
    requires std::is_invocable_r_v<View, const Body&, const Environment&>
View EnvironmentReader(Body body)
{
    return BuiltView([body = std::move(body)](const Environment& environment) { return body(environment).build(environment); });
}

namespace detail {
struct StateToken;
void scheduleStateUpdate(const std::weak_ptr<StateToken>& token, std::function<void(std::any&)> change);
View statefulView(std::function<std::any()> makeState,
                  std::function<View(const Environment&, std::any&, const std::weak_ptr<StateToken>&)> body);
} // namespace detail

// Changes the state of a built StatefulView from results that arrive later (loaded images).
// Changes apply on the next turn of the event loop, together, and then the view's content is
// rebuilt and its host laid out again. After the view is gone, updates do nothing.
template <typename State>
class StateHandle {
public:
    explicit StateHandle(std::weak_ptr<detail::StateToken> token) : m_token(std::move(token)) {}
    void update(std::function<void(State&)> change) const
    {
        detail::scheduleStateUpdate(m_token, [change = std::move(change)](std::any& state) {
            change(*std::any_cast<State>(&state));
        });
    }

private:
    std::weak_ptr<detail::StateToken> m_token;
};

// A view with state of its own, starting from `initial` each time it is built.
template <typename State>
View StatefulView(State initial,
                  std::function<View(const Environment&, const State&, const StateHandle<State>&)> body)
{
    return detail::statefulView([initial = std::move(initial)] { return std::any(initial); },
                                [body = std::move(body)](const Environment& environment, std::any& state,
                                                         const std::weak_ptr<detail::StateToken>& token) {
                                    return body(environment, *std::any_cast<State>(&state), StateHandle<State>(token));
                                });
}

View EmptyView();
// Flexible space along the enclosing stack's axis, at least minLength.
View Spacer(double minLength = 0);

View VStack(std::vector<View> children, HorizontalAlignment alignment = HorizontalAlignment::center,
            std::optional<double> spacing = {});
View HStack(std::vector<View> children, VerticalAlignment alignment = VerticalAlignment::center,
            std::optional<double> spacing = {});
// A vertical stack whose gap between two neighbours comes from their block margins (the
// previous child's, the next child's), as reported once they are built.
using GapBetween = std::function<double(const BlockMargin& previous, const BlockMargin& next)>;
View VStackByMargins(std::vector<View> children, HorizontalAlignment alignment, GapBetween gap);
// Replaces the children of a stack built by VStackByMargins from position `from` on with
// `children` (empty ones left out) and takes its gaps anew from `gap`; the children before
// `from` keep their nodes, with what is laid out and selected in them. The stack's owner is
// told to lay out again.
void replaceStackChildren(RenderNode& stack, std::size_t from, std::vector<RenderNodePtr> children,
                          const GapBetween& gap);

// The children of a lazily built vertical stack: how many there are, how to build one, and how
// tall one is likely to be at a width before it is measured (a rough figure will do: the stack
// scales it by what the children measured so far turned out to be).
struct LazyStackContent {
    std::size_t count = 0;
    std::function<RenderNodePtr(std::size_t index)> build;
    std::function<double(std::size_t index, double width)> estimate;
    // Called when the stack lets go of a child it built (far from what is shown); the child is
    // built again when it is needed.
    std::function<void(std::size_t index)> released;
    // Told whether the stack is laid out whole (true) or lazily, before it builds a child and
    // whenever that changes; the children built until then are let go.
    std::function<void(bool whole)> layoutMode;
    // How many parts a child is laid out in, 0 (or no function) for a child laid out whole. A
    // child laid out in parts (a block too long to lay out at once) holds, somewhere inside it,
    // a lazy stack of that many children, its parts: the stack builds, measures, lets go of
    // and copies them as it does its own children, so that what the viewport shows of a long
    // child comes first and the rest follows in the background. The child itself stays built.
    std::function<std::size_t(std::size_t index)> parts;
    // For children that each take up where the one before left off (the parts of a paragraph,
    // each beginning with the line the one above left unfinished): told each time a child is
    // measured, true when that changes where the next one begins. The next one is then built
    // and measured again, at once when it is near the viewport, else when the background pass
    // reaches it (at the height it measured until then). Copying reads a child once those
    // before it are measured, and reads it again each time it is measured.
    std::function<bool(std::size_t index, RenderNode& child)> measured;
};
// A vertical stack with gaps from block margins, like VStackByMargins, whose children are built
// and measured only as the host that shows it needs them: those in and near its viewport at
// once, the rest a slice at a time in the background, with estimated heights until then.
// Without a viewport (a host that is not scrolling, a layout for a dump or an image) every child
// is built and measured, and it lays out exactly like VStackByMargins. One inside a child laid
// out in parts (see LazyStackContent::parts) is driven by the stack around it.
View LazyVStack(std::function<LazyStackContent(const Environment&)> content, HorizontalAlignment alignment,
                GapBetween gap);
// Replaces the children of a lazy stack from position `from` on: the children before it keep
// their nodes, with what is laid out and selected in them. The stack's owner is told to lay out
// again.
void replaceLazyStackChildren(RenderNode& stack, std::size_t from, LazyStackContent content);
View ZStack(std::vector<View> children, Alignment alignment = Alignment::center());

// Children left to right in rows, a new row when the next child does not fit; items of a row
// align at its bottom.
View Flow(std::vector<View> children, double horizontalSpacing, double verticalSpacing);

// The geometry of a laid-out grid, in the grid's own coordinates.
struct TableBounds {
    struct Row {
        double minY = 0;
        double height = 0;
        friend bool operator==(const Row&, const Row&) = default;
    };
    struct Column {
        double minX = 0;
        double width = 0;
        friend bool operator==(const Column&, const Column&) = default;
    };
    QRectF bounds;
    std::vector<Row> rows;
    std::vector<Column> columns;
    // The row of the table `rows` starts at: the layers of a long grid are built from the rows
    // around what is shown (see PartedGrid).
    std::size_t firstRow = 0;

    QRectF cell(std::size_t row, std::size_t column) const;
    friend bool operator==(const TableBounds&, const TableBounds&) = default;
};

// Rows of cells in aligned columns; short rows leave their last cells empty. Layers built from
// the grid's own geometry are drawn behind and above the cells.
struct GridOptions {
    double horizontalSpacing = 0;
    double verticalSpacing = 0;
    std::vector<HorizontalAlignment> columnAlignments; // missing entries: leading
    std::function<View(const TableBounds&)> background;
    std::function<View(const TableBounds&)> overlay;
    // The columns' widths before they are fitted to the width offered, when they are not the
    // widest cells' (the parts of a PartedGrid share those of the whole).
    std::shared_ptr<const std::vector<double>> idealColumnWidths;
};
View Grid(std::vector<std::vector<View>> rows, GridOptions options = {});

// A grid too long to lay out at once, in parts of consecutive rows that the lazy stack around it
// builds, measures, lets go of and copies as its own children (see LazyStackContent::parts):
// `row` makes the cells of a row; `starts` holds the first row of each part, then the row
// count. The columns are as wide as the widest cells of the first `widthRows` rows (a later cell
// wider than its column wraps inside it), and the layers are built from the geometry of the rows
// built around what is shown, their bounds starting at the first of them.
struct GridParts {
    std::vector<std::size_t> starts;
    std::function<std::vector<View>(std::size_t row)> row;
    std::size_t widthRows = 0;
    std::function<double(std::size_t part, double width)> estimate;
};
View PartedGrid(GridParts parts, GridOptions options);

// Shows the content at its natural size, or scaled down to the offered width keeping the
// aspect ratio; never scales up.
View ResizeToFit(View content);

// Offers the content unlimited width and scrolls it sideways when it is wider than the frame.
View HorizontalScroll(View content);

// Icon before title, aligned on the title's first baseline.
View Label(View title, View icon, double spacing = 6);

// Text: attributed runs laid out over QTextLayout. Runs without a font or colour take those of
// the environment's text style.
// An image drawn in place of the object replacement character at an offset of the text,
// sitting on the baseline.
struct InlineImage {
    qsizetype offset = 0;
    QImage image;
};
// Where a text stands in a text too long to lay out at once, laid out in parts one below the
// other (a paragraph): each part is a text of its own that begins with the line the part above
// left unfinished (see TextNode::runOn), so that the parts break into the lines the text laid
// out whole breaks into. A text on its own is neither continued nor continues.
struct TextContinuation {
    // It continues the lines of a part above: its first line is spaced from theirs as lines
    // are. False for the first part, and for one whose parts above have no line of their own.
    bool above = false;
    // The characters it begins with that continue a run without a space ending the part above:
    // the breaks a long run is given fall where they fall in the whole text.
    qsizetype runBefore = 0;
    // It runs on into a part below: its last line, which its end may have cut short, is neither
    // shown nor measured but left to that part. Its end falls after a space, or inside a run
    // without one that is long enough to be given breaks (see TextNode::longestUnbrokenRun).
    bool below = false;

    friend bool operator==(const TextContinuation&, const TextContinuation&) = default;
};
View Text(richtext::AttributedText text, std::vector<InlineImage> images = {}, TextContinuation continuation = {});
View Text(const QString& text);

// A bitmap; resizable images stretch to the frame they are given.
View Image(const QImage& image, bool resizable = false);

// A small vector symbol drawn at a point size: "circle.fill", "circle", "square.fill", "square",
// "checkmark.square.fill". Unknown names draw nothing and take the size.
View Symbol(const QString& name, double pointSize, std::optional<Color> color = {});

enum class ShapeKind { rectangle, roundedRectangle, circle, capsule };

// How a line is stroked; dash lengths and phase are in pixels.
struct StrokeStyle {
    double lineWidth = 1;
    Qt::PenCapStyle cap = Qt::FlatCap;
    Qt::PenJoinStyle join = Qt::MiterJoin;
    double miterLimit = 10;
    std::vector<double> dash;
    double dashPhase = 0;

    friend bool operator==(const StrokeStyle&, const StrokeStyle&) = default;
};

struct ShapeStyle {
    std::optional<Color> fill;
    std::optional<Color> stroke; // drawn inside the shape's frame
    StrokeStyle strokeStyle;
    double cornerRadius = 0;
};
View Shape(ShapeKind kind, ShapeStyle style);
View Rectangle(const Color& fill);
View RoundedRectangle(double cornerRadius, const Color& fill);

// A thin line across the enclosing stack: horizontal in a vertical stack and elsewhere,
// vertical in a horizontal stack.
View Divider(std::optional<Color> color = {}, double thickness = 1);
View ColorView(const Color& color);

} // namespace mdview
