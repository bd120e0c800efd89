#include "terminal/view/CaretView.h"

#include <platform/FrameLoop.h>

#include <QPainter>

#include <cmath>

namespace terminal {

namespace {

// One period: from opaque to clear in 0.7 s with an ease-in (opacity 1 - t², t the share of the
// half period gone), then back the same way. A frame is drawn each time the opacity has moved
// by one of `fadeSteps` equal steps: few where the curve is flat, none that changes no pixel.
constexpr qint64 halfPeriodMs = 700;
constexpr int fadeSteps = 10;

std::vector<CaretView::BlinkFrame> makeBlinkFrames()
{
    std::vector<CaretView::BlinkFrame> frames;
    for (int step = 1; step <= fadeSteps; ++step)
        frames.push_back({halfPeriodMs * std::sqrt(double(step) / fadeSteps), 1 - double(step) / fadeSteps});
    for (int step = fadeSteps - 1; step >= 0; --step)
        frames.push_back({2 * halfPeriodMs - halfPeriodMs * std::sqrt(double(step) / fadeSteps), 1 - double(step) / fadeSteps});
    return frames;
}

std::vector<double> frameTimes()
{
    std::vector<double> times;
    for (const CaretView::BlinkFrame& frame : CaretView::blinkFrames())
        times.push_back(frame.atMs);
    return times;
}

} // namespace

const std::vector<CaretView::BlinkFrame>& CaretView::blinkFrames()
{
    static const std::vector<BlinkFrame> frames = makeBlinkFrames();
    return frames;
}

CaretView::CaretView(CursorStyle style, std::function<void()> repaint)
    : style_(style)
    , repaint_(std::move(repaint))
    , blink_(std::make_unique<platform::FrameLoop>(frameTimes(), [this](std::size_t frame) {
        opacity_ = blinkFrames()[frame].opacity;
        repaint_();
    }))
{
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
    return blink_->state() == platform::FrameLoop::State::running;
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
