#include "mdview/RenderNode.h"

#include "mdview/TextNode.h"

#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <limits>

namespace mdview {

// A handful of proposals per node is all a layout pass asks for (ideal, smallest, largest,
// the offered width); more would only hold stale widths after a resize. The least recently
// used goes first, so that the proposals every pass asks for outlive a resize.
void RenderNode::MeasureCache::push(const CacheEntry& entry)
{
    if (m_size == capacity) {
        std::move(begin() + 1, end(), begin());
        --m_size;
    } else if (m_size == local && !m_heap) {
        m_heap = std::make_unique<CacheEntry[]>(capacity);
        std::copy(m_local, m_local + local, m_heap.get());
    }
    begin()[m_size++] = entry;
}

namespace {

// Lengths and coordinates beyond this are taken as this: far more than any document needs, and
// small enough to count pixels in an int. A length that is no number counts as none.
constexpr double maximumLength = 1e9;

double saneLength(double length)
{
    return std::isnan(length) ? 0 : std::clamp(length, 0.0, maximumLength);
}

double saneCoordinate(double coordinate)
{
    return std::isnan(coordinate) ? 0 : std::clamp(coordinate, -maximumLength, maximumLength);
}

// Unlimited stays unlimited: it asks for the largest size.
std::optional<double> saneProposal(std::optional<double> length)
{
    if (!length || std::isnan(*length))
        return std::nullopt;
    return *length == infinity ? infinity : saneLength(*length);
}

// A proposed length as the cache keeps it: NaN for an open one (a sane length is never NaN).
double cachedLength(const std::optional<double>& length)
{
    return length.value_or(std::numeric_limits<double>::quiet_NaN());
}

bool sameLength(double a, double b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

} // namespace

QSizeF RenderNode::measure(const ProposedSize& offered)
{
    // Whatever a node below makes of its lengths, sizes and frames stay finite numbers.
    const ProposedSize proposal{saneProposal(offered.width), saneProposal(offered.height)};
    const ProposedSize key = cacheKey(proposal);
    const double width = cachedLength(key.width);
    const double height = cachedLength(key.height);
    for (CacheEntry* it = m_cache.begin(); it != m_cache.end(); ++it) {
        if (sameLength(it->width, width) && sameLength(it->height, height)) {
            std::rotate(it, it + 1, m_cache.end());
            return (m_cache.end() - 1)->size;
        }
    }
    const QSizeF computed = sizeThatFits(proposal);
    const QSizeF size(saneLength(computed.width()), saneLength(computed.height()));
    m_cache.push({width, height, size});
    return size;
}

RenderNode::Extras& RenderNode::extras()
{
    if (!m_extras)
        m_extras = std::make_unique<Extras>();
    return *m_extras;
}

const QString& RenderNode::id() const
{
    static const QString none;
    return m_extras ? m_extras->id : none;
}

void RenderNode::setId(const QString& id)
{
    if (!id.isEmpty() || m_extras)
        extras().id = id;
}

const QString& RenderNode::accessibilityLabel() const
{
    static const QString none;
    return m_extras ? m_extras->accessibilityLabel : none;
}

void RenderNode::setAccessibilityLabel(const QString& label)
{
    if (!label.isEmpty() || m_extras)
        extras().accessibilityLabel = label;
}

void RenderNode::setChangeHandler(std::function<void(Change)> handler)
{
    if (handler || m_extras)
        extras().changeHandler = std::move(handler);
}

void RenderNode::place(const QRectF& frame)
{
    const QRectF sane(saneCoordinate(frame.x()), saneCoordinate(frame.y()), saneLength(frame.width()),
                      saneLength(frame.height()));
    // Text streaming in changes the last block: the blocks before it stay where they are.
    if (m_placed && sane == m_frame)
        return;
    m_frame = sane;
    m_placed = true;
    placeChildren();
    m_visualRect = frame;
    for (const auto& child : m_children) {
        if (!child->visualRect().isNull())
            m_visualRect = m_visualRect.united(child->visualRect());
    }
}

void RenderNode::placeChildren()
{
    for (const auto& child : m_children)
        child->place(m_frame);
}

void RenderNode::paint(QPainter& painter, const QRectF& exposed)
{
    // Zero-width lines still draw: compare with the rectangle grown by a pixel.
    if (!m_visualRect.adjusted(-1, -1, 1, 1).intersects(exposed))
        return;
    draw(painter, exposed);
}

void RenderNode::draw(QPainter& painter, const QRectF& exposed)
{
    drawChildren(painter, exposed);
}

void RenderNode::drawChildren(QPainter& painter, const QRectF& exposed)
{
    for (const auto& child : m_children)
        child->paint(painter, exposed);
}

RenderNode* RenderNode::hitTest(const QPointF& point)
{
    if (!m_visualRect.contains(point))
        return nullptr;
    for (auto it = m_children.rbegin(); it != m_children.rend(); ++it) {
        if (RenderNode* hit = (*it)->hitTest(point))
            return hit;
    }
    return m_frame.contains(point) ? this : nullptr;
}

std::optional<double> RenderNode::firstBaseline(const QSizeF&)
{
    return std::nullopt;
}

void RenderNode::discardLayout()
{
    for (RenderNode* node = this; node; node = node->m_parent) {
        node->m_cache.clear();
        node->m_placed = false;
        if (node->m_parent)
            node->m_parent->childLayoutDiscarded(*node);
    }
}

void RenderNode::invalidateLayout()
{
    for (RenderNode* node = this; node; node = node->m_parent) {
        node->m_cache.clear();
        node->m_placed = false;
        if (node->m_parent)
            node->m_parent->childLayoutDiscarded(*node);
        if (!node->m_parent) {
            // The host's handler may rebuild and destroy this tree: touch no node after it.
            if (node->m_extras && node->m_extras->changeHandler)
                node->m_extras->changeHandler(Change::layout);
            return;
        }
    }
}

void RenderNode::requestRepaint()
{
    RenderNode* root = this;
    while (root->m_parent)
        root = root->m_parent;
    if (root->m_extras && root->m_extras->changeHandler)
        root->m_extras->changeHandler(Change::appearance);
}

bool RenderNode::childrenHaveFixedWidth() const
{
    return !m_children.empty()
        && std::all_of(m_children.begin(), m_children.end(), [](const auto& c) { return c->hasFixedWidth(); });
}

void RenderNode::addChild(std::unique_ptr<RenderNode> child)
{
    child->m_parent = this;
    m_children.push_back(std::move(child));
}

void RenderNode::insertChild(std::size_t at, std::unique_ptr<RenderNode> child)
{
    child->m_parent = this;
    m_children.insert(m_children.begin() + std::ptrdiff_t(std::min(at, m_children.size())), std::move(child));
}

std::unique_ptr<RenderNode> RenderNode::takeChild(std::size_t at)
{
    std::unique_ptr<RenderNode> child = std::move(m_children[at]);
    m_children.erase(m_children.begin() + std::ptrdiff_t(at));
    child->m_parent = nullptr;
    return child;
}

namespace {

QString number(double value)
{
    return QString::number(value, 'g', 6);
}

void dumpNode(const RenderNode& node, int depth, QTextStream& out)
{
    const QRectF& f = node.frame();
    out << QString(depth * 2, QLatin1Char(' ')) << node.typeName() << ' ' << number(f.x()) << ','
        << number(f.y()) << ' ' << number(f.width()) << 'x' << number(f.height());
    const BlockMargin& margin = node.blockMargin();
    if (!margin.isEmpty()) {
        out << " margin(" << (margin.top ? number(*margin.top) : QStringLiteral("-")) << ','
            << (margin.bottom ? number(*margin.bottom) : QStringLiteral("-")) << ')';
    }
    if (!node.id().isEmpty())
        out << " id=" << node.id();
    const QString details = node.describe();
    if (!details.isEmpty())
        out << ' ' << details;
    out << '\n';
    for (const auto& child : node.children())
        dumpNode(*child, depth + 1, out);
    for (const RenderNode* layer : node.layers())
        dumpNode(*layer, depth + 1, out);
}

void collect(RenderNode& node, std::vector<TextNode*>& out)
{
    if (auto* text = dynamic_cast<TextNode*>(&node))
        out.push_back(text);
    for (const auto& child : node.children())
        collect(*child, out);
}

void collectLabelled(const RenderNode& node, std::vector<const RenderNode*>& out)
{
    if (!node.accessibilityLabel().isEmpty())
        out.push_back(&node);
    for (const auto& child : node.children())
        collectLabelled(*child, out);
}

} // namespace

QString dumpLayout(const RenderNode& root)
{
    QString result;
    QTextStream out(&result);
    dumpNode(root, 0, out);
    return result;
}

std::vector<TextNode*> collectTextNodes(RenderNode& root)
{
    std::vector<TextNode*> nodes;
    collect(root, nodes);
    return nodes;
}

std::vector<const RenderNode*> collectLabelledNodes(const RenderNode& root)
{
    std::vector<const RenderNode*> nodes;
    collectLabelled(root, nodes);
    return nodes;
}

} // namespace mdview
