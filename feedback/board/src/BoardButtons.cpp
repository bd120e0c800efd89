#include "feedback/board/BoardButtons.h"

#include "feedback/Plendra.h"
#include "feedback/board/BoardStyle.h"

#include <QKeyEvent>
#include <QPainter>

namespace plendra {

namespace {

constexpr int closeIconSide = 18;
constexpr int closePadding = 15;
constexpr int addShadowRoom = 6;
constexpr int addShadowDrop = 5;

QColor secondaryLabel(const QPalette& palette)
{
    return withAlpha(palette.color(QPalette::WindowText), 0.5);
}

} // namespace

BusyIndicator::BusyIndicator(int side, QWidget* parent)
    : QWidget(parent)
    , m_side(side)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFixedSize(side, side);
    m_timer.setInterval(80);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_step = (m_step + 1) % 8;
        update();
    });
}

void BusyIndicator::setColor(const QColor& color)
{
    m_color = color;
    update();
}

void BusyIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2.0, height() / 2.0);
    const qreal radius = std::min(width(), height()) / 2.0;
    const QColor base = m_color.isValid() ? m_color : palette().color(QPalette::WindowText);
    // The spoke at the current step is the darkest; the ones behind it fade.
    for (int spoke = 0; spoke < 8; ++spoke) {
        const int age = (m_step - spoke + 8) % 8;
        QPen pen(withAlpha(base, 1.0 - age * 0.11), std::max(1.5, radius / 4.5), Qt::SolidLine, Qt::RoundCap);
        painter.setPen(pen);
        painter.save();
        painter.rotate(spoke * 45.0);
        painter.drawLine(QPointF(0, -radius * 0.45), QPointF(0, -radius * 0.85));
        painter.restore();
    }
}

void BusyIndicator::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_timer.start();
}

void BusyIndicator::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_timer.stop();
}

PLButton::PLButton(const QString& text, ButtonStyle style, QSize size, QWidget* parent)
    : QAbstractButton(parent)
    , m_style(style)
    , m_size(size)
    , m_spinner(new BusyIndicator(16, this))
{
    setText(text);
    setFixedSize(size);
    setCursor(Qt::PointingHandCursor);
    m_spinner->move((size.width() - m_spinner->width()) / 2, (size.height() - m_spinner->height()) / 2);
    m_spinner->hide();
}

void PLButton::setLoading(bool loading)
{
    if (loading == m_loading)
        return;
    m_loading = loading;
    m_spinner->setVisible(loading);
    update();
}

// Pressing does nothing while the work runs; the caller's own enablement is kept apart.
bool PLButton::hitButton(const QPoint& position) const
{
    return !m_loading && QAbstractButton::hitButton(position);
}

void PLButton::keyPressEvent(QKeyEvent* event)
{
    if (m_loading)
        event->ignore();
    else
        QAbstractButton::keyPressEvent(event);
}

void PLButton::paintEvent(QPaintEvent*)
{
    const Theme theme = Plendra::theme();
    const Appearance appearance = appearanceOf(palette());
    const QColor fill = m_style == ButtonStyle::primary ? theme.primaryColor
                                                        : Theme::defaultSecondaryScheme().color(appearance);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled() && !m_loading)
        painter.setOpacity(0.4);
    painter.setPen(Qt::NoPen);
    painter.setBrush(isDown() ? fill.darker(115) : fill);
    painter.drawRoundedRect(QRectF(rect()), 12, 12);
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 11, 11);
    }
    if (m_loading)
        return;
    m_spinner->setColor(Plendra::config().buttons.saveButton.textColor.color(appearance));
    painter.setPen(Plendra::config().buttons.saveButton.textColor.color(appearance));
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, text());
}

AddButton::AddButton(QSize size, QWidget* parent)
    : QAbstractButton(parent)
    , m_size(size)
{
    setFixedSize(sizeHint());
    setCursor(Qt::PointingHandCursor);
    setToolTip(Plendra::config().localization.createWish);
}

QSize AddButton::sizeHint() const
{
    return m_size + QSize(2 * addShadowRoom, 2 * addShadowRoom + addShadowDrop);
}

QRect AddButton::circle() const
{
    return QRect(QPoint(addShadowRoom, addShadowRoom), m_size);
}

bool AddButton::hitButton(const QPoint& position) const
{
    const QPointF offset = QPointF(position) - QRectF(circle()).center();
    const qreal radius = std::min(m_size.width(), m_size.height()) / 2.0;
    return offset.x() * offset.x() + offset.y() * offset.y() <= radius * radius;
}

void AddButton::paintEvent(QPaintEvent*)
{
    const Theme theme = Plendra::theme();
    const Appearance appearance = appearanceOf(palette());
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF disc(circle());
    const qreal radius = std::min(disc.width(), disc.height()) / 2;
    paintSoftShadow(painter, disc, radius, 5, 0.33, QPointF(0, addShadowDrop));
    painter.setPen(Qt::NoPen);
    painter.setBrush(theme.primaryColor);
    painter.drawEllipse(disc);
    const qreal side = std::min(disc.width(), disc.height()) * 0.42;
    paintBoardSymbol(painter, QStringLiteral("plus"),
                     Plendra::config().buttons.addButton.textColor.color(appearance),
                     QRectF(disc.center() - QPointF(side / 2, side / 2), QSizeF(side, side)));
}

CloseButton::CloseButton(QWidget* parent)
    : QAbstractButton(parent)
{
    setFixedSize(sizeHint());
    setCursor(Qt::PointingHandCursor);
    setToolTip(Plendra::config().localization.close);
}

QSize CloseButton::sizeHint() const
{
    return {closeIconSide + closePadding, closeIconSide + closePadding};
}

bool CloseButton::hitButton(const QPoint& position) const
{
    return QRect(0, closePadding, closeIconSide, closeIconSide).adjusted(-4, -4, 4, 4).contains(position);
}

void CloseButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor color = secondaryLabel(palette());
    if (isDown())
        color = palette().color(QPalette::WindowText);
    paintBoardSymbol(painter, QStringLiteral("x.circle.fill"), color, QRectF(0, closePadding, closeIconSide, closeIconSide));
}

SeparatorView::SeparatorView(QWidget* parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(sizeHint().height());
}

QString SeparatorView::caption() const
{
    return Plendra::config().localization.comments.toUpper();
}

QSize SeparatorView::sizeHint() const
{
    const QFontMetrics metrics(fonts::caption2());
    return {metrics.horizontalAdvance(caption()) + 40, metrics.height()};
}

void SeparatorView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QString text = caption();
    const QFontMetricsF metrics(fonts::caption2());
    const qreal textWidth = metrics.horizontalAdvance(text);
    const qreal spacing = 8;
    const qreal side = std::max(0.0, (width() - textWidth - 2 * spacing) / 2);
    const qreal middle = height() / 2.0;
    painter.setPen(QPen(withAlpha(palette().color(QPalette::WindowText), 0.15), 1));
    painter.drawLine(QPointF(0, middle), QPointF(side, middle));
    painter.drawLine(QPointF(width() - side, middle), QPointF(width(), middle));
    painter.setFont(fonts::caption2());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRectF(side + spacing, 0, textWidth, height()), Qt::AlignCenter, text);
}

} // namespace plendra
