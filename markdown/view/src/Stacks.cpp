#include "Nodes.h"

#include <algorithm>
#include <numeric>

namespace mdview::detail {

namespace {

double crossOffset(double outer, double inner, HorizontalAlignment alignment)
{
    switch (alignment) {
    case HorizontalAlignment::leading: return 0;
    case HorizontalAlignment::center: return (outer - inner) / 2;
    case HorizontalAlignment::trailing: return outer - inner;
    }
    return 0;
}

} // namespace

double StackNode::totalGaps() const
{
    double total = 0;
    for (std::size_t i = 0; i + 1 < m_children.size(); ++i)
        total += gap(i);
    return total;
}

StackNode::Layout StackNode::layout(const ProposedSize& proposal)
{
    return m_axis == Axis::vertical ? layoutVertical(proposal) : layoutHorizontal(proposal);
}

// Both layouts keep each child's size and offset in its frame: a stack is laid out at every
// measurement of a document's blocks, and nothing else is allocated for it.
StackNode::Layout StackNode::layoutVertical(const ProposedSize& proposal)
{
    const std::size_t n = m_children.size();
    Layout result;
    result.frames.resize(n);
    double fixedHeight = totalGaps();
    std::size_t spacers = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (m_children[i]->isSpacer()) {
            ++spacers;
            continue;
        }
        result.frames[i].setSize(m_children[i]->measure({proposal.width, std::nullopt}));
        fixedHeight += result.frames[i].height();
    }
    // Spacers share what a finite proposed height leaves over.
    const double leftover = proposal.height && std::isfinite(*proposal.height)
        ? std::max(0.0, *proposal.height - fixedHeight) : 0;
    double width = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (m_children[i]->isSpacer())
            result.frames[i].setSize(m_children[i]->measure({proposal.width, leftover / double(spacers)}));
        width = std::max(width, result.frames[i].width());
    }
    double y = 0;
    for (std::size_t i = 0; i < n; ++i) {
        QRectF& frame = result.frames[i];
        frame.moveTo(crossOffset(width, frame.width(), m_alignment.horizontal), y);
        y += frame.height() + (i + 1 < n ? gap(i) : 0);
    }
    result.size = QSizeF(width, y);
    return result;
}

StackNode::Layout StackNode::layoutHorizontal(const ProposedSize& proposal)
{
    const std::size_t n = m_children.size();
    Layout result;
    result.frames.resize(n);
    const auto measure = [&](std::size_t i, const ProposedSize& offer) {
        result.frames[i].setSize(m_children[i]->measure(offer));
        return result.frames[i].width();
    };
    const double spacing = totalGaps();
    if (!proposal.width || !std::isfinite(*proposal.width)) {
        for (std::size_t i = 0; i < n; ++i)
            measure(i, proposal);
    } else {
        // Children whose width does not depend on the offer (markers, icons, fixed frames) are
        // served first, then the others in order, each offered an even share of what is left.
        // Higher layout priority is served before lower. Flexibility is told from the tree's
        // shape: measuring texts at zero or unlimited width to learn it would break every text
        // one character per line.
        const auto servedBefore = [&](std::size_t a, std::size_t b) {
            if (m_children[a]->layoutPriority() != m_children[b]->layoutPriority())
                return m_children[a]->layoutPriority() > m_children[b]->layoutPriority();
            return m_children[a]->hasFixedWidth() && !m_children[b]->hasFixedWidth();
        };
        double remaining = std::max(0.0, *proposal.width - spacing);
        std::size_t left = n;
        const auto serve = [&](std::size_t i) {
            remaining -= measure(i, {std::max(0.0, remaining / double(left)), proposal.height});
            --left;
        };
        if (n <= 2) { // a marker and its item: most stacks in a document
            const std::size_t first = n == 2 && servedBefore(1, 0) ? 1 : 0;
            for (std::size_t i = 0; i < n; ++i)
                serve(i == 0 ? first : 1 - first);
        } else {
            std::vector<std::size_t> order(n);
            std::iota(order.begin(), order.end(), 0);
            std::stable_sort(order.begin(), order.end(), servedBefore);
            for (std::size_t i : order)
                serve(i);
        }
    }
    // Cross-axis placement: by edge or centre, or by first baselines.
    double height = 0;
    if (m_alignment.vertical == VerticalAlignment::firstTextBaseline) {
        result.baselines.resize(n);
        double above = 0, below = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const QSizeF size = result.frames[i].size();
            result.baselines[i] = m_children[i]->firstBaseline(size);
            const double baseline = result.baselines[i].value_or(size.height());
            above = std::max(above, baseline);
            below = std::max(below, size.height() - baseline);
        }
        for (std::size_t i = 0; i < n; ++i)
            result.frames[i].moveTop(above - result.baselines[i].value_or(result.frames[i].height()));
        height = above + below;
    } else {
        for (const QRectF& frame : result.frames)
            height = std::max(height, frame.height());
        for (QRectF& frame : result.frames) {
            if (m_alignment.vertical == VerticalAlignment::center)
                frame.moveTop((height - frame.height()) / 2);
            else if (m_alignment.vertical == VerticalAlignment::bottom)
                frame.moveTop(height - frame.height());
        }
    }
    double x = 0;
    for (std::size_t i = 0; i < n; ++i) {
        result.frames[i].moveLeft(x);
        x += result.frames[i].width() + (i + 1 < n ? gap(i) : 0);
    }
    result.size = QSizeF(x, height);
    return result;
}

QSizeF StackNode::sizeThatFits(const ProposedSize& proposal)
{
    return layout(proposal).size;
}

void StackNode::placeChildren()
{
    const Layout l = layout({frame().width(), frame().height()});
    m_overflow = 0;
    for (std::size_t i = 0; i < m_children.size(); ++i) {
        RenderNode& child = *m_children[i];
        QRectF f = l.frames[i].translated(frame().topLeft());
        // Vertical stacks spread their children across their own width for alignment.
        if (m_axis == Axis::vertical)
            f.moveLeft(frame().left() + crossOffset(frame().width(), f.width(), m_alignment.horizontal));
        child.place(f);
        const QRectF& v = child.visualRect();
        if (m_axis == Axis::vertical)
            m_overflow = std::max({m_overflow, f.top() - v.top(), v.bottom() - f.bottom()});
        else
            m_overflow = std::max({m_overflow, f.left() - v.left(), v.right() - f.right()});
    }
}

std::pair<std::size_t, std::size_t> StackNode::visibleRange(const QRectF& exposed) const
{
    const bool vertical = m_axis == Axis::vertical;
    const double low = (vertical ? exposed.top() : exposed.left()) - m_overflow;
    const double high = (vertical ? exposed.bottom() : exposed.right()) + m_overflow;
    auto first = std::partition_point(m_children.begin(), m_children.end(), [&](const RenderNodePtr& c) {
        return (vertical ? c->frame().bottom() : c->frame().right()) < low;
    });
    auto last = std::partition_point(first, m_children.end(), [&](const RenderNodePtr& c) {
        return (vertical ? c->frame().top() : c->frame().left()) <= high;
    });
    return {std::size_t(first - m_children.begin()), std::size_t(last - m_children.begin())};
}

void StackNode::draw(QPainter& painter, const QRectF& exposed)
{
    const auto [first, last] = visibleRange(exposed);
    for (std::size_t i = first; i < last; ++i)
        m_children[i]->paint(painter, exposed);
}

RenderNode* StackNode::hitTest(const QPointF& point)
{
    if (!visualRect().contains(point))
        return nullptr;
    const auto [first, last] = visibleRange(QRectF(point, QSizeF(0, 0)));
    for (std::size_t i = last; i > first; --i) {
        if (RenderNode* hit = m_children[i - 1]->hitTest(point))
            return hit;
    }
    return frame().contains(point) ? this : nullptr;
}

std::optional<double> StackNode::firstBaseline(const QSizeF& size)
{
    if (m_children.empty())
        return std::nullopt;
    const Layout l = layout({size.width(), size.height()});
    // A stack's first baseline is the topmost of its children's: in a vertical stack, that of
    // the first child that has one (a list item that starts with an image marks its text).
    if (m_axis == Axis::vertical) {
        for (std::size_t i = 0; i < m_children.size(); ++i) {
            if (const auto baseline = m_children[i]->firstBaseline(l.frames[i].size()))
                return *baseline + l.frames[i].top();
        }
        return std::nullopt;
    }
    std::optional<double> result;
    for (std::size_t i = 0; i < m_children.size(); ++i) {
        const auto baseline = l.baselines.empty() ? m_children[i]->firstBaseline(l.frames[i].size()) : l.baselines[i];
        if (baseline) {
            const double y = *baseline + l.frames[i].top();
            result = result ? std::min(*result, y) : y;
        }
    }
    return result;
}

QSizeF ZStackNode::sizeThatFits(const ProposedSize& proposal)
{
    QSizeF size(0, 0);
    for (const auto& child : m_children)
        size = size.expandedTo(child->measure(proposal));
    return size;
}

void ZStackNode::placeChildren()
{
    for (const auto& child : m_children) {
        const QSizeF size = child->measure({frame().width(), frame().height()});
        child->place(QRectF(frame().topLeft() + alignedOffset(frame().size(), size, m_alignment), size));
    }
}

std::optional<double> ZStackNode::firstBaseline(const QSizeF& size)
{
    for (const auto& child : m_children) {
        const QSizeF childSize = child->measure({size.width(), size.height()});
        if (const auto baseline = child->firstBaseline(childSize))
            return *baseline + alignedOffset(size, childSize, m_alignment).y();
    }
    return std::nullopt;
}

std::vector<FlowNode::Row> FlowNode::breakIntoRows(const ProposedSize& proposal)
{
    std::vector<Row> rows;
    Row current;
    double x = 0;
    double rowHeight = 0;
    const std::optional<double> w = proposal.width;
    auto closeRow = [&] {
        current.size = QSizeF(x - m_horizontalSpacing, rowHeight);
        rows.push_back(std::move(current));
        current = Row{};
    };
    for (std::size_t i = 0; i < m_children.size(); ++i) {
        RenderNode& child = *m_children[i];
        std::optional<double> offered;
        if (w)
            offered = child.layoutPriority() < 0 ? *w - x : *w;
        const QSizeF size = child.measure({offered, std::nullopt});
        // The tolerance keeps a row that measured exactly as wide as the frame from breaking
        // when placed there: sums in another order round differently.
        if (x > 0 && w && x + size.width() > *w + 1e-6) {
            closeRow();
            x = 0;
            rowHeight = 0;
        }
        current.items.push_back({i, size});
        rowHeight = std::max(rowHeight, size.height());
        x += size.width() + m_horizontalSpacing;
    }
    if (!current.items.empty())
        closeRow();
    return rows;
}

QSizeF FlowNode::sizeThatFits(const ProposedSize& proposal)
{
    const std::vector<Row> rows = breakIntoRows(proposal);
    double width = 0, height = 0;
    for (const Row& row : rows) {
        width = std::max(width, row.size.width());
        height += row.size.height();
    }
    if (!rows.empty())
        height += m_verticalSpacing * double(rows.size() - 1);
    return {width, height};
}

void FlowNode::placeChildren()
{
    // Rows break by the frame's width: the rows of the offer the flow was measured with fit it
    // the same, and the last measurement may well have been for another offer (a cached size
    // was served since).
    double y = frame().top();
    for (const Row& row : breakIntoRows({frame().width(), std::nullopt})) {
        double x = frame().left();
        for (const Item& item : row.items) {
            m_children[item.index]->place(
                QRectF(QPointF(x, y + row.size.height() - item.size.height()), item.size));
            x += item.size.width() + m_horizontalSpacing;
        }
        y += row.size.height() + m_verticalSpacing;
    }
}

std::size_t GridNode::columnCount() const
{
    std::size_t count = 0;
    for (const auto& row : m_cells)
        count = std::max(count, row.size());
    return count;
}

GridNode::Metrics GridNode::metrics(const ProposedSize& proposal)
{
    const std::size_t columns = columnCount();
    Metrics m;
    m.widths.assign(columns, 0);
    if (m_options.idealColumnWidths) {
        for (std::size_t c = 0; c < columns && c < m_options.idealColumnWidths->size(); ++c)
            m.widths[c] = (*m_options.idealColumnWidths)[c];
    } else {
        for (const auto& row : m_cells) {
            for (std::size_t c = 0; c < row.size(); ++c)
                m.widths[c] = std::max(m.widths[c], row[c]->measure({}).width());
        }
    }
    const double spacing = m_options.horizontalSpacing * double(columns > 0 ? columns - 1 : 0);
    const double ideal = std::accumulate(m.widths.begin(), m.widths.end(), 0.0);
    if (proposal.width && std::isfinite(*proposal.width) && ideal + spacing > *proposal.width) {
        // Too wide: as in a horizontal stack, the columns that want least are offered their
        // share first, and what they leave goes to the wider ones; so a short column keeps its
        // words whole while a long one wraps. Cells are not laid out at zero width to learn how
        // narrow they could go: that breaks every text one character per line.
        std::vector<std::size_t> order(columns);
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return m.widths[a] < m.widths[b]; });
        double remaining = std::max(0.0, *proposal.width - spacing);
        std::size_t left = columns;
        for (std::size_t c : order) {
            const double share = remaining / double(left--);
            m.widths[c] = std::min(m.widths[c], share);
            remaining = std::max(0.0, remaining - m.widths[c]);
        }
    }
    for (const auto& row : m_cells) {
        double height = 0;
        for (std::size_t c = 0; c < row.size(); ++c)
            height = std::max(height, row[c]->measure({m.widths[c], std::nullopt}).height());
        m.heights.push_back(height);
    }
    return m;
}

QSizeF GridNode::sizeThatFits(const ProposedSize& proposal)
{
    const Metrics m = metrics(proposal);
    double width = std::accumulate(m.widths.begin(), m.widths.end(), 0.0);
    double height = std::accumulate(m.heights.begin(), m.heights.end(), 0.0);
    if (!m.widths.empty())
        width += m_options.horizontalSpacing * double(m.widths.size() - 1);
    if (!m.heights.empty())
        height += m_options.verticalSpacing * double(m.heights.size() - 1);
    return {width, height};
}

void GridNode::placeChildren()
{
    const Metrics m = metrics({frame().width(), std::nullopt});
    TableBounds bounds;
    bounds.bounds = QRectF(QPointF(0, 0), frame().size());
    double x = 0;
    for (double width : m.widths) {
        bounds.columns.push_back({x, width});
        x += width + m_options.horizontalSpacing;
    }
    double y = 0;
    for (double height : m.heights) {
        bounds.rows.push_back({y, height});
        y += height + m_options.verticalSpacing;
    }
    for (std::size_t r = 0; r < m_cells.size(); ++r) {
        for (std::size_t c = 0; c < m_cells[r].size(); ++c) {
            const QRectF cell = bounds.cell(r, c).translated(frame().topLeft());
            RenderNode& node = *m_cells[r][c];
            const QSizeF size = node.measure({cell.width(), cell.height()});
            const HorizontalAlignment h = c < m_options.columnAlignments.size()
                ? m_options.columnAlignments[c] : HorizontalAlignment::leading;
            node.place(QRectF(cell.topLeft() + alignedOffset(cell.size(), size, {h, VerticalAlignment::center}),
                              size));
        }
    }
    m_bounds = bounds;
    m_layers.update(m_options, m_environment, m_bounds, frame());
}

void GridLayers::update(const GridOptions& options, const Environment& environment, const TableBounds& tableBounds,
                        const QRectF& frame)
{
    if (bounds != tableBounds) {
        bounds = tableBounds;
        background = options.background ? options.background(tableBounds).build(environment) : nullptr;
        overlay = options.overlay ? options.overlay(tableBounds).build(environment) : nullptr;
    }
    for (RenderNode* layer : {background.get(), overlay.get()}) {
        if (!layer)
            continue;
        layer->measure({frame.width(), frame.height()});
        layer->place(frame);
    }
}

std::vector<const RenderNode*> GridLayers::list() const
{
    std::vector<const RenderNode*> result;
    for (const RenderNode* layer : {background.get(), overlay.get()}) {
        if (layer)
            result.push_back(layer);
    }
    return result;
}

void GridLayers::draw(QPainter& painter, const QRectF& exposed, const std::function<void()>& between) const
{
    if (background)
        background->paint(painter, exposed);
    between();
    if (overlay)
        overlay->paint(painter, exposed);
}

void GridNode::draw(QPainter& painter, const QRectF& exposed)
{
    m_layers.draw(painter, exposed, [&] { drawChildren(painter, exposed); });
}

void PartedGridNode::placeChildren()
{
    LazyStackNode& stack = parts();
    stack.place(frame());
    // The layers are built from the rows of the run of parts built around what is shown: they
    // never reach the screen beyond its ends, which lie past what the stack measured for it.
    const auto [first, last] = stack.builtRun();
    TableBounds window;
    QRectF area(frame().topLeft(), QSizeF(frame().width(), 0));
    if (first < last) {
        const double top = stack.builtChild(first)->frame().top();
        const double bottom = stack.builtChild(last - 1)->frame().bottom();
        area = QRectF(frame().left(), top, frame().width(), bottom - top);
        window.bounds = QRectF(0, 0, area.width(), area.height());
        window.firstRow = m_starts[first];
        for (std::size_t part = first; part < last; ++part) {
            const auto& grid = static_cast<const GridNode&>(*stack.builtChild(part));
            const double offset = grid.frame().top() - top;
            for (const TableBounds::Row& row : grid.tableBounds().rows)
                window.rows.push_back({offset + row.minY, row.height});
            if (part == first)
                window.columns = grid.tableBounds().columns;
        }
    }
    m_layers.update(m_options, m_environment, window, area);
}

void PartedGridNode::draw(QPainter& painter, const QRectF& exposed)
{
    m_layers.draw(painter, exposed, [&] { drawChildren(painter, exposed); });
}

std::optional<double> GridNode::firstBaseline(const QSizeF& size)
{
    // The topmost baseline of the first row that has any, cells being centred in their rows.
    const Metrics m = metrics({size.width(), std::nullopt});
    double rowTop = 0;
    for (std::size_t r = 0; r < m_cells.size(); ++r) {
        std::optional<double> topmost;
        for (std::size_t c = 0; c < m_cells[r].size(); ++c) {
            RenderNode& cell = *m_cells[r][c];
            const QSizeF childSize = cell.measure({m.widths[c], m.heights[r]});
            if (const auto baseline = cell.firstBaseline(childSize)) {
                const double y = rowTop + *baseline + (m.heights[r] - childSize.height()) / 2;
                topmost = topmost ? std::min(*topmost, y) : y;
            }
        }
        if (topmost)
            return topmost;
        rowTop += m.heights[r] + m_options.verticalSpacing;
    }
    return std::nullopt;
}

QString GridNode::describe() const
{
    QStringList rows, columns;
    for (const auto& row : m_bounds.rows)
        rows << QStringLiteral("%1+%2").arg(row.minY).arg(row.height);
    for (const auto& column : m_bounds.columns)
        columns << QStringLiteral("%1+%2").arg(column.minX).arg(column.width);
    return QStringLiteral("rows[%1] columns[%2]").arg(rows.join(QLatin1Char(' ')), columns.join(QLatin1Char(' ')));
}

} // namespace mdview::detail

namespace mdview {

QRectF TableBounds::cell(std::size_t row, std::size_t column) const
{
    if (row >= rows.size() || column >= columns.size())
        return {};
    return {columns[column].minX, rows[row].minY, columns[column].width, rows[row].height};
}

} // namespace mdview
