#pragma once

// Render nodes of the layout primitives; built by the view factories in View.cpp.

#include "mdview/Color.h"
#include "mdview/RenderNode.h"
#include "mdview/View.h"
#include "mdview/Environment.h"

#include <QImage>
#include <QString>

#include <any>
#include <functional>

namespace mdview {
class TextNode;
}

namespace mdview::detail {

class EmptyNode final : public RenderNode {
public:
    const char* typeName() const override { return "Empty"; }
    bool hasFixedWidth() const override { return true; }
    bool isEmpty() const override { return true; }

protected:
    QSizeF sizeThatFits(const ProposedSize&) override { return {0, 0}; }
};

class SpacerNode final : public RenderNode {
public:
    SpacerNode(double minLength, Axis axis) : m_minLength(minLength), m_axis(axis) {}
    const char* typeName() const override { return "Spacer"; }
    bool isSpacer() const override { return true; }

protected:
    QSizeF sizeThatFits(const ProposedSize& proposal) override;

private:
    double m_minLength;
    Axis m_axis;
};

class ShapeNode final : public RenderNode {
public:
    ShapeNode(ShapeKind kind, ShapeStyle style, ColorScheme scheme)
        : m_kind(kind), m_style(std::move(style)), m_scheme(scheme) {}
    const char* typeName() const override { return "Shape"; }
    QString describe() const override;

protected:
    QSizeF sizeThatFits(const ProposedSize& proposal) override;
    void draw(QPainter& painter, const QRectF& exposed) override;

private:
    ShapeKind m_kind;
    ShapeStyle m_style;
    ColorScheme m_scheme;
};

class DividerNode final : public RenderNode {
public:
    DividerNode(QColor color, double thickness, Axis axis)
        : m_color(color), m_thickness(thickness), m_axis(axis) {}
    const char* typeName() const override { return "Divider"; }
    bool hasFixedWidth() const override { return m_axis == Axis::horizontal; }

protected:
    QSizeF sizeThatFits(const ProposedSize& proposal) override;
    void draw(QPainter& painter, const QRectF& exposed) override;

private:
    QColor m_color;
    double m_thickness;
    Axis m_axis;
};

class ImageNode final : public RenderNode {
public:
    ImageNode(QImage image, bool resizable) : m_image(std::move(image)), m_resizable(resizable) {}
    const char* typeName() const override { return "Image"; }
    bool hasFixedWidth() const override { return !m_resizable; }
    QString describe() const override;

protected:
    QSizeF sizeThatFits(const ProposedSize& proposal) override;
    void draw(QPainter& painter, const QRectF& exposed) override;

private:
    QSizeF naturalSize() const;
    QImage m_image;
    bool m_resizable;
};

class SymbolNode final : public RenderNode {
public:
    SymbolNode(QString name, double pointSize, QColor color)
        : m_name(std::move(name)), m_pointSize(pointSize), m_color(color) {}
    const char* typeName() const override { return "Symbol"; }
    bool hasFixedWidth() const override { return true; }
    QString describe() const override { return m_name; }

protected:
    QSizeF sizeThatFits(const ProposedSize&) override { return {m_pointSize, m_pointSize}; }
    void draw(QPainter& painter, const QRectF& exposed) override;

private:
    QString m_name;
    double m_pointSize;
    QColor m_color;
};

class StackNode final : public RenderNode {
public:
    StackNode(Axis axis, Alignment alignment, double spacing)
        : m_axis(axis), m_alignment(alignment), m_spacing(spacing) {}
    // Gaps between neighbours, one fewer than the children; replaces the uniform spacing.
    void setGaps(std::vector<double> gaps) { m_gaps = std::move(gaps); }
    // Gaps from the block margins of neighbouring children.
    void setGaps(const GapBetween& gap);
    // Drops the children from `from` on.
    void truncate(std::size_t from) { m_children.resize(std::min(from, m_children.size())); }
    const char* typeName() const override { return m_axis == Axis::vertical ? "VStack" : "HStack"; }
    bool hasFixedWidth() const override { return childrenHaveFixedWidth(); }
    std::optional<double> firstBaseline(const QSizeF& size) override;
    RenderNode* hitTest(const QPointF& point) override;

protected:
    QSizeF sizeThatFits(const ProposedSize& proposal) override;
    void placeChildren() override;
    void draw(QPainter& painter, const QRectF& exposed) override;

private:
    struct Layout {
        std::vector<QRectF> frames; // relative to the stack's origin
        QSizeF size;
        // The children's first baselines, when the alignment asked for them: asking again
        // would ask every nested stack twice, and nested lists twice per level.
        std::vector<std::optional<double>> baselines;
    };
    Layout layout(const ProposedSize& proposal);
    Layout layoutVertical(const ProposedSize& proposal);
    Layout layoutHorizontal(const ProposedSize& proposal);
    // Children visible in the exposed band, by binary search over their frames.
    std::pair<std::size_t, std::size_t> visibleRange(const QRectF& exposed) const;

    double gap(std::size_t after) const { return after < m_gaps.size() ? m_gaps[after] : m_spacing; }
    double totalGaps() const;

    Axis m_axis;
    Alignment m_alignment;
    double m_spacing;
    std::vector<double> m_gaps;
    double m_overflow = 0; // how far children draw beyond their frames along the axis
};

// A text as copying gives it: its content, and whether it stands beside the text with content
// before it (set apart by a tab) rather than below it (a line feed), or continues it (a part of
// the same text: nothing between them).
struct TextPiece {
    QString text;
    bool besidePrevious = false;
    bool continuesPrevious = false;
};
// The pieces of laid-out texts in document order.
std::vector<TextPiece> textPieces(const std::vector<TextNode*>& texts);

// A vertical stack of children built on demand (see LazyVStack). Its children are the built
// ones, in order; each position also keeps what its child measured, its block margin and its
// texts for copying, which outlive the child when it is released.
//
// A child laid out in parts holds a stack of this kind inside it (its inner stack), which
// follows this one: it is lazy when this one is, its viewport is this one's, it measures more
// when this one does, and its parts are segments of this one's texts. Such a child is never
// let go.
class LazyStackNode final : public RenderNode {
public:
    LazyStackNode(LazyStackContent content, HorizontalAlignment alignment, GapBetween gap);

    const char* typeName() const override { return "VStack"; }
    std::optional<double> firstBaseline(const QSizeF& size) override;
    RenderNode* hitTest(const QPointF& point) override;

    void replace(std::size_t from, LazyStackContent content);

    // --- What the host drives. Positions are in document coordinates.
    // With a viewport height the stack is lazy; without one every child is built.
    void setViewportHeight(std::optional<double> height);
    bool isLazy() const { return m_viewportHeight.has_value(); }
    // Where the viewport stands: a child and the distance of the viewport's top below the
    // child's top; position count() stands for the end (the distance is then negative).
    struct Anchor {
        std::size_t index = 0;
        double offset = 0;
    };
    Anchor anchor() const;
    void setAnchor(const Anchor& anchor);
    // Anchors the viewport at a document y, or with its bottom at the end; measures what
    // becomes visible. A y inside a child laid out in parts anchors at the part there, so that
    // what the viewport shows stays put while the parts above it settle.
    void scrollTo(double top, bool toEnd);
    double viewportTop();
    // Measures more children, those near the viewport first, until the deadline; releases
    // those far from it. False when every child is measured.
    struct Progress {
        bool visibleChanged = false;
        bool more = false;
    };
    Progress measureMore(double budgetMs);
    // Every child measured at the stack's width, and every part of those laid out in parts.
    bool isSettled() const { return m_cursor >= m_slots.size(); }

    // --- Texts, by segment: a child laid out whole is one segment; one laid out in parts is a
    // segment of its own texts (those outside its parts, taken to come first) and one per part.
    std::size_t segmentCount() const { return m_segmentStarts.back(); }
    // The built node of a segment: the child, or the part; null when not built.
    RenderNode* segmentNode(std::size_t segment) const;
    const std::vector<TextNode*>& segmentTexts(std::size_t segment) const;
    // The texts of a segment for copying; builds and measures it when needed.
    const std::vector<TextPiece>& segmentPieces(std::size_t segment);
    // The segment at a document y, the next one when y falls between two; segmentCount() below
    // the last.
    std::size_t segmentAt(double y);
    // The built segments, in order.
    std::vector<std::size_t> builtSegments() const;

    // The built child at a position, or null.
    RenderNode* builtChild(std::size_t index) const { return m_slots[index].node; }
    // The run of consecutive built children around the one at the viewport's top, [first, last)
    // (every child, laid out whole).
    std::pair<std::size_t, std::size_t> builtRun() const;

    // Told after a segment is built and before one is released, and when the layout changed
    // outside a layout pass (the host lays out again).
    void setObserver(std::function<void(std::size_t segment, bool built)> child, std::function<void()> layout)
    {
        m_childObserver = std::move(child);
        m_layoutObserver = std::move(layout);
    }

protected:
    QSizeF sizeThatFits(const ProposedSize& proposal) override;
    ProposedSize cacheKey(const ProposedSize& proposal) const override;
    void placeChildren() override;
    void draw(QPainter& painter, const QRectF& exposed) override;
    void childLayoutDiscarded(RenderNode& child) override;

private:
    struct Slot {
        RenderNode* node = nullptr; // owned among the children while built
        double height = 0;          // measured at the stack's width
        double width = 0;
        double estimate = -1;       // the content's estimate at the stack's width, once asked
        bool scaled = false;        // its measurement counts in how estimates are scaled
        bool measured = false;
        bool stale = false; // measured, but it begins elsewhere since: at that height until measured again
        bool empty = false; // built to nothing: no height and no gaps
        std::optional<BlockMargin> margin;
        std::vector<TextNode*> texts; // outside the parts, for a child laid out in parts
        std::vector<TextPiece> pieces;
        bool piecesValid = false;
        std::size_t parts = 0;          // what the content says
        LazyStackNode* inner = nullptr; // the stack of its parts, while built
        double innerOffset = 0;         // the inner stack's top below the child's, as last placed
    };
    void setWidth(std::optional<double> width);
    // Whether the children as measured are what a width lays out.
    bool laidOutFor(std::optional<double> width);
    void build(std::size_t index);
    void release(std::size_t index);
    // Measures a child at the stack's width; true when it was not measured.
    bool measureChild(std::size_t index);
    // Measures a child, or builds one measured before; true when either was needed.
    bool showChild(std::size_t index);
    void measureAll();
    // Measures the children in and near the viewport; true when some were not measured.
    bool measureVisible();
    void childChanged(std::size_t index);
    // The child after one that changed where it begins (see LazyStackContent::measured): built
    // and measured again.
    void restart(std::size_t index);
    // Tells the ancestors and the host that the layout changed outside a layout pass.
    void layoutChanged();
    double heightOf(std::size_t index);
    void updateTops();
    // The child at a y in the stack's own coordinates.
    std::size_t localIndexAt(double y) const;
    // The child at a document y, the next one when y falls between two; count() below the last.
    std::size_t indexAt(double y);
    double localViewportTop() const;
    // The children kept built around the viewport: [first, last).
    std::pair<std::size_t, std::size_t> keptRange();
    std::size_t childPosition(std::size_t index) const;
    std::pair<std::size_t, std::size_t> visibleChildren(const QRectF& exposed);
    // The texts of a child for copying; builds and measures it when needed.
    const std::vector<TextPiece>& pieces(std::size_t index);
    // The same, once the children before it that it takes up from are measured (see
    // LazyStackContent::measured).
    const std::vector<TextPiece>& piecesInOrder(std::size_t index);

    // --- Children laid out in parts.
    void countSegments();
    // The child of a segment, and 0 for the child's own texts or 1 + the part.
    std::pair<std::size_t, std::size_t> segmentOf(std::size_t segment) const;
    // Tells a child's inner stack where the viewport stands, from this stack's.
    void followViewport(std::size_t index);
    // The inner stack anchors the viewport at a y of its own.
    void anchorAt(double y);
    void stopAnchoring();

    LazyStackContent m_content;
    HorizontalAlignment m_alignment;
    GapBetween m_gap;
    std::vector<Slot> m_slots;
    std::vector<std::size_t> m_builtIndices; // the position of each child, in order
    std::vector<std::size_t> m_segmentStarts; // the first segment of each child, and the end
    std::vector<double> m_tops;             // of every position, and the end
    bool m_topsValid = false;
    double m_widest = 0;
    bool m_hasWidth = false;
    std::optional<double> m_width; // absent: unlimited
    std::optional<double> m_viewportHeight;
    Anchor m_anchor;
    bool m_innerAnchors = false; // the inner stack of the anchor's child holds the viewport
    LazyStackNode* m_outer = nullptr; // for an inner stack: the stack it follows
    bool m_anchoring = false;         // for an inner stack: it holds the outer one's viewport
    double m_outerViewportTop = 0;    // for an inner stack: the viewport's top, in its coordinates
    double m_measuredSum = 0; // what measured children measured, against what was estimated
    double m_estimatedSum = 0;
    std::size_t m_cursor = 0; // the background pass has measured every position before it
    double m_overflow = 0;
    std::function<void(std::size_t, bool)> m_childObserver;
    std::function<void()> m_layoutObserver;
};

class ZStackNode final : public RenderNode {
public:
    explicit ZStackNode(Alignment alignment) : m_alignment(alignment) {}
    const char* typeName() const override { return "ZStack"; }
    bool hasFixedWidth() const override { return childrenHaveFixedWidth(); }
    std::optional<double> firstBaseline(const QSizeF& size) override;

protected:
    QSizeF sizeThatFits(const ProposedSize& proposal) override;
    void placeChildren() override;

private:
    Alignment m_alignment;
};

class FlowNode final : public RenderNode {
public:
    FlowNode(double horizontalSpacing, double verticalSpacing)
        : m_horizontalSpacing(horizontalSpacing), m_verticalSpacing(verticalSpacing) {}
    const char* typeName() const override { return "Flow"; }

protected:
    QSizeF sizeThatFits(const ProposedSize& proposal) override;
    void placeChildren() override;

private:
    struct Item {
        std::size_t index;
        QSizeF size;
    };
    struct Row {
        QSizeF size;
        std::vector<Item> items;
    };
    std::vector<Row> breakIntoRows(const ProposedSize& proposal);

    double m_horizontalSpacing;
    double m_verticalSpacing;
};

// The background and overlay a grid's options build from its geometry, drawn behind and above
// its cells.
struct GridLayers {
    RenderNodePtr background;
    RenderNodePtr overlay;
    std::optional<TableBounds> bounds; // what they were built from
    // Builds them again when the geometry changed, and places them at `frame`.
    void update(const GridOptions& options, const Environment& environment, const TableBounds& tableBounds,
                const QRectF& frame);
    std::vector<const RenderNode*> list() const;
    // The background, what `between` draws, then the overlay.
    void draw(QPainter& painter, const QRectF& exposed, const std::function<void()>& between) const;
};

class GridNode final : public RenderNode {
public:
    GridNode(std::vector<std::vector<RenderNode*>> cells, GridOptions options, Environment environment)
        : m_cells(std::move(cells)), m_options(std::move(options)), m_environment(std::move(environment)) {}
    const char* typeName() const override { return "Grid"; }
    QString describe() const override;
    std::optional<double> firstBaseline(const QSizeF& size) override;
    const TableBounds& tableBounds() const { return m_bounds; }
    std::vector<const RenderNode*> layers() const override { return m_layers.list(); }

protected:
    QSizeF sizeThatFits(const ProposedSize& proposal) override;
    void placeChildren() override;
    void draw(QPainter& painter, const QRectF& exposed) override;

private:
    struct Metrics {
        std::vector<double> widths;
        std::vector<double> heights;
    };
    Metrics metrics(const ProposedSize& proposal);
    std::size_t columnCount() const;

    std::vector<std::vector<RenderNode*>> m_cells; // owned as children
    GridOptions m_options;
    Environment m_environment;
    TableBounds m_bounds;
    GridLayers m_layers;
};

// A grid in parts of rows (see PartedGrid). Its child is the lazy stack of the parts, each a
// grid of its rows with the columns of the whole; its layers are built from the rows of the
// parts built around what the stack shows.
class PartedGridNode final : public RenderNode {
public:
    PartedGridNode(std::vector<std::size_t> starts, GridOptions options, Environment environment)
        : m_starts(std::move(starts)), m_options(std::move(options)), m_environment(std::move(environment)) {}
    const char* typeName() const override { return "PartedGrid"; }
    std::optional<double> firstBaseline(const QSizeF& size) override { return parts().firstBaseline(size); }
    std::vector<const RenderNode*> layers() const override { return m_layers.list(); }

protected:
    QSizeF sizeThatFits(const ProposedSize& proposal) override { return parts().measure(proposal); }
    void placeChildren() override;
    void draw(QPainter& painter, const QRectF& exposed) override;

private:
    LazyStackNode& parts() const { return static_cast<LazyStackNode&>(*m_children.front()); }

    std::vector<std::size_t> m_starts; // the first row of each part, and the row count
    GridOptions m_options;
    Environment m_environment;
    GridLayers m_layers;
};

class ResizeToFitNode final : public RenderNode {
public:
    const char* typeName() const override { return "ResizeToFit"; }

protected:
    QSizeF sizeThatFits(const ProposedSize& proposal) override;
    void placeChildren() override;
};

class HorizontalScrollNode final : public RenderNode {
public:
    const char* typeName() const override { return "HorizontalScroll"; }
    QString describe() const override;
    double scrollOffset() const { return m_offset; }
    double maximumOffset() const;
    // Scrolls by a delta, clamped to the content; true when the offset changed.
    bool scrollBy(double delta);
    // The scroll indicator under the content, shown while the content is wider than the frame:
    // its track and its thumb, in document coordinates (empty when hidden).
    QRectF indicatorTrack() const;
    QRectF indicatorThumb() const;
    // Moves the thumb by a distance along the track; true when the offset changed.
    bool dragThumbBy(double distance);
    static constexpr double indicatorHeight = 8;
    RenderNode* hitTest(const QPointF& point) override;
    std::optional<double> firstBaseline(const QSizeF& size) override;

protected:
    QSizeF sizeThatFits(const ProposedSize& proposal) override;
    void placeChildren() override;
    void draw(QPainter& painter, const QRectF& exposed) override;

private:
    double m_offset = 0;
    QSizeF m_contentSize;
};

// Single-child modifiers: padding, fixed and flexible frames, fixed size, offset and clipping.
class ModifierNode final : public RenderNode {
public:
    enum class Kind { padding, frame, flexibleFrame, fixedSize, offset, clip };
    struct Params {
        EdgeInsets insets;
        std::optional<double> width, height;               // frame
        View::FlexibleFrame flexible;                      // flexible frame
        Alignment alignment;                               // frames
        bool fixedHorizontal = true, fixedVertical = true; // fixed size
        QPointF offset;                                    // offset
        double cornerRadius = 0;                           // clip
    };
    ModifierNode(Kind kind, Params params) : m_kind(kind), m_params(std::move(params)) {}
    const char* typeName() const override;
    bool hasFixedWidth() const override;
    QString describe() const override;
    std::optional<double> firstBaseline(const QSizeF& size) override;
    RenderNode* hitTest(const QPointF& point) override;

protected:
    QSizeF sizeThatFits(const ProposedSize& proposal) override;
    void placeChildren() override;
    void draw(QPainter& painter, const QRectF& exposed) override;

private:
    RenderNode& child() const { return *m_children.front(); }
    ProposedSize childProposal(const ProposedSize& proposal) const;
    QRectF childFrame(const QRectF& frame);

    Kind m_kind;
    Params m_params;
};

// A content child with a decoration behind (background) or above (overlay) it, sized to the
// content.
class DecorationNode final : public RenderNode {
public:
    DecorationNode(bool isOverlay, Alignment alignment) : m_isOverlay(isOverlay), m_alignment(alignment) {}
    const char* typeName() const override { return m_isOverlay ? "Overlay" : "Background"; }
    bool hasFixedWidth() const override { return m_children.front()->hasFixedWidth(); }
    std::optional<double> firstBaseline(const QSizeF& size) override;
    // What is drawn on top is hit first: the content over a background, an overlay over the content.
    RenderNode* hitTest(const QPointF& point) override;

protected:
    QSizeF sizeThatFits(const ProposedSize& proposal) override;
    void placeChildren() override;
    void draw(QPainter& painter, const QRectF& exposed) override;

private:
    // children: [content, decoration]
    bool m_isOverlay;
    Alignment m_alignment;
};

// Makes its child a link: a click on it activates the URL through the host.
class LinkNode final : public RenderNode {
public:
    explicit LinkNode(QUrl url) : m_url(std::move(url)) {}
    const char* typeName() const override { return "Link"; }
    QString describe() const override { return m_url.toString(); }
    bool hasFixedWidth() const override { return childrenHaveFixedWidth(); }
    std::optional<double> firstBaseline(const QSizeF& size) override { return m_children.front()->firstBaseline(size); }
    const QUrl& url() const { return m_url; }

protected:
    QSizeF sizeThatFits(const ProposedSize& proposal) override { return m_children.front()->measure(proposal); }

private:
    QUrl m_url;
};

struct StateToken;

// Owns the state of a StatefulView and rebuilds its content when the state changes.
class StateNode final : public RenderNode {
public:
    using Body = std::function<View(const Environment&, std::any&, const std::weak_ptr<StateToken>&)>;
    StateNode(std::any state, Body body, Environment environment);
    const char* typeName() const override { return "State"; }
    bool hasFixedWidth() const override { return childrenHaveFixedWidth(); }
    std::optional<double> firstBaseline(const QSizeF& size) override;
    std::any& state() { return m_state; }
    void rebuild();

protected:
    QSizeF sizeThatFits(const ProposedSize& proposal) override;

private:
    std::any m_state;
    Body m_body;
    Environment m_environment;
    std::shared_ptr<StateToken> m_token;
};

struct StateToken {
    StateNode* node = nullptr;
    std::vector<std::function<void(std::any&)>> pending;
};

QColor toQColor(const Color& color, ColorScheme scheme);
// The colour text takes where its runs give none.
Color defaultForeground(const Environment& environment);

} // namespace mdview::detail
