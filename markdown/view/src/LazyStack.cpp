#include "Nodes.h"

#include "mdview/TextNode.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cmath>

namespace mdview {

namespace detail {

namespace {

// Around the viewport, in viewport heights: what is measured before it is shown, and what stays
// built once measured.
constexpr double measuredAbove = 0.25;
constexpr double measuredBelow = 0.5;
constexpr double keptAbove = 2;
constexpr double keptBelow = 3;

// The texts of a tree in document order, but for those of the stack of its parts.
void collectOwnTexts(RenderNode& node, const RenderNode* parts, std::vector<TextNode*>& out)
{
    if (&node == parts)
        return;
    if (auto* text = dynamic_cast<TextNode*>(&node))
        out.push_back(text);
    for (const auto& child : node.children())
        collectOwnTexts(*child, parts, out);
}

std::vector<TextNode*> ownTexts(RenderNode& node, const RenderNode* parts)
{
    std::vector<TextNode*> texts;
    collectOwnTexts(node, parts, texts);
    return texts;
}

// The first lazy stack inside a tree: the stack of a child's parts.
LazyStackNode* findInnerStack(RenderNode& node)
{
    for (const auto& child : node.children()) {
        if (auto* stack = dynamic_cast<LazyStackNode*>(child.get()))
            return stack;
        if (LazyStackNode* found = findInnerStack(*child))
            return found;
    }
    return nullptr;
}

} // namespace

std::vector<TextPiece> textPieces(const std::vector<TextNode*>& texts)
{
    std::vector<TextPiece> pieces;
    pieces.reserve(texts.size());
    const TextNode* previous = nullptr;
    for (const TextNode* text : texts) {
        bool beside = false;
        if (previous) {
            const QRectF& before = previous->frame();
            const QRectF& after = text->frame();
            beside = after.top() < before.bottom() && after.left() >= before.right() - 0.5;
        }
        pieces.push_back({text->text(), beside, text->continuation().above});
        if (!text->text().isEmpty())
            previous = text;
    }
    return pieces;
}

LazyStackNode::LazyStackNode(LazyStackContent content, HorizontalAlignment alignment, GapBetween gap)
    : m_content(std::move(content)), m_alignment(alignment), m_gap(std::move(gap)), m_slots(m_content.count)
{
    if (m_content.layoutMode)
        m_content.layoutMode(true);
    countSegments();
}

void LazyStackNode::replace(std::size_t from, LazyStackContent content)
{
    from = std::min(from, m_slots.size());
    // A viewport held below the first child replaced, at the end say, is held by that child
    // instead: what replaces it begins with the same text more often than not (a document whole
    // after its beginning, a paragraph that grew), and the new end is elsewhere.
    if (m_anchor.index > from && from < m_slots.size()) {
        updateTops();
        stopAnchoring();
        m_anchor = {from, localViewportTop() - m_tops[from]};
    }
    for (std::size_t i = m_slots.size(); i > from; --i)
        release(i - 1);
    m_content = std::move(content);
    if (m_content.layoutMode)
        m_content.layoutMode(!isLazy());
    m_slots.resize(from);
    m_slots.resize(m_content.count);
    countSegments();
    m_cursor = std::min(m_cursor, from);
    m_anchor.index = std::min(m_anchor.index, m_slots.size());
    // All new: laid out at the width asked next, even a narrower one that the children before
    // would have fitted (a new document that brings the scroll bar).
    if (from == 0)
        m_hasWidth = false;
    m_topsValid = false;
    invalidateLayout();
}

// --- Children laid out in parts -----------------------------------------------------------------

void LazyStackNode::countSegments()
{
    m_segmentStarts.resize(m_slots.size() + 1);
    std::size_t segment = 0;
    for (std::size_t i = 0; i < m_slots.size(); ++i) {
        if (!m_slots[i].node)
            m_slots[i].parts = m_content.parts ? m_content.parts(i) : 0;
        m_segmentStarts[i] = segment;
        segment += 1 + m_slots[i].parts;
    }
    m_segmentStarts.back() = segment;
}

std::pair<std::size_t, std::size_t> LazyStackNode::segmentOf(std::size_t segment) const
{
    const auto it = std::upper_bound(m_segmentStarts.begin(), m_segmentStarts.end() - 1, segment);
    const std::size_t index = std::size_t(it - m_segmentStarts.begin()) - 1;
    return {index, segment - m_segmentStarts[index]};
}

void LazyStackNode::followViewport(std::size_t index)
{
    Slot& slot = m_slots[index];
    if (!slot.inner)
        return;
    slot.inner->setViewportHeight(m_viewportHeight);
    if (slot.inner->m_anchoring)
        return;
    if (m_tops.size() != m_slots.size() + 1)
        updateTops();
    slot.inner->m_outerViewportTop = localViewportTop() - m_tops[index] - slot.innerOffset;
}

void LazyStackNode::anchorAt(double y)
{
    updateTops();
    const std::size_t index = localIndexAt(y);
    m_anchor = {index, y - m_tops[index]};
    m_anchoring = true;
}

void LazyStackNode::stopAnchoring()
{
    if (m_innerAnchors && m_anchor.index < m_slots.size()) {
        Slot& slot = m_slots[m_anchor.index];
        if (slot.inner) {
            // The viewport stays where the inner stack held it.
            m_anchor.offset = localViewportTop() - m_tops[m_anchor.index];
            slot.inner->m_anchoring = false;
        }
    }
    m_innerAnchors = false;
}

RenderNode* LazyStackNode::segmentNode(std::size_t segment) const
{
    const auto [index, part] = segmentOf(segment);
    const Slot& slot = m_slots[index];
    if (part == 0)
        return slot.node;
    return slot.inner && part - 1 < slot.inner->m_slots.size() ? slot.inner->m_slots[part - 1].node : nullptr;
}

const std::vector<TextNode*>& LazyStackNode::segmentTexts(std::size_t segment) const
{
    static const std::vector<TextNode*> none;
    const auto [index, part] = segmentOf(segment);
    const Slot& slot = m_slots[index];
    if (part == 0)
        return slot.texts;
    return slot.inner && part - 1 < slot.inner->m_slots.size() ? slot.inner->m_slots[part - 1].texts : none;
}

const std::vector<TextPiece>& LazyStackNode::segmentPieces(std::size_t segment)
{
    static const std::vector<TextPiece> none;
    const auto [index, part] = segmentOf(segment);
    const std::vector<TextPiece>& own = pieces(index); // builds the child when needed
    if (part == 0)
        return own;
    Slot& slot = m_slots[index];
    if (!slot.inner || part - 1 >= slot.inner->m_slots.size())
        return none;
    followViewport(index);
    return slot.inner->piecesInOrder(part - 1);
}

std::size_t LazyStackNode::segmentAt(double y)
{
    const std::size_t index = indexAt(y);
    if (index >= m_slots.size())
        return segmentCount();
    const Slot& slot = m_slots[index];
    if (!slot.inner || !slot.measured || y < slot.inner->frame().top())
        return m_segmentStarts[index];
    const std::size_t part = slot.inner->indexAt(y);
    return part < slot.inner->m_slots.size() ? m_segmentStarts[index] + 1 + part : m_segmentStarts[index + 1];
}

std::vector<std::size_t> LazyStackNode::builtSegments() const
{
    std::vector<std::size_t> segments;
    segments.reserve(m_builtIndices.size());
    for (const std::size_t index : m_builtIndices) {
        segments.push_back(m_segmentStarts[index]);
        if (const LazyStackNode* inner = m_slots[index].inner) {
            for (const std::size_t part : inner->m_builtIndices)
                segments.push_back(m_segmentStarts[index] + 1 + part);
        }
    }
    return segments;
}

std::pair<std::size_t, std::size_t> LazyStackNode::builtRun() const
{
    if (m_builtIndices.empty())
        return {0, 0};
    if (!isLazy() || m_tops.size() != m_slots.size() + 1)
        return {m_builtIndices.front(), m_builtIndices.back() + 1};
    // The built child at or after the one at the viewport's top, and its built neighbours.
    const std::size_t shown = localIndexAt(localViewportTop());
    std::size_t at = childPosition(shown);
    if (at == m_builtIndices.size())
        --at;
    std::size_t first = at, last = at + 1;
    while (first > 0 && m_builtIndices[first - 1] + 1 == m_builtIndices[first])
        --first;
    while (last < m_builtIndices.size() && m_builtIndices[last] == m_builtIndices[last - 1] + 1)
        ++last;
    return {m_builtIndices[first], m_builtIndices[last - 1] + 1};
}

// --- Children ----------------------------------------------------------------------------------

std::size_t LazyStackNode::childPosition(std::size_t index) const
{
    return std::size_t(std::lower_bound(m_builtIndices.begin(), m_builtIndices.end(), index) - m_builtIndices.begin());
}

void LazyStackNode::build(std::size_t index)
{
    Slot& slot = m_slots[index];
    RenderNodePtr node = m_content.build(index);
    if (node->isEmpty()) {
        slot.empty = true;
        slot.measured = true;
        slot.margin = BlockMargin{};
        slot.pieces.clear();
        slot.piecesValid = true;
        m_topsValid = false;
        return;
    }
    slot.margin = node->blockMargin();
    mergeBlockMargin(*slot.margin);
    slot.node = node.get();
    if (slot.parts > 0 && (slot.inner = findInnerStack(*node))) {
        LazyStackNode& inner = *slot.inner;
        inner.m_outer = this;
        inner.setViewportHeight(m_viewportHeight);
        const std::size_t first = m_segmentStarts[index] + 1;
        inner.setObserver(
            [this, first](std::size_t part, bool built) {
                if (m_childObserver)
                    m_childObserver(first + part, built);
            },
            [this] {
                if (m_layoutObserver)
                    m_layoutObserver();
            });
    }
    slot.texts = ownTexts(*node, slot.inner);
    const std::size_t at = childPosition(index);
    insertChild(at, std::move(node));
    m_builtIndices.insert(m_builtIndices.begin() + std::ptrdiff_t(at), index);
    m_topsValid = false;
    if (m_childObserver)
        m_childObserver(m_segmentStarts[index], true);
}

void LazyStackNode::release(std::size_t index)
{
    Slot& slot = m_slots[index];
    if (!slot.node)
        return;
    if (m_childObserver)
        m_childObserver(m_segmentStarts[index], false);
    if (m_innerAnchors && m_anchor.index == index)
        stopAnchoring();
    const std::size_t at = childPosition(index);
    takeChild(at);
    m_builtIndices.erase(m_builtIndices.begin() + std::ptrdiff_t(at));
    slot.node = nullptr;
    slot.inner = nullptr;
    slot.texts.clear();
    if (m_content.released)
        m_content.released(index);
}

bool LazyStackNode::measureChild(std::size_t index)
{
    Slot& slot = m_slots[index];
    if (slot.measured)
        return false;
    if (!slot.node)
        build(index);
    if (slot.empty)
        return true;
    followViewport(index);
    const QSizeF size = slot.node->measure({m_width, std::nullopt});
    if (slot.estimate >= 0 && !slot.scaled) {
        // Once per child and width: one measured again and again (its parts settling) would
        // outweigh the others.
        m_measuredSum += size.height();
        m_estimatedSum += slot.estimate;
        slot.scaled = true;
    }
    slot.height = size.height();
    slot.width = size.width();
    slot.measured = true;
    slot.stale = false;
    m_topsValid = false;
    if (m_content.measured) {
        slot.piecesValid = false;
        if (index + 1 < m_slots.size() && m_content.measured(index, *slot.node))
            restart(index + 1);
    }
    return true;
}

bool LazyStackNode::showChild(std::size_t index)
{
    Slot& slot = m_slots[index];
    if (slot.measured && !slot.empty && !slot.node) {
        // Measured before and let go since: built again, and placed by the next layout pass.
        build(index);
        slot.node->measure({m_width, std::nullopt});
        return true;
    }
    return measureChild(index);
}

void LazyStackNode::measureAll()
{
    const TextNode::MeasuringInBulk bulk;
    for (std::size_t i = 0; i < m_slots.size(); ++i)
        measureChild(i);
}

void LazyStackNode::childLayoutDiscarded(RenderNode& child)
{
    for (std::size_t at = 0; at < m_children.size(); ++at) {
        if (m_children[at].get() == &child) {
            childChanged(m_builtIndices[at]);
            return;
        }
    }
}

void LazyStackNode::childChanged(std::size_t index)
{
    // Its content changed (an image arrived, items streamed into a list): measured and its
    // texts read again.
    Slot& slot = m_slots[index];
    slot.measured = false;
    slot.piecesValid = false;
    if (slot.node)
        slot.texts = ownTexts(*slot.node, slot.inner);
    m_cursor = std::min(m_cursor, index);
    m_topsValid = false;
}

void LazyStackNode::restart(std::size_t index)
{
    Slot& slot = m_slots[index];
    release(index);
    slot.stale = slot.measured || slot.stale;
    slot.measured = false;
    slot.empty = false;
    slot.piecesValid = false;
    m_cursor = std::min(m_cursor, index);
    m_topsValid = false;
}

void LazyStackNode::setWidth(std::optional<double> width)
{
    if (m_hasWidth && m_width == width)
        return;
    // The children kept are those the viewport shows: the others are built again when needed,
    // rather than laid out now at a width nobody looks at.
    std::pair<std::size_t, std::size_t> shown{0, m_slots.size()};
    if (isLazy() && m_hasWidth) {
        updateTops();
        const double top = localViewportTop();
        const double height = *m_viewportHeight;
        shown = {localIndexAt(top - measuredAbove * height), localIndexAt(top + (1 + measuredBelow) * height) + 1};
    }
    m_hasWidth = true;
    m_width = width;
    m_measuredSum = m_estimatedSum = 0;
    for (std::size_t i = 0; i < m_slots.size(); ++i) {
        Slot& slot = m_slots[i];
        slot.estimate = -1;
        slot.scaled = false;
        slot.stale = false;
        if (slot.empty)
            continue;
        slot.measured = false;
        if ((i < shown.first || i >= shown.second) && !slot.inner)
            release(i);
    }
    m_cursor = 0;
    m_topsValid = false;
}

// --- Geometry ---------------------------------------------------------------------------------

double LazyStackNode::heightOf(std::size_t index)
{
    Slot& slot = m_slots[index];
    if (slot.measured || slot.stale)
        return slot.height;
    if (slot.estimate < 0)
        slot.estimate = m_content.estimate ? std::max(0.0, m_content.estimate(index, m_width.value_or(1e6))) : 0;
    // Estimates are scaled by how the measured children compare with theirs.
    const double scale = m_estimatedSum > 0 ? m_measuredSum / m_estimatedSum : 1;
    return slot.estimate * scale;
}

void LazyStackNode::updateTops()
{
    if (m_topsValid)
        return;
    const std::size_t n = m_slots.size();
    // Gaps next to a child not built yet are taken as the average of those known.
    std::vector<double> gaps(n, -1);
    double known = 0;
    std::size_t knownCount = 0;
    std::optional<std::size_t> previous;
    for (std::size_t i = 0; i < n; ++i) {
        const Slot& slot = m_slots[i];
        if (slot.empty)
            continue;
        if (previous && m_slots[*previous].margin && slot.margin) {
            gaps[i] = m_gap(*m_slots[*previous].margin, *slot.margin);
            known += gaps[i];
            ++knownCount;
        }
        previous = i;
    }
    const double guess = knownCount > 0 ? known / double(knownCount) : m_gap(BlockMargin{}, BlockMargin{});
    m_tops.resize(n + 1);
    m_widest = 0;
    double y = 0;
    previous.reset();
    for (std::size_t i = 0; i < n; ++i) {
        const Slot& slot = m_slots[i];
        if (slot.empty) {
            m_tops[i] = y;
            continue;
        }
        if (previous)
            y += gaps[i] < 0 ? guess : gaps[i];
        m_tops[i] = y;
        y += heightOf(i);
        if (slot.measured)
            m_widest = std::max(m_widest, slot.width);
        previous = i;
    }
    m_tops[n] = y;
    m_topsValid = true;
}

std::size_t LazyStackNode::localIndexAt(double y) const
{
    // The last position whose top is at or above y (the gap below a child belongs to it).
    const auto it = std::upper_bound(m_tops.begin(), m_tops.end() - 1, y);
    return it == m_tops.begin() ? 0 : std::size_t(it - m_tops.begin()) - 1;
}

std::size_t LazyStackNode::indexAt(double y)
{
    updateTops();
    const double local = y - frame().top();
    if (m_slots.empty() || local >= m_tops.back())
        return m_slots.size();
    std::size_t index = localIndexAt(local);
    // In the gap below a child: the next one.
    if (!m_slots[index].empty && local > m_tops[index] + heightOf(index) && index + 1 < m_slots.size())
        ++index;
    return index;
}

double LazyStackNode::localViewportTop() const
{
    if (m_outer && !m_anchoring)
        return m_outerViewportTop;
    const std::size_t index = std::min(m_anchor.index, m_slots.size());
    if (m_innerAnchors && index < m_slots.size() && m_slots[index].inner) {
        const Slot& slot = m_slots[index];
        return m_tops[index] + slot.innerOffset + slot.inner->localViewportTop();
    }
    return m_tops[index] + m_anchor.offset;
}

std::pair<std::size_t, std::size_t> LazyStackNode::keptRange()
{
    // Stale tops will do: what is kept needs no precision.
    if (m_tops.size() != m_slots.size() + 1)
        updateTops();
    if (!isLazy())
        return {0, m_slots.size()};
    const double top = localViewportTop();
    const double height = *m_viewportHeight;
    return {localIndexAt(top - keptAbove * height), std::min(m_slots.size(), localIndexAt(top + (1 + keptBelow) * height) + 1)};
}

// --- Viewport ---------------------------------------------------------------------------------

void LazyStackNode::setViewportHeight(std::optional<double> height)
{
    if (m_viewportHeight == height)
        return;
    const bool wasLazy = isLazy();
    m_viewportHeight = height;
    if (wasLazy != isLazy() && m_content.layoutMode) {
        // The content builds its children for the one way of laying out or the other.
        LazyStackContent content = m_content;
        replace(0, std::move(content));
    }
    m_topsValid = false;
    discardLayout();
}

LazyStackNode::Anchor LazyStackNode::anchor() const
{
    if (m_innerAnchors && m_tops.size() == m_slots.size() + 1)
        return {m_anchor.index, localViewportTop() - m_tops[m_anchor.index]};
    return m_anchor;
}

void LazyStackNode::setAnchor(const Anchor& anchor)
{
    stopAnchoring();
    m_anchor = {std::min(anchor.index, m_slots.size()), anchor.offset};
}

void LazyStackNode::scrollTo(double top, bool toEnd)
{
    updateTops();
    stopAnchoring();
    const double local = top - frame().top();
    if (toEnd) {
        m_anchor = {m_slots.size(), std::min(0.0, local - m_tops.back())};
    } else {
        const std::size_t index = localIndexAt(local);
        m_anchor = {index, local - m_tops[index]};
        // Inside a child laid out in parts: held by the part there.
        Slot& slot = m_slots[index];
        const double within = m_anchor.offset - slot.innerOffset;
        if (slot.inner && slot.measured && within >= 0) {
            slot.inner->updateTops();
            if (within < slot.inner->m_tops.back()) {
                slot.inner->anchorAt(within);
                m_innerAnchors = true;
            }
        }
    }
    if (measureVisible())
        layoutChanged();
}

double LazyStackNode::viewportTop()
{
    updateTops();
    return frame().top() + localViewportTop();
}

bool LazyStackNode::measureVisible()
{
    if (!isLazy() || !m_hasWidth || m_slots.empty())
        return false;
    const double height = *m_viewportHeight;
    bool changed = false;
    // Measuring changes the heights below the anchor, and so what the viewport shows: again
    // until what it shows is measured.
    for (;;) {
        updateTops();
        const double top = localViewportTop();
        const std::size_t first = localIndexAt(top - measuredAbove * height);
        const std::size_t last = std::min(m_slots.size(), localIndexAt(top + (1 + measuredBelow) * height) + 1);
        bool measured = false;
        for (std::size_t i = first; i < last; ++i) {
            measured = showChild(i) || measured;
            Slot& slot = m_slots[i];
            if (slot.inner && slot.measured) {
                // Its parts in the viewport, which may have moved inside it.
                followViewport(i);
                if (slot.inner->measureVisible()) {
                    slot.inner->discardLayout(); // the child's height changed
                    measureChild(i);
                    measured = true;
                }
            }
        }
        if (!measured)
            return changed;
        changed = true;
    }
}

LazyStackNode::Progress LazyStackNode::measureMore(double budgetMs)
{
    Progress progress;
    if (!isLazy() || !m_hasWidth)
        return progress;
    QElapsedTimer clock;
    clock.start();
    double slowest = 0; // the costliest child so far: the next may take as long
    bool changed = false;
    updateTops();
    const double viewTop = localViewportTop();
    const double viewBottom = viewTop + *m_viewportHeight;
    // Plain names, not a structured binding: the lambdas below capture them.
    const std::pair<std::size_t, std::size_t> kept = keptRange();
    const std::size_t first = kept.first, last = kept.second;
    // Measures a child and reads its texts; one far from the viewport is let go again.
    auto measure = [&](std::size_t index) {
        // A child laid out in parts only reads its texts again after a part settled: its parts
        // tell what of it the viewport shows, else each slice would repaint.
        const bool partSettled = m_slots[index].inner && m_slots[index].measured;
        progress.visibleChanged = progress.visibleChanged
            || (!partSettled && m_tops[index] < viewBottom && m_tops[index + 1] > viewTop);
        const qint64 before = clock.nsecsElapsed();
        const bool wasBuilt = m_slots[index].node;
        changed = showChild(index) || changed;
        pieces(index);
        if (!wasBuilt && !m_slots[index].inner && (index < first || index >= last))
            release(index);
        slowest = std::max(slowest, double(clock.nsecsElapsed() - before) / 1e6);
    };
    auto timeLeft = [&] { return double(clock.nsecsElapsed()) / 1e6 + slowest < budgetMs; };
    // The parts of a child laid out in parts, in the time left; false while some are left.
    auto measureParts = [&](std::size_t index) {
        followViewport(index);
        const double left = std::max(0.0, budgetMs - double(clock.nsecsElapsed()) / 1e6);
        const Progress parts = m_slots[index].inner->measureMore(left);
        progress.visibleChanged = progress.visibleChanged || parts.visibleChanged;
        changed = measureChild(index) || changed; // what the parts measured changed its height
        return !parts.more;
    };
    // What is near the viewport first, built, so that scrolling finds it ready.
    for (std::size_t i = first; i < last && timeLeft(); ++i) {
        const Slot& slot = m_slots[i];
        if (!slot.measured || !slot.piecesValid || (!slot.node && !slot.empty))
            measure(i);
        if (m_slots[i].inner)
            progress.more = !measureParts(i) || progress.more;
    }
    // A child laid out in parts holds the pass until all of them are measured.
    while (m_cursor < m_slots.size() && timeLeft()) {
        if (!m_slots[m_cursor].measured || !m_slots[m_cursor].piecesValid)
            measure(m_cursor);
        if (m_slots[m_cursor].inner && !measureParts(m_cursor))
            break;
        ++m_cursor;
    }
    // Children far from the viewport are let go; what they measured stays.
    for (std::size_t at = m_builtIndices.size(); at > 0; --at) {
        const std::size_t index = m_builtIndices[at - 1];
        if ((index < first || index >= last) && !m_slots[index].inner)
            release(index);
    }
    if (changed)
        layoutChanged();
    progress.more = progress.more || m_cursor < m_slots.size();
    for (std::size_t i = first; i < last && !progress.more; ++i)
        progress.more = !m_slots[i].empty && !m_slots[i].node;
    return progress;
}

const std::vector<TextPiece>& LazyStackNode::piecesInOrder(std::size_t index)
{
    if (m_content.measured) {
        // What a child shows depends on the children before it, measured first.
        for (std::size_t i = m_cursor; i < index; ++i) {
            if (!m_slots[i].measured)
                pieces(i);
        }
    }
    return pieces(index);
}

const std::vector<TextPiece>& LazyStackNode::pieces(std::size_t index)
{
    Slot& slot = m_slots[index];
    if (slot.piecesValid)
        return slot.pieces;
    const bool wasBuilt = slot.node;
    if (!m_hasWidth)
        setWidth(std::nullopt);
    const bool changed = measureChild(index);
    if (!slot.empty && !slot.node)
        build(index); // measured before, and let go since
    if (!slot.empty) {
        // Texts stand beside or below each other as placed; where the child stands does not
        // matter, so it is placed where it is at the moment.
        const QSizeF size(slot.width, slot.height);
        const double x = frame().left() + alignedOffset(QSizeF(frame().width(), 0), size, {m_alignment, VerticalAlignment::top}).x();
        const double y = frame().top() + (index < m_tops.size() ? m_tops[index] : 0);
        slot.node->place(QRectF(QPointF(x, y), size));
        slot.pieces = textPieces(slot.texts);
    }
    slot.piecesValid = true;
    if (!wasBuilt && isLazy() && !slot.inner) {
        const auto [first, last] = keptRange();
        if (index < first || index >= last)
            release(index);
    }
    if (changed)
        layoutChanged();
    return slot.pieces;
}

void LazyStackNode::layoutChanged()
{
    m_topsValid = false;
    discardLayout();
    if (m_layoutObserver)
        m_layoutObserver();
}

// --- Layout -----------------------------------------------------------------------------------

ProposedSize LazyStackNode::cacheKey(const ProposedSize& proposal) const
{
    // Heights are not offered to the children, and every unlimited width is the same.
    if (proposal.width && std::isfinite(*proposal.width))
        return {proposal.width, std::nullopt};
    return {};
}

QSizeF LazyStackNode::sizeThatFits(const ProposedSize& proposal)
{
    const std::optional<double> width =
        proposal.width && std::isfinite(*proposal.width) ? proposal.width : std::nullopt;
    if (!isLazy()) {
        if (!laidOutFor(width))
            setWidth(width);
        measureAll();
    } else {
        // Asked for its ideal size, a lazy stack answers for the width it is laid out at.
        if ((width || !m_hasWidth) && !laidOutFor(width))
            setWidth(width);
        measureVisible();
    }
    updateTops();
    return {m_widest, m_tops.back()};
}

bool LazyStackNode::laidOutFor(std::optional<double> width)
{
    if (!m_hasWidth)
        return false;
    if (m_width == width)
        return true;
    // Narrower, but no narrower than the widest child: the children fit as they are (a stack
    // placed at its own width, a child laid out in parts placed at the width it measured).
    updateTops();
    return width && m_width && *width < *m_width && *width + 0.5 >= m_widest;
}

void LazyStackNode::placeChildren()
{
    if (!isLazy() && !laidOutFor(frame().width())) {
        setWidth(frame().width());
        measureAll();
    }
    updateTops();
    m_overflow = 0;
    for (std::size_t at = 0; at < m_children.size(); ++at) {
        const std::size_t index = m_builtIndices[at];
        const Slot& slot = m_slots[index];
        RenderNode& child = *m_children[at];
        if (!slot.measured)
            continue; // measured, and placed, when it is needed
        const QSizeF size(slot.width, slot.height);
        const double x = alignedOffset(QSizeF(frame().width(), 0), size, {m_alignment, VerticalAlignment::top}).x();
        const QRectF f(frame().topLeft() + QPointF(x, m_tops[index]), size);
        child.place(f);
        if (Slot& placed = m_slots[index]; placed.inner)
            placed.innerOffset = placed.inner->frame().top() - f.top();
        const QRectF& v = child.visualRect();
        m_overflow = std::max({m_overflow, f.top() - v.top(), v.bottom() - f.bottom()});
    }
}

std::pair<std::size_t, std::size_t> LazyStackNode::visibleChildren(const QRectF& exposed)
{
    // By the positions of the children rather than their frames: a child waiting to be measured
    // again still has the frame it was placed at.
    if (m_slots.empty())
        return {0, 0};
    updateTops();
    const double low = exposed.top() - m_overflow - frame().top();
    const double high = exposed.bottom() + m_overflow - frame().top();
    return {childPosition(localIndexAt(low)), childPosition(localIndexAt(high) + 1)};
}

void LazyStackNode::draw(QPainter& painter, const QRectF& exposed)
{
    const auto [first, last] = visibleChildren(exposed);
    for (std::size_t at = first; at < last; ++at) {
        if (m_slots[m_builtIndices[at]].measured)
            m_children[at]->paint(painter, exposed);
    }
}

RenderNode* LazyStackNode::hitTest(const QPointF& point)
{
    if (!visualRect().contains(point))
        return nullptr;
    const auto [first, last] = visibleChildren(QRectF(point, QSizeF(0, 0)));
    for (std::size_t at = last; at > first; --at) {
        if (!m_slots[m_builtIndices[at - 1]].measured)
            continue;
        if (RenderNode* hit = m_children[at - 1]->hitTest(point))
            return hit;
    }
    return frame().contains(point) ? this : nullptr;
}

std::optional<double> LazyStackNode::firstBaseline(const QSizeF& size)
{
    if (!isLazy())
        setWidth(size.width());
    for (std::size_t i = 0; i < m_slots.size(); ++i) {
        measureChild(i);
        const Slot& slot = m_slots[i];
        if (slot.empty)
            continue;
        if (!slot.node)
            build(i);
        if (const auto baseline = slot.node->firstBaseline({slot.width, slot.height})) {
            updateTops();
            return *baseline + m_tops[i];
        }
    }
    return std::nullopt;
}

} // namespace detail

View LazyVStack(std::function<LazyStackContent(const Environment&)> content, HorizontalAlignment alignment,
                GapBetween gap)
{
    return BuiltView([content = std::move(content), alignment, gap = std::move(gap)](const Environment& environment) {
        return RenderNodePtr(std::make_unique<detail::LazyStackNode>(content(environment), alignment, gap));
    });
}

void replaceLazyStackChildren(RenderNode& stack, std::size_t from, LazyStackContent content)
{
    dynamic_cast<detail::LazyStackNode&>(stack).replace(from, std::move(content));
}

} // namespace mdview
