#pragma once

#include "mdview/Geometry.h"
#include "mdview/RelativeSize.h"

#include <QPainter>
#include <QRectF>
#include <QString>

#include <functional>
#include <memory>
#include <cstdint>
#include <optional>
#include <vector>

namespace mdview {

class TextNode;

// A laid-out element of a built view tree. Nodes measure themselves for a proposal (cached),
// are placed at an absolute frame in document coordinates, paint what intersects the exposed
// rectangle, and answer hit tests and first-baseline queries.
class RenderNode {
public:
    RenderNode() = default;
    RenderNode(const RenderNode&) = delete;
    RenderNode& operator=(const RenderNode&) = delete;
    virtual ~RenderNode() = default;

    // The size this node takes for a proposal; recent proposals are served from a cache.
    QSizeF measure(const ProposedSize& proposal);
    // Sets the frame and places the children inside it. A node placed before at the same frame,
    // whose layout was not discarded since, keeps its children where they are.
    void place(const QRectF& frame);
    void paint(QPainter& painter, const QRectF& exposed);
    // The deepest node under the point (document coordinates), or null.
    virtual RenderNode* hitTest(const QPointF& point);
    // Distance from the top to the first text baseline when laid out at `size`; absent for
    // nodes without text.
    virtual std::optional<double> firstBaseline(const QSizeF& size);

    virtual const char* typeName() const = 0;
    // Extra words for the layout dump (text content, colours …).
    virtual QString describe() const { return {}; }
    // Nodes drawn with this one that are not among its children (a grid's background and
    // borders); the dump lists them after the children.
    virtual std::vector<const RenderNode*> layers() const { return {}; }

    const QRectF& frame() const { return m_frame; }
    // The frame united with everything the children draw outside it.
    const QRectF& visualRect() const { return m_visualRect; }

    const std::vector<std::unique_ptr<RenderNode>>& children() const { return m_children; }
    RenderNode* parent() const { return m_parent; }

    // Identity given with View::id (heading anchors).
    const QString& id() const;
    void setId(const QString& id);
    // What assistive technology reads for this node (an image's alt text); empty: nothing.
    const QString& accessibilityLabel() const;
    void setAccessibilityLabel(const QString& label);
    // The block margins this node and its descendants ask for, merged at build time.
    const BlockMargin& blockMargin() const { return m_blockMargin; }
    void mergeBlockMargin(const BlockMargin& margin) { m_blockMargin = m_blockMargin.merged(margin); }
    double layoutPriority() const { return m_layoutPriority; }
    void setLayoutPriority(double priority) { m_layoutPriority = priority; }

    // Nodes that take no space and draw nothing; stacks leave them out.
    virtual bool isEmpty() const { return false; }
    // Flexible along a stack's axis (spacers): stacks hand them the space left over.
    virtual bool isSpacer() const { return false; }
    // Whether the width this node takes is the same whatever width it is offered (a fixed
    // frame, a symbol, a bitmap): told from the tree's shape, without laying anything out.
    // Horizontal stacks serve such children first.
    virtual bool hasFixedWidth() const { return false; }
    // Whether every child has a fixed width (and there is at least one).
    bool childrenHaveFixedWidth() const;

    void addChild(std::unique_ptr<RenderNode> child);
    void reserveChildren(std::size_t count) { m_children.reserve(count); }
    void insertChild(std::size_t at, std::unique_ptr<RenderNode> child);
    std::unique_ptr<RenderNode> takeChild(std::size_t at);

    // What a node below a root tells the root's owner (see setChangeHandler): its content
    // changed, so lay out again; or only its appearance did (animation frames), so paint again.
    enum class Change { layout, appearance };
    // Drops the cached measurements of this node and its ancestors after its content changed,
    // and tells the root's owner to lay out again.
    void invalidateLayout();
    // The same, without telling the owner (a change the caller reports itself).
    void discardLayout();
    // Tells the root's owner to paint again, the layout unchanged.
    void requestRepaint();
    // Set on a root by its host.
    void setChangeHandler(std::function<void(Change)> handler);

protected:
    virtual QSizeF sizeThatFits(const ProposedSize& proposal) = 0;
    // The proposal a measurement is cached under. A node whose size ignores part of a proposal
    // drops that part, so that proposals differing only there share an entry.
    virtual ProposedSize cacheKey(const ProposedSize& proposal) const { return proposal; }
    // Places the children inside frame(); the default gives every child the whole frame.
    virtual void placeChildren();
    // Places the children again at the next place(), even at the same frame (they moved inside it).
    void placeChildrenAgain() { m_placed = false; }
    // Told, on the way up from a node whose layout was discarded, which child it came through.
    virtual void childLayoutDiscarded(RenderNode&) {}
    // Draws this node and its children; the default draws the children in order.
    virtual void draw(QPainter& painter, const QRectF& exposed);
    void drawChildren(QPainter& painter, const QRectF& exposed);

    std::vector<std::unique_ptr<RenderNode>> m_children;

private:
    // A measurement: the proposal's lengths (NaN where it left one open) and the size.
    struct CacheEntry {
        double width;
        double height;
        QSizeF size;
    };
    // What few nodes have, kept apart so that the many without stay small.
    struct Extras {
        QString id;
        QString accessibilityLabel;
        std::function<void(Change)> changeHandler;
    };
    // The measurements, the least recently used first: the first two in the node itself, as
    // most nodes are asked once or twice, and up to six in an array of their own after that.
    class MeasureCache {
    public:
        static constexpr std::size_t capacity = 6;
        CacheEntry* begin() { return m_heap ? m_heap.get() : m_local; }
        CacheEntry* end() { return begin() + m_size; }
        std::size_t size() const { return m_size; }
        void clear() { m_size = 0; }
        // Adds the newest, dropping the oldest when full.
        void push(const CacheEntry& entry);

    private:
        static constexpr std::size_t local = 2;
        CacheEntry m_local[local];
        std::unique_ptr<CacheEntry[]> m_heap;
        std::uint8_t m_size = 0;
    };
    Extras& extras();
    MeasureCache m_cache;
    bool m_placed = false; // the children stand where the frame puts them
    QRectF m_frame;
    QRectF m_visualRect;
    RenderNode* m_parent = nullptr;
    std::unique_ptr<Extras> m_extras;
    BlockMargin m_blockMargin;
    double m_layoutPriority = 0;
};

using RenderNodePtr = std::unique_ptr<RenderNode>;

// A text line of the dump per node: indentation by depth, type, frame, margins, id, details.
QString dumpLayout(const RenderNode& root);

// All text nodes under the root in document order.
std::vector<TextNode*> collectTextNodes(RenderNode& root);
// The nodes under the root (itself included) with an accessibility label, in document order.
std::vector<const RenderNode*> collectLabelledNodes(const RenderNode& root);

} // namespace mdview
