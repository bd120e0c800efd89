#pragma once

// Render nodes of the layout primitives; built by the view factories in View.cpp.

#include "mdview/Color.h"
#include "mdview/RenderNode.h"
#include "mdview/View.h"
#include "mdview/Environment.h"

#include <QImage>

#include <any>
#include <functional>

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

class GridNode final : public RenderNode {
public:
    GridNode(std::vector<std::vector<RenderNode*>> cells, GridOptions options, Environment environment)
        : m_cells(std::move(cells)), m_options(std::move(options)), m_environment(std::move(environment)) {}
    const char* typeName() const override { return "Grid"; }
    QString describe() const override;
    std::optional<double> firstBaseline(const QSizeF& size) override;
    const TableBounds& tableBounds() const { return m_bounds; }
    std::vector<const RenderNode*> layers() const override;

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
    // Rebuilds the background and overlay layers when the geometry changed.
    void rebuildLayers();

    std::vector<std::vector<RenderNode*>> m_cells; // owned as children
    GridOptions m_options;
    Environment m_environment;
    TableBounds m_bounds;
    RenderNodePtr m_background;
    RenderNodePtr m_overlay;
    std::optional<TableBounds> m_layerBounds;
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
