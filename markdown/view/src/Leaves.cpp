#include "Nodes.h"

#include "richtext/gui/QtConversions.h"

#include <QPainterPath>

#include <algorithm>

namespace mdview::detail {

namespace {
// What a shape or colour takes along an axis that was not proposed.
constexpr double unspecifiedShapeLength = 10;
} // namespace

QColor toQColor(const Color& color, ColorScheme scheme)
{
    return richtext::toQColor(color.resolve(scheme));
}

Color defaultForeground(const Environment& environment)
{
    if (const auto fromStyle = environment.textStyle.attributes().foregroundColor)
        return *fromStyle;
    return environment.foregroundColor.value_or(Color::primary());
}

QSizeF SpacerNode::sizeThatFits(const ProposedSize& proposal)
{
    if (m_axis == Axis::vertical)
        return {0, std::max(m_minLength, proposal.height.value_or(m_minLength))};
    return {std::max(m_minLength, proposal.width.value_or(m_minLength)), 0};
}

QSizeF ShapeNode::sizeThatFits(const ProposedSize& proposal)
{
    const double width = proposal.width.value_or(unspecifiedShapeLength);
    const double height = proposal.height.value_or(unspecifiedShapeLength);
    // An infinite proposal asks for the largest size; a shape has no largest, so it stays small.
    return {std::isfinite(width) ? width : unspecifiedShapeLength,
            std::isfinite(height) ? height : unspecifiedShapeLength};
}

QString ShapeNode::describe() const
{
    QStringList parts;
    if (m_style.fill)
        parts << QStringLiteral("fill=") + toQColor(*m_style.fill, m_scheme).name(QColor::HexArgb);
    if (m_style.stroke)
        parts << QStringLiteral("stroke=") + toQColor(*m_style.stroke, m_scheme).name(QColor::HexArgb);
    return parts.join(QLatin1Char(' '));
}

void ShapeNode::draw(QPainter& painter, const QRectF&)
{
    auto pathFor = [this](const QRectF& rect) {
        QPainterPath path;
        switch (m_kind) {
        case ShapeKind::rectangle: path.addRect(rect); break;
        case ShapeKind::roundedRectangle:
            path.addRoundedRect(rect, m_style.cornerRadius, m_style.cornerRadius);
            break;
        case ShapeKind::circle: {
            const double d = std::min(rect.width(), rect.height());
            path.addEllipse(QRectF(rect.center() - QPointF(d / 2, d / 2), QSizeF(d, d)));
            break;
        }
        case ShapeKind::capsule: {
            const double r = std::min(rect.width(), rect.height()) / 2;
            path.addRoundedRect(rect, r, r);
            break;
        }
        }
        return path;
    };
    const StrokeStyle& stroke = m_style.strokeStyle;
    if (m_kind == ShapeKind::rectangle && stroke.dash.empty() && stroke.join == Qt::MiterJoin) {
        // Table cells and rules: plain rectangles, filled directly rather than as paths (a table
        // on screen draws hundreds of them each frame).
        const QRectF& f = frame();
        if (m_style.fill)
            painter.fillRect(f, toQColor(*m_style.fill, m_scheme));
        const double w = stroke.lineWidth;
        if (m_style.stroke && w > 0) {
            const QColor colour = toQColor(*m_style.stroke, m_scheme);
            if (2 * w >= f.width() || 2 * w >= f.height()) {
                painter.fillRect(f, colour);
            } else {
                painter.fillRect(QRectF(f.left(), f.top(), f.width(), w), colour);
                painter.fillRect(QRectF(f.left(), f.bottom() - w, f.width(), w), colour);
                painter.fillRect(QRectF(f.left(), f.top() + w, w, f.height() - 2 * w), colour);
                painter.fillRect(QRectF(f.right() - w, f.top() + w, w, f.height() - 2 * w), colour);
            }
        }
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, m_kind != ShapeKind::rectangle);
    if (m_style.fill)
        painter.fillPath(pathFor(frame()), toQColor(*m_style.fill, m_scheme));
    if (m_style.stroke && stroke.lineWidth > 0) {
        const double half = stroke.lineWidth / 2;
        QPen pen(toQColor(*m_style.stroke, m_scheme), stroke.lineWidth, Qt::SolidLine, stroke.cap, stroke.join);
        pen.setMiterLimit(stroke.miterLimit);
        if (!stroke.dash.empty()) {
            // QPen dashes are in units of the line width.
            QList<qreal> pattern;
            for (double length : stroke.dash)
                pattern << std::max(0.0, length) / stroke.lineWidth;
            if (pattern.size() % 2)
                pattern += pattern; // an odd pattern repeats, as in dashed strokes elsewhere
            pen.setDashPattern(pattern);
            pen.setDashOffset(stroke.dashPhase / stroke.lineWidth);
        }
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(pathFor(frame().adjusted(half, half, -half, -half)));
    }
    painter.restore();
}

QSizeF DividerNode::sizeThatFits(const ProposedSize& proposal)
{
    if (m_axis == Axis::horizontal) {
        const double height = proposal.height.value_or(0);
        return {m_thickness, std::isfinite(height) ? height : 0};
    }
    const double width = proposal.width.value_or(0);
    return {std::isfinite(width) ? width : 0, m_thickness};
}

void DividerNode::draw(QPainter& painter, const QRectF&)
{
    painter.fillRect(frame(), m_color);
}

QSizeF ImageNode::naturalSize() const
{
    if (m_image.isNull())
        return {0, 0};
    return QSizeF(m_image.size()) / m_image.devicePixelRatio();
}

QString ImageNode::describe() const
{
    const QSizeF natural = naturalSize();
    return QStringLiteral("%1x%2%3").arg(natural.width()).arg(natural.height())
        .arg(m_resizable ? QStringLiteral(" resizable") : QString());
}

QSizeF ImageNode::sizeThatFits(const ProposedSize& proposal)
{
    const QSizeF natural = naturalSize();
    if (!m_resizable)
        return natural;
    auto axis = [](std::optional<double> proposed, double natural) {
        return proposed && std::isfinite(*proposed) ? *proposed : natural;
    };
    return {axis(proposal.width, natural.width()), axis(proposal.height, natural.height())};
}

void ImageNode::draw(QPainter& painter, const QRectF&)
{
    if (m_image.isNull() || frame().isEmpty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(frame(), m_image);
    painter.restore();
}

void SymbolNode::draw(QPainter& painter, const QRectF&)
{
    const QRectF r = frame();
    const double s = std::min(r.width(), r.height());
    if (s <= 0)
        return;
    const QRectF box(r.center() - QPointF(s / 2, s / 2), QSizeF(s, s));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double line = std::max(1.0, s / 10);
    QPen pen(m_color, line);
    if (m_name == QLatin1String("circle.fill")) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_color);
        painter.drawEllipse(box);
    } else if (m_name == QLatin1String("circle")) {
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(box.adjusted(line / 2, line / 2, -line / 2, -line / 2));
    } else if (m_name == QLatin1String("square.fill")) {
        painter.fillRect(box, m_color);
    } else if (m_name == QLatin1String("square")) {
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(box.adjusted(line / 2, line / 2, -line / 2, -line / 2), s / 6, s / 6);
    } else if (m_name == QLatin1String("checkmark.square.fill")) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_color);
        painter.drawRoundedRect(box, s / 6, s / 6);
        QPainterPath check;
        check.moveTo(box.left() + s * 0.25, box.top() + s * 0.52);
        check.lineTo(box.left() + s * 0.43, box.top() + s * 0.70);
        check.lineTo(box.left() + s * 0.75, box.top() + s * 0.32);
        QColor knockout = m_color.lightnessF() > 0.5 ? QColor(Qt::black) : QColor(Qt::white);
        painter.setPen(QPen(knockout, std::max(1.0, s / 8), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(check);
    }
    painter.restore();
}

} // namespace mdview::detail
