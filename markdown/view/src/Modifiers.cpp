#include "Nodes.h"

#include <QPainterPath>

#include <algorithm>

namespace mdview::detail {

namespace {

std::optional<double> shrink(std::optional<double> value, double by)
{
    if (!value)
        return value;
    return std::max(0.0, *value - by);
}

double clampOptional(double value, std::optional<double> low, std::optional<double> high)
{
    if (high)
        value = std::min(value, *high);
    if (low)
        value = std::max(value, *low);
    return value;
}

// The size a flexible frame takes along one axis.
double flexibleLength(std::optional<double> proposed, std::optional<double> low, std::optional<double> high,
                      double child)
{
    if (!low && !high)
        return child;
    if (!high)
        return std::max(*low, child);
    const double base = proposed && std::isfinite(*proposed) ? *proposed : child;
    return clampOptional(base, low, high);
}

} // namespace

const char* ModifierNode::typeName() const
{
    switch (m_kind) {
    case Kind::padding: return "Padding";
    case Kind::frame: return "Frame";
    case Kind::flexibleFrame: return "FlexibleFrame";
    case Kind::fixedSize: return "FixedSize";
    case Kind::offset: return "Offset";
    case Kind::clip: return "Clip";
    }
    return "Modifier";
}

QString ModifierNode::describe() const
{
    if (m_kind == Kind::padding) {
        const EdgeInsets& i = m_params.insets;
        return QStringLiteral("insets(%1,%2,%3,%4)").arg(i.top).arg(i.leading).arg(i.bottom).arg(i.trailing);
    }
    return {};
}

bool ModifierNode::hasFixedWidth() const
{
    switch (m_kind) {
    case Kind::frame: return m_params.width || child().hasFixedWidth();
    case Kind::flexibleFrame: {
        const View::FlexibleFrame& f = m_params.flexible;
        if (f.maxWidth)
            return f.minWidth == f.maxWidth || (std::isfinite(*f.maxWidth) && child().hasFixedWidth());
        return child().hasFixedWidth();
    }
    case Kind::fixedSize: return m_params.fixedHorizontal || child().hasFixedWidth();
    case Kind::padding:
    case Kind::offset:
    case Kind::clip: return child().hasFixedWidth();
    }
    return false;
}

ProposedSize ModifierNode::childProposal(const ProposedSize& proposal) const
{
    switch (m_kind) {
    case Kind::padding: {
        const EdgeInsets& i = m_params.insets;
        return {shrink(proposal.width, i.leading + i.trailing), shrink(proposal.height, i.top + i.bottom)};
    }
    case Kind::frame:
        return {m_params.width ? m_params.width : proposal.width,
                m_params.height ? m_params.height : proposal.height};
    case Kind::flexibleFrame: {
        const View::FlexibleFrame& f = m_params.flexible;
        ProposedSize result = proposal;
        if (result.width)
            result.width = clampOptional(*result.width, f.minWidth, f.maxWidth);
        if (result.height)
            result.height = clampOptional(*result.height, f.minHeight, f.maxHeight);
        return result;
    }
    case Kind::fixedSize:
        return {m_params.fixedHorizontal ? std::nullopt : proposal.width,
                m_params.fixedVertical ? std::nullopt : proposal.height};
    case Kind::offset:
    case Kind::clip: return proposal;
    }
    return proposal;
}

QSizeF ModifierNode::sizeThatFits(const ProposedSize& proposal)
{
    const QSizeF child = this->child().measure(childProposal(proposal));
    switch (m_kind) {
    case Kind::padding: {
        const EdgeInsets& i = m_params.insets;
        return {child.width() + i.leading + i.trailing, child.height() + i.top + i.bottom};
    }
    case Kind::frame:
        return {m_params.width.value_or(child.width()), m_params.height.value_or(child.height())};
    case Kind::flexibleFrame: {
        const View::FlexibleFrame& f = m_params.flexible;
        return {flexibleLength(proposal.width, f.minWidth, f.maxWidth, child.width()),
                flexibleLength(proposal.height, f.minHeight, f.maxHeight, child.height())};
    }
    case Kind::fixedSize:
    case Kind::offset:
    case Kind::clip: return child;
    }
    return child;
}

QRectF ModifierNode::childFrame(const QRectF& frame)
{
    switch (m_kind) {
    case Kind::padding: {
        const EdgeInsets& i = m_params.insets;
        return frame.adjusted(i.leading, i.top, -i.trailing, -i.bottom);
    }
    case Kind::frame:
    case Kind::flexibleFrame: {
        const QSizeF size = child().measure(childProposal({frame.width(), frame.height()}));
        const Alignment alignment = m_kind == Kind::frame ? m_params.alignment : m_params.flexible.alignment;
        return {frame.topLeft() + alignedOffset(frame.size(), size, alignment), size};
    }
    case Kind::fixedSize: {
        const QSizeF size = child().measure(childProposal({frame.width(), frame.height()}));
        return {frame.topLeft(), size};
    }
    case Kind::offset: return frame.translated(m_params.offset);
    case Kind::clip: return frame;
    }
    return frame;
}

void ModifierNode::placeChildren()
{
    child().place(childFrame(frame()));
}

std::optional<double> ModifierNode::firstBaseline(const QSizeF& size)
{
    const QRectF inner = childFrame(QRectF(QPointF(0, 0), size));
    const auto baseline = child().firstBaseline(inner.size());
    if (!baseline)
        return std::nullopt;
    // An offset moves the drawing, not the layout: its baseline stays where layout put it.
    return *baseline + (m_kind == Kind::offset ? 0 : inner.top());
}

RenderNode* ModifierNode::hitTest(const QPointF& point)
{
    if (m_kind == Kind::clip) {
        QPainterPath clip;
        clip.addRoundedRect(frame(), m_params.cornerRadius, m_params.cornerRadius);
        if (!clip.contains(point))
            return nullptr;
    }
    return RenderNode::hitTest(point);
}

void ModifierNode::draw(QPainter& painter, const QRectF& exposed)
{
    if (m_kind != Kind::clip) {
        drawChildren(painter, exposed);
        return;
    }
    painter.save();
    QPainterPath clip;
    clip.addRoundedRect(frame(), m_params.cornerRadius, m_params.cornerRadius);
    painter.setClipPath(clip, Qt::IntersectClip);
    drawChildren(painter, exposed.intersected(frame()));
    painter.restore();
}

QSizeF DecorationNode::sizeThatFits(const ProposedSize& proposal)
{
    return m_children.front()->measure(proposal);
}

void DecorationNode::placeChildren()
{
    m_children[0]->place(frame());
    const QSizeF size = m_children[1]->measure({frame().width(), frame().height()});
    m_children[1]->place(QRectF(frame().topLeft() + alignedOffset(frame().size(), size, m_alignment), size));
}

void DecorationNode::draw(QPainter& painter, const QRectF& exposed)
{
    if (m_isOverlay) {
        m_children[0]->paint(painter, exposed);
        m_children[1]->paint(painter, exposed);
    } else {
        m_children[1]->paint(painter, exposed);
        m_children[0]->paint(painter, exposed);
    }
}

RenderNode* DecorationNode::hitTest(const QPointF& point)
{
    if (!visualRect().contains(point))
        return nullptr;
    RenderNode* top = m_children[m_isOverlay ? 1 : 0].get();
    RenderNode* below = m_children[m_isOverlay ? 0 : 1].get();
    if (RenderNode* hit = top->hitTest(point))
        return hit;
    if (RenderNode* hit = below->hitTest(point))
        return hit;
    return frame().contains(point) ? this : nullptr;
}

std::optional<double> DecorationNode::firstBaseline(const QSizeF& size)
{
    return m_children.front()->firstBaseline(size);
}

QSizeF ResizeToFitNode::sizeThatFits(const ProposedSize& proposal)
{
    if (m_children.empty())
        return {0, 0};
    const QSizeF natural = m_children.front()->measure({});
    if (proposal.width && natural.width() > *proposal.width) {
        const double ratio = natural.width() / natural.height();
        return {*proposal.width, *proposal.width / ratio};
    }
    return natural;
}

void ResizeToFitNode::placeChildren()
{
    if (m_children.empty())
        return;
    m_children.front()->measure({frame().width(), frame().height()});
    m_children.front()->place(frame());
}

QSizeF HorizontalScrollNode::sizeThatFits(const ProposedSize& proposal)
{
    const QSizeF content = m_children.front()->measure({std::nullopt, proposal.height});
    const double width = proposal.width && std::isfinite(*proposal.width) ? *proposal.width : content.width();
    // Content wider than the frame gets room for the indicator below it, so no line is hidden
    // under the indicator and the reader sees that there is more.
    const bool overflows = content.width() > width + 0.5;
    return {width, content.height() + (overflows ? indicatorHeight : 0)};
}

void HorizontalScrollNode::placeChildren()
{
    m_contentSize = m_children.front()->measure({std::nullopt, std::nullopt});
    m_contentSize.setWidth(std::max(m_contentSize.width(), frame().width()));
    m_offset = std::clamp(m_offset, 0.0, maximumOffset());
    m_children.front()->place(QRectF(frame().topLeft() - QPointF(m_offset, 0), m_contentSize));
}

double HorizontalScrollNode::maximumOffset() const
{
    const double excess = m_contentSize.width() - frame().width();
    return excess > 0.5 ? excess : 0;
}

bool HorizontalScrollNode::scrollBy(double delta)
{
    const double offset = std::clamp(m_offset + delta, 0.0, maximumOffset());
    if (offset == m_offset)
        return false;
    m_offset = offset;
    // Re-placing keeps the content's frames true in document coordinates, for hit tests and
    // selection.
    placeChildrenAgain();
    place(frame());
    return true;
}

QRectF HorizontalScrollNode::indicatorTrack() const
{
    if (maximumOffset() <= 0)
        return {};
    return {frame().left(), frame().bottom() - indicatorHeight, frame().width(), indicatorHeight};
}

QRectF HorizontalScrollNode::indicatorThumb() const
{
    const QRectF track = indicatorTrack();
    if (track.isEmpty())
        return {};
    const double length = std::max(24.0, track.width() * frame().width() / m_contentSize.width());
    const double travel = track.width() - length;
    const double x = track.left() + travel * m_offset / maximumOffset();
    return QRectF(x, track.top() + 2, length, track.height() - 4);
}

bool HorizontalScrollNode::dragThumbBy(double distance)
{
    const QRectF track = indicatorTrack();
    const double travel = track.width() - indicatorThumb().width();
    if (travel <= 0)
        return false;
    return scrollBy(distance * maximumOffset() / travel);
}

QString HorizontalScrollNode::describe() const
{
    return QStringLiteral("content=%1 offset=%2").arg(m_contentSize.width()).arg(m_offset);
}

RenderNode* HorizontalScrollNode::hitTest(const QPointF& point)
{
    if (!frame().contains(point))
        return nullptr;
    if (RenderNode* hit = m_children.front()->hitTest(point))
        return hit;
    return this;
}

void HorizontalScrollNode::draw(QPainter& painter, const QRectF& exposed)
{
    painter.save();
    painter.setClipRect(frame(), Qt::IntersectClip);
    drawChildren(painter, exposed.intersected(frame()));
    const QRectF thumb = indicatorThumb();
    if (!thumb.isEmpty()) {
        painter.setRenderHint(QPainter::Antialiasing);
        // Mid grey shows on light and dark backgrounds alike.
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(128, 128, 128, 150));
        painter.drawRoundedRect(thumb, thumb.height() / 2, thumb.height() / 2);
    }
    painter.restore();
}

std::optional<double> HorizontalScrollNode::firstBaseline(const QSizeF& size)
{
    const QSizeF content = m_children.front()->measure({std::nullopt, size.height()});
    return m_children.front()->firstBaseline(content);
}

} // namespace mdview::detail
