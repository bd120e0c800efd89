#include "mdview/View.h"

#include "mdview/Environment.h"
#include "mdview/TextNode.h"

#include "Nodes.h"

#include "richtext/gui/QtConversions.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPalette>

namespace mdview {

using namespace detail;

QPointF alignedOffset(const QSizeF& outer, const QSizeF& inner, Alignment alignment)
{
    double x = 0, y = 0;
    switch (alignment.horizontal) {
    case HorizontalAlignment::leading: break;
    case HorizontalAlignment::center: x = (outer.width() - inner.width()) / 2; break;
    case HorizontalAlignment::trailing: x = outer.width() - inner.width(); break;
    }
    switch (alignment.vertical) {
    case VerticalAlignment::top:
    case VerticalAlignment::firstTextBaseline: break;
    case VerticalAlignment::center: y = (outer.height() - inner.height()) / 2; break;
    case VerticalAlignment::bottom: y = outer.height() - inner.height(); break;
    }
    return {x, y};
}

EdgeInsets EdgeInsets::uniform(Edges edges, double length)
{
    return {edges & Top ? length : 0, edges & Leading ? length : 0, edges & Bottom ? length : 0,
            edges & Trailing ? length : 0};
}

namespace {

// Builds children for a container; empty views take no place (and no spacing) in stacks.
void addChildren(RenderNode& parent, const std::vector<View>& children, const Environment& environment)
{
    parent.reserveChildren(children.size());
    for (const View& child : children) {
        RenderNodePtr node = child.build(environment);
        if (node->isEmpty())
            continue;
        parent.mergeBlockMargin(node->blockMargin());
        parent.addChild(std::move(node));
    }
}

// Wraps one built child into a node that reports the child's margins as its own.
template <typename Node>
RenderNodePtr wrap(std::unique_ptr<Node> node, RenderNodePtr child)
{
    node->mergeBlockMargin(child->blockMargin());
    node->addChild(std::move(child));
    return node;
}

constexpr double defaultStackSpacing = 8;

} // namespace

View::View() : View(EmptyView()) {}

View::View(std::shared_ptr<const Impl> impl) : m_impl(std::move(impl)) {}

RenderNodePtr View::build(const Environment& environment) const
{
    if (!m_impl)
        return std::make_unique<EmptyNode>();
    return m_impl->build(environment);
}

View EmptyView()
{
    static const View empty = BuiltView([](const Environment&) -> RenderNodePtr { return std::make_unique<EmptyNode>(); });
    return empty;
}

namespace detail {

StateNode::StateNode(std::any state, Body body, Environment environment)
    : m_state(std::move(state))
    , m_body(std::move(body))
    , m_environment(std::move(environment))
    , m_token(std::make_shared<StateToken>())
{
    m_token->node = this;
    RenderNodePtr child = m_body(m_environment, m_state, m_token).build(m_environment);
    mergeBlockMargin(child->blockMargin());
    addChild(std::move(child));
}

void StateNode::rebuild()
{
    RenderNodePtr child = m_body(m_environment, m_state, m_token).build(m_environment);
    m_children.clear();
    addChild(std::move(child));
    invalidateLayout();
}

QSizeF StateNode::sizeThatFits(const ProposedSize& proposal)
{
    return m_children.front()->measure(proposal);
}

std::optional<double> StateNode::firstBaseline(const QSizeF& size)
{
    return m_children.front()->firstBaseline(size);
}

void scheduleStateUpdate(const std::weak_ptr<StateToken>& weak, std::function<void(std::any&)> change)
{
    const auto token = weak.lock();
    if (!token || !QCoreApplication::instance())
        return;
    token->pending.push_back(std::move(change));
    if (token->pending.size() > 1)
        return; // already scheduled: the changes apply together
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [weak] {
            const auto token = weak.lock();
            if (!token || !token->node)
                return;
            const auto changes = std::move(token->pending);
            token->pending.clear();
            for (const auto& apply : changes)
                apply(token->node->state());
            token->node->rebuild();
        },
        Qt::QueuedConnection);
}

View statefulView(std::function<std::any()> makeState, StateNode::Body body)
{
    return BuiltView([makeState = std::move(makeState), body = std::move(body)](const Environment& environment) {
        return RenderNodePtr(std::make_unique<StateNode>(makeState(), body, environment));
    });
}

} // namespace detail

View View::padding(const EdgeInsets& insets) const
{
    ModifierNode::Params params;
    params.insets = insets;
    return BuiltView([self = *this, params](const Environment& environment) {
        return wrap(std::make_unique<ModifierNode>(ModifierNode::Kind::padding, params), self.build(environment));
    });
}

View View::padding(Edges edges, double length) const
{
    return padding(EdgeInsets::uniform(edges, length));
}

View View::frame(std::optional<double> width, std::optional<double> height, Alignment alignment) const
{
    ModifierNode::Params params;
    params.width = width;
    params.height = height;
    params.alignment = alignment;
    return BuiltView([self = *this, params](const Environment& environment) {
        return wrap(std::make_unique<ModifierNode>(ModifierNode::Kind::frame, params), self.build(environment));
    });
}

View View::frame(const FlexibleFrame& flexible) const
{
    ModifierNode::Params params;
    params.flexible = flexible;
    return BuiltView([self = *this, params](const Environment& environment) {
        return wrap(std::make_unique<ModifierNode>(ModifierNode::Kind::flexibleFrame, params),
                    self.build(environment));
    });
}

View View::fixedSize(bool horizontal, bool vertical) const
{
    ModifierNode::Params params;
    params.fixedHorizontal = horizontal;
    params.fixedVertical = vertical;
    return BuiltView([self = *this, params](const Environment& environment) {
        return wrap(std::make_unique<ModifierNode>(ModifierNode::Kind::fixedSize, params), self.build(environment));
    });
}

View View::offset(double x, double y) const
{
    ModifierNode::Params params;
    params.offset = QPointF(x, y);
    return BuiltView([self = *this, params](const Environment& environment) {
        return wrap(std::make_unique<ModifierNode>(ModifierNode::Kind::offset, params), self.build(environment));
    });
}

View View::clipRoundedRect(double cornerRadius) const
{
    ModifierNode::Params params;
    params.cornerRadius = cornerRadius;
    return BuiltView([self = *this, params](const Environment& environment) {
        return wrap(std::make_unique<ModifierNode>(ModifierNode::Kind::clip, params), self.build(environment));
    });
}

View View::layoutPriority(double priority) const
{
    return BuiltView([self = *this, priority](const Environment& environment) {
        RenderNodePtr node = self.build(environment);
        node->setLayoutPriority(priority);
        return node;
    });
}

View View::background(const View& background, Alignment alignment) const
{
    return BuiltView([self = *this, background, alignment](const Environment& environment) {
        auto node = std::make_unique<DecorationNode>(false, alignment);
        RenderNodePtr content = self.build(environment);
        node->mergeBlockMargin(content->blockMargin());
        node->addChild(std::move(content));
        node->addChild(background.build(environment));
        return RenderNodePtr(std::move(node));
    });
}

View View::background(const Color& color) const
{
    return background(ColorView(color));
}

View View::overlay(const View& overlay, Alignment alignment) const
{
    return BuiltView([self = *this, overlay, alignment](const Environment& environment) {
        auto node = std::make_unique<DecorationNode>(true, alignment);
        RenderNodePtr content = self.build(environment);
        node->mergeBlockMargin(content->blockMargin());
        node->addChild(std::move(content));
        node->addChild(overlay.build(environment));
        return RenderNodePtr(std::move(node));
    });
}

View View::id(const QString& identifier) const
{
    return BuiltView([self = *this, identifier](const Environment& environment) {
        RenderNodePtr node = self.build(environment);
        node->setId(identifier);
        return node;
    });
}

View View::link(const QUrl& url) const
{
    return BuiltView([self = *this, url](const Environment& environment) {
        return wrap(std::make_unique<LinkNode>(url), self.build(environment));
    });
}

View View::accessibilityLabel(const QString& label) const
{
    return BuiltView([self = *this, label](const Environment& environment) {
        RenderNodePtr node = self.build(environment);
        node->setAccessibilityLabel(label);
        return node;
    });
}

View View::markdownMargin(std::optional<double> top, std::optional<double> bottom) const
{
    return BuiltView([self = *this, margin = BlockMargin{top, bottom}](const Environment& environment) {
        RenderNodePtr node = self.build(environment);
        node->mergeBlockMargin(margin);
        return node;
    });
}

View View::transformEnvironment(std::function<void(Environment&)> transform) const
{
    return BuiltView([self = *this, transform = std::move(transform)](const Environment& environment) {
        Environment changed = environment;
        transform(changed);
        return self.build(changed);
    });
}

View View::foregroundColor(const Color& color) const
{
    return transformEnvironment([color](Environment& environment) { environment.foregroundColor = color; });
}

View View::lineSpacing(double spacing) const
{
    return transformEnvironment([spacing](Environment& environment) { environment.lineSpacing = spacing; });
}

View View::multilineTextAlignment(HorizontalAlignment alignment) const
{
    return transformEnvironment(
        [alignment](Environment& environment) { environment.multilineTextAlignment = alignment; });
}

View Spacer(double minLength)
{
    return BuiltView([minLength](const Environment& environment) -> RenderNodePtr {
        return std::make_unique<SpacerNode>(minLength, environment.stackAxis);
    });
}

namespace {

View stack(Axis axis, std::vector<View> children, Alignment alignment, std::optional<double> spacing)
{
    return BuiltView([axis, children = std::move(children), alignment, spacing](const Environment& environment) {
        auto node = std::make_unique<StackNode>(axis, alignment, spacing.value_or(defaultStackSpacing));
        Environment inner = environment;
        inner.stackAxis = axis;
        addChildren(*node, children, inner);
        return RenderNodePtr(std::move(node));
    });
}

} // namespace

View VStack(std::vector<View> children, HorizontalAlignment alignment, std::optional<double> spacing)
{
    return stack(Axis::vertical, std::move(children), {alignment, VerticalAlignment::center}, spacing);
}

View VStackByMargins(std::vector<View> children, HorizontalAlignment alignment, GapBetween gap)
{
    return BuiltView([children = std::move(children), alignment, gap = std::move(gap)](const Environment& environment) {
        auto node = std::make_unique<StackNode>(Axis::vertical, Alignment{alignment, VerticalAlignment::center}, 0);
        Environment inner = environment;
        inner.stackAxis = Axis::vertical;
        addChildren(*node, children, inner);
        node->setGaps(gap);
        return RenderNodePtr(std::move(node));
    });
}

namespace detail {

void StackNode::setGaps(const GapBetween& gap)
{
    m_gaps.clear();
    for (std::size_t i = 0; i + 1 < m_children.size(); ++i)
        m_gaps.push_back(gap(m_children[i]->blockMargin(), m_children[i + 1]->blockMargin()));
}

} // namespace detail

void replaceStackChildren(RenderNode& stack, std::size_t from, std::vector<RenderNodePtr> children,
                          const GapBetween& gap)
{
    auto& node = dynamic_cast<StackNode&>(stack);
    node.truncate(from);
    for (RenderNodePtr& child : children) {
        if (child->isEmpty())
            continue;
        node.mergeBlockMargin(child->blockMargin());
        node.addChild(std::move(child));
    }
    node.setGaps(gap);
    node.invalidateLayout();
}

View HStack(std::vector<View> children, VerticalAlignment alignment, std::optional<double> spacing)
{
    return stack(Axis::horizontal, std::move(children), {HorizontalAlignment::center, alignment}, spacing);
}

View ZStack(std::vector<View> children, Alignment alignment)
{
    return BuiltView([children = std::move(children), alignment](const Environment& environment) {
        auto node = std::make_unique<ZStackNode>(alignment);
        addChildren(*node, children, environment);
        return RenderNodePtr(std::move(node));
    });
}

View Flow(std::vector<View> children, double horizontalSpacing, double verticalSpacing)
{
    return BuiltView([children = std::move(children), horizontalSpacing, verticalSpacing](const Environment& environment) {
        auto node = std::make_unique<FlowNode>(horizontalSpacing, verticalSpacing);
        Environment inner = environment;
        inner.stackAxis = Axis::horizontal; // spacers and dividers run along the rows
        for (const View& child : children) {
            RenderNodePtr built = child.build(inner);
            node->mergeBlockMargin(built->blockMargin());
            node->addChild(std::move(built));
        }
        return RenderNodePtr(std::move(node));
    });
}

View Grid(std::vector<std::vector<View>> rows, GridOptions options)
{
    return BuiltView([rows = std::move(rows), options = std::move(options)](const Environment& environment) {
        std::vector<std::vector<RenderNodePtr>> built;
        std::vector<std::vector<RenderNode*>> cells;
        for (const auto& row : rows) {
            built.emplace_back();
            cells.emplace_back();
            for (const View& cell : row) {
                built.back().push_back(cell.build(environment));
                cells.back().push_back(built.back().back().get());
            }
        }
        auto node = std::make_unique<GridNode>(std::move(cells), options, environment);
        for (auto& row : built) {
            for (auto& cell : row)
                node->addChild(std::move(cell));
        }
        return RenderNodePtr(std::move(node));
    });
}

View PartedGrid(GridParts parts, GridOptions options)
{
    return BuiltView([parts = std::move(parts), options = std::move(options)](const Environment& environment) {
        // The columns: the widest cells of the first rows, each built and measured alone.
        auto widths = std::make_shared<std::vector<double>>();
        for (std::size_t row = 0; row < std::min(parts.widthRows, parts.starts.back()); ++row) {
            const std::vector<View> cells = parts.row(row);
            widths->resize(std::max(widths->size(), cells.size()), 0);
            for (std::size_t c = 0; c < cells.size(); ++c)
                (*widths)[c] = std::max((*widths)[c], cells[c].build(environment)->measure({}).width());
        }
        GridOptions partOptions = options;
        partOptions.background = nullptr;
        partOptions.overlay = nullptr;
        partOptions.idealColumnWidths = std::move(widths);
        LazyStackContent content;
        content.count = parts.starts.empty() ? 0 : parts.starts.size() - 1;
        content.build = [parts, partOptions, environment](std::size_t part) {
            std::vector<std::vector<View>> rows;
            for (std::size_t row = parts.starts[part]; row < parts.starts[part + 1]; ++row)
                rows.push_back(parts.row(row));
            return Grid(std::move(rows), partOptions).build(environment);
        };
        content.estimate = parts.estimate;
        const double spacing = options.verticalSpacing;
        auto node = std::make_unique<PartedGridNode>(parts.starts, options, environment);
        node->addChild(std::make_unique<LazyStackNode>(std::move(content), HorizontalAlignment::leading,
                                                       [spacing](const BlockMargin&, const BlockMargin&) { return spacing; }));
        return RenderNodePtr(std::move(node));
    });
}

View ResizeToFit(View content)
{
    return BuiltView([content = std::move(content)](const Environment& environment) {
        return wrap(std::make_unique<ResizeToFitNode>(), content.build(environment));
    });
}

View HorizontalScroll(View content)
{
    return BuiltView([content = std::move(content)](const Environment& environment) {
        return wrap(std::make_unique<HorizontalScrollNode>(), content.build(environment));
    });
}

View Label(View title, View icon, double spacing)
{
    return HStack({std::move(icon), std::move(title)}, VerticalAlignment::firstTextBaseline, spacing);
}

namespace {

TextNode::Style textStyleFor(const Environment& environment)
{
    TextNode::Style style;
    const AttributeContainer attributes = environment.textStyle.attributes();
    style.font = TextNode::fontFor(resolveFontProperties(attributes.fontProperties.value_or(FontProperties{})));
    style.color = toQColor(defaultForeground(environment), environment.colorScheme);
    style.lineSpacing = environment.lineSpacing;
    style.alignment = environment.multilineTextAlignment;
    style.selectionColor = environment.colorScheme == ColorScheme::light ? QColor(179, 215, 255) : QColor(63, 99, 139);
    return style;
}

} // namespace

View Text(richtext::AttributedText text, std::vector<InlineImage> images, TextContinuation continuation)
{
    // Shared with every node built from the view, never copied.
    return BuiltView([text = std::make_shared<const richtext::AttributedText>(std::move(text)), images = std::move(images),
                     continuation](const Environment& environment) -> RenderNodePtr {
        return std::make_unique<TextNode>(text, textStyleFor(environment), images, continuation);
    });
}

View Text(const QString& text)
{
    return Text(richtext::AttributedText(text));
}

View Image(const QImage& image, bool resizable)
{
    return BuiltView([image, resizable](const Environment&) -> RenderNodePtr {
        return std::make_unique<ImageNode>(image, resizable);
    });
}

View Symbol(const QString& name, double pointSize, std::optional<Color> color)
{
    return BuiltView([name, pointSize, color](const Environment& environment) -> RenderNodePtr {
        const Color c = color.value_or(defaultForeground(environment));
        return std::make_unique<SymbolNode>(name, std::max(0.0, pointSize), toQColor(c, environment.colorScheme));
    });
}

View Shape(ShapeKind kind, ShapeStyle style)
{
    return BuiltView([kind, style](const Environment& environment) -> RenderNodePtr {
        return std::make_unique<ShapeNode>(kind, style, environment.colorScheme);
    });
}

View Rectangle(const Color& fill)
{
    return Shape(ShapeKind::rectangle, {fill, std::nullopt});
}

View RoundedRectangle(double cornerRadius, const Color& fill)
{
    ShapeStyle style;
    style.fill = fill;
    style.cornerRadius = cornerRadius;
    return Shape(ShapeKind::roundedRectangle, style);
}

View ColorView(const Color& color)
{
    return Rectangle(color);
}

View Divider(std::optional<Color> color, double thickness)
{
    return BuiltView([color, thickness](const Environment& environment) -> RenderNodePtr {
        const Color c = color.value_or(Color::secondary());
        // Outside a stack a divider runs horizontally.
        const Axis axis = environment.stackAxis == Axis::horizontal ? Axis::horizontal : Axis::vertical;
        return std::make_unique<DividerNode>(toQColor(c, environment.colorScheme), thickness, axis);
    });
}

} // namespace mdview
