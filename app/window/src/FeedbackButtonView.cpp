#include "window/FeedbackButtonView.h"

#include "window/SymbolIcons.h"

#include <QEasingCurve>
#include <QPainter>
#include <QPainterPath>
#include <QWindow>

namespace quillora {
namespace {

constexpr int paddingX = 14;
constexpr int paddingY = 8;
constexpr int iconSpacing = 6;
constexpr int cornerRadius = 8;
constexpr int glimmerMilliseconds = 6000;
// The band moves by this share of the label's width from frame to frame, about 11 pixels: its
// colours change gently over 1.5 widths, so each step is slight, however fast the band goes.
constexpr qreal phaseStep = 1.0 / 12;

QColor withAlpha(QColor color, qreal alpha)
{
    color.setAlphaF(alpha);
    return color;
}

// Edge colour at 0 and 1, the middle colour at 0.5, running from (phase - 3) to phase widths
// of `area`; beyond that span the nearer edge colour goes on.
QLinearGradient glimmerGradient(const QRectF& area, qreal phase, const QColor& edge, const QColor& middle)
{
    QLinearGradient gradient(area.left() + (phase - 3) * area.width(), 0, area.left() + phase * area.width(), 0);
    gradient.setColorAt(0, edge);
    gradient.setColorAt(0.5, middle);
    gradient.setColorAt(1, edge);
    return gradient;
}

QColor bandColor(bool dark)
{
    return dark ? QColor(10, 132, 255) : QColor(50, 173, 230); // blue in the dark, cyan in the light
}

// The label's shape (the back copy fills it with the base colour, the front one with the
// gradient, so the band shows only inside the glyphs).
QImage filledShape(const QImage& shape, const QSize& size, const QBrush& brush)
{
    QImage image = shape;
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRectF(QPointF(0, 0), QSizeF(size)), brush);
    return image;
}

// The sweep eases in and out: the phase runs from -1 to 4 along this curve over the period.
QEasingCurve glimmerEasing()
{
    QEasingCurve easeInOut(QEasingCurve::BezierSpline);
    easeInOut.addCubicBezierSegment(QPointF(0.42, 0), QPointF(0.58, 1), QPointF(1, 1));
    return easeInOut;
}

// One frame for each step of the band while it overlaps the label (phase 0 to 4: at -1 to 0
// the label shows the edge colour, as it does at 4); the last frame, at 4, ends the period.
} // namespace

std::vector<qreal> FeedbackButtonView::sweepPhases()
{
    std::vector<qreal> phases;
    for (int step = 1; step * phaseStep <= 4; ++step)
        phases.push_back(step * phaseStep);
    return phases;
}

namespace {

std::vector<double> glimmerTimes(const std::vector<qreal>& phases)
{
    const QEasingCurve easing = glimmerEasing();
    std::vector<double> times;
    for (const qreal phase : phases) {
        // The curve rises monotonically: the progress at which it reaches the phase, by halving.
        const qreal wanted = (phase + 1) / 5;
        qreal low = 0, high = 1;
        for (int i = 0; i < 40; ++i) {
            const qreal middle = (low + high) / 2;
            (easing.valueForProgress(middle) < wanted ? low : high) = middle;
        }
        times.push_back(high * glimmerMilliseconds);
    }
    return times;
}

} // namespace

FeedbackButtonView::FeedbackButtonView(QWidget* parent)
    : QAbstractButton(parent)
    , m_phases(sweepPhases())
    , m_glimmer(glimmerTimes(m_phases), [this](std::size_t frame) { setGlimmerPhase(m_phases[frame]); })
{
    setText(title());
    setAccessibleName(title());
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void FeedbackButtonView::setGlimmerPhase(qreal phase)
{
    m_phase = phase;
    // Only the label and the border change.
    QRegion changed = QRegion(rect()) - QRegion(rect().adjusted(borderReach, borderReach, -borderReach, -borderReach));
    update(changed + labelRect());
}

QRect FeedbackButtonView::labelRect() const
{
    const QSize label = labelSize();
    return {QPoint((width() - label.width()) / 2, (height() - label.height()) / 2), label};
}

QSize FeedbackButtonView::labelSize() const
{
    const QFontMetrics metrics(font());
    const int icon = metrics.height();
    return {icon + iconSpacing + metrics.horizontalAdvance(text()), metrics.height()};
}

QSize FeedbackButtonView::sizeHint() const
{
    return labelSize() + QSize(2 * paddingX, 2 * paddingY);
}

const FeedbackButtonView::Label& FeedbackButtonView::label(const QSize& size, qreal ratio, bool dark)
{
    if (!m_label.shape.isNull() && m_label.size == size && m_label.ratio == ratio && m_label.dark == dark
        && m_label.text == text() && m_label.font == font())
        return m_label;
    QImage shape(size * ratio, QImage::Format_ARGB32_Premultiplied);
    shape.setDevicePixelRatio(ratio);
    shape.fill(Qt::transparent);
    {
        QPainter painter(&shape);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.drawPixmap(QRect(0, 0, size.height(), size.height()),
                           symbolPixmap(QStringLiteral("lightbulb"), Qt::black, size.height(), ratio));
        painter.setFont(font());
        painter.setPen(Qt::black);
        painter.drawText(QRect(size.height() + iconSpacing, 0, size.width(), size.height()),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
    }
    m_label.base = filledShape(shape, size, dark ? Qt::white : Qt::black);
    m_label.shape = std::move(shape);
    m_label.text = text();
    m_label.font = font();
    m_label.size = size;
    m_label.ratio = ratio;
    m_label.dark = dark;
    return m_label;
}

void FeedbackButtonView::paintEvent(QPaintEvent*)
{
    const bool dark = WindowColors::isDark(palette());
    const qreal ratio = devicePixelRatioF();
    const QSize label = labelSize();
    const QRect labelRect = this->labelRect();
    const Label& glyphs = this->label(label, ratio, dark);
    const QColor base = dark ? Qt::white : Qt::black;
    const QLinearGradient textGradient = glimmerGradient(QRectF(QPointF(0, 0), QSizeF(label)), m_phase,
                                                 withAlpha(base, dark ? 0.15 : 0.2), bandColor(dark));

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (isDown())
        painter.setOpacity(0.7);
    painter.drawImage(labelRect.topLeft(), glyphs.base);
    painter.drawImage(labelRect.topLeft(), filledShape(glyphs.shape, label, textGradient));

    // The border, stroked inside the button's rounded rectangle.
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath border;
    border.addRoundedRect(bounds, cornerRadius, cornerRadius);
    const QLinearGradient stroke =
        glimmerGradient(QRectF(rect()), m_phase, withAlpha(base, dark ? 0.2 : 0.25), bandColor(dark));
    painter.setPen(QPen(QBrush(stroke), 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(border);
}

void FeedbackButtonView::showEvent(QShowEvent* event)
{
    QAbstractButton::showEvent(event);
    // The window's exposure tells when it is minimised or covered.
    if (QWindow* window = this->window()->windowHandle(); window && window != m_watchedWindow) {
        if (m_watchedWindow)
            m_watchedWindow->removeEventFilter(this);
        window->installEventFilter(this);
        m_watchedWindow = window;
    }
    followVisibility();
}

void FeedbackButtonView::hideEvent(QHideEvent* event)
{
    QAbstractButton::hideEvent(event);
    followVisibility();
}

bool FeedbackButtonView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_watchedWindow && event->type() == QEvent::Expose)
        QMetaObject::invokeMethod(this, &FeedbackButtonView::followVisibility, Qt::QueuedConnection);
    return QAbstractButton::eventFilter(watched, event);
}

// The sweep runs while the button can be seen, and otherwise waits where it is.
void FeedbackButtonView::followVisibility()
{
    const bool seen = isVisible() && m_watchedWindow && m_watchedWindow->isExposed();
    if (!seen)
        m_glimmer.pause();
    else if (m_glimmer.state() == platform::FrameLoop::State::paused)
        m_glimmer.resume();
    else if (m_glimmer.state() == platform::FrameLoop::State::stopped)
        m_glimmer.start();
}

} // namespace quillora
