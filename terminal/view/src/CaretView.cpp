#include "terminal/view/CaretView.h"

#include <QEasingCurve>
#include <QPainter>
#include <QVariantAnimation>

namespace terminal {

CaretView::CaretView(CursorStyle style, std::function<void()> repaint)
    : style_(style)
    , repaint_(std::move(repaint))
    , blink_(new QVariantAnimation(this))
{
    // 0.7 s from opaque to clear with an ease-in, then back: one period is 1.4 s.
    blink_->setDuration(1400);
    blink_->setStartValue(0.0);
    blink_->setEndValue(1.0);
    blink_->setLoopCount(-1);
    connect(blink_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        const qreal t = value.toReal();
        const qreal phase = t < 0.5 ? t * 2 : (1 - t) * 2;
        const qreal opacity = 1 - QEasingCurve(QEasingCurve::InQuad).valueForProgress(phase);
        if (qAbs(opacity - opacity_) < 0.02 && opacity > 0 && opacity < 1)
            return;
        opacity_ = opacity;
        repaint_();
    });
}

CaretView::~CaretView() = default;

bool CaretView::isBlinking(CursorStyle style)
{
    return style == CursorStyle::blinkBlock || style == CursorStyle::blinkUnderline || style == CursorStyle::blinkBar;
}

bool CaretView::isBlock(CursorStyle style)
{
    return style == CursorStyle::blinkBlock || style == CursorStyle::steadyBlock;
}

void CaretView::setStyle(CursorStyle style)
{
    style_ = style;
    applyStyle();
}

void CaretView::applyStyle()
{
    setBlinking(isBlinking(style_));
    repaint_();
}

void CaretView::setBlinking(bool on)
{
    blink_->stop();
    opacity_ = 1;
    if (on)
        blink_->start();
    repaint_();
}

bool CaretView::blinking() const
{
    return blink_->state() == QAbstractAnimation::Running;
}

void CaretView::paint(QPainter& painter, const QRectF& cell, bool focused,
                      const std::function<void(QPainter&, QColor)>& drawCharacter) const
{
    painter.save();
    painter.setClipRect(cell, Qt::IntersectClip);
    painter.setOpacity(opacity_);
    if (!focused) {
        painter.setPen(QPen(caretColor, 3));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(cell);
        painter.restore();
        return;
    }
    switch (style_) {
    case CursorStyle::blinkBlock:
    case CursorStyle::steadyBlock:
        painter.fillRect(cell, caretColor);
        break;
    case CursorStyle::blinkUnderline:
    case CursorStyle::steadyUnderline:
        painter.fillRect(QRectF(cell.left(), cell.bottom() - 2, cell.width(), 2), caretColor);
        break;
    case CursorStyle::blinkBar:
    case CursorStyle::steadyBar:
        painter.fillRect(QRectF(cell.left(), cell.top(), 2, cell.height()), caretColor);
        break;
    }
    if (isBlock(style_) && drawCharacter)
        drawCharacter(painter, caretTextColor.value_or(QColor()));
    painter.restore();
}

} // namespace terminal
