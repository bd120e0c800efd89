#include "window/ViewParts.h"

#include "window/SymbolIcons.h"

#include <QEvent>
#include <QMessageBox>
#include <QPainter>
#include <QVBoxLayout>

namespace quillora {

QLabel* plainLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

QMessageBox* makePlainAlert(QWidget* parent, const QString& title, const QString& message)
{
    auto* alert = new QMessageBox(parent);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    alert->setTextFormat(Qt::PlainText);
    alert->setText(title);
    alert->setInformativeText(message);
    for (QLabel* label : alert->findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
    return alert;
}

ElidedLabel::ElidedLabel(const QString& text, QWidget* parent)
    : QWidget(parent)
    , m_text(text)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void ElidedLabel::setText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    updateGeometry();
    update();
}

void ElidedLabel::setColor(const QColor& color)
{
    m_color = color;
    update();
}

QSize ElidedLabel::sizeHint() const
{
    return {fontMetrics().horizontalAdvance(m_text), fontMetrics().height()};
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {fontMetrics().horizontalAdvance(QStringLiteral("…")) * 3, fontMetrics().height()};
}

void ElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(m_color.isValid() ? m_color : palette().color(QPalette::WindowText));
    const QString shown = fontMetrics().elidedText(m_text, Qt::ElideMiddle, width());
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

ContentUnavailableView::ContentUnavailableView(const QString& symbol, const QString& title, const QString& description,
                                               QWidget* parent)
    : QWidget(parent)
    , m_symbol(symbol)
    , m_layout(new QVBoxLayout(this))
    , m_icon(new QLabel)
    , m_title(plainLabel(title))
{
    // The symbol, title and description keep together; what is added under them sits in the
    // outer stack, 12 pixels apart.
    auto* layout = new QVBoxLayout;
    layout->setSpacing(8);
    m_layout->setSpacing(12);
    m_layout->addStretch();
    m_layout->addLayout(layout);
    m_layout->addStretch();
    layout->addWidget(m_icon, 0, Qt::AlignHCenter);
    QFont titleFont = m_title->font();
    titleFont.setPixelSize(20);
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    m_title->setAlignment(Qt::AlignHCenter);
    m_title->setWordWrap(true);
    layout->addWidget(m_title);
    if (!description.isEmpty()) {
        auto* text = plainLabel(description);
        text->setAlignment(Qt::AlignHCenter);
        text->setWordWrap(true);
        layout->addWidget(text);
    }
    tint();
}

QString ContentUnavailableView::title() const
{
    return m_title->text();
}

void ContentUnavailableView::addWidget(QWidget* widget)
{
    m_layout->insertWidget(m_layout->count() - 1, widget, 0, Qt::AlignHCenter);
}

void ContentUnavailableView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        tint();
}

void ContentUnavailableView::tint()
{
    m_icon->setPixmap(symbolPixmap(m_symbol, WindowColors::secondaryText(palette()), 44, devicePixelRatioF()));
}

MessagePage::MessagePage(QWidget* parent)
    : QScrollArea(parent)
    , m_label(plainLabel())
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    m_label->setWordWrap(true);
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_label->setContentsMargins(24, 24, 24, 24);
    setWidget(m_label);
    tint();
}

void MessagePage::setMessage(const QString& message)
{
    m_label->setText(message);
}

QString MessagePage::message() const
{
    return m_label->text();
}

void MessagePage::changeEvent(QEvent* event)
{
    QScrollArea::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        tint();
}

void MessagePage::tint()
{
    QPalette labelPalette = m_label->palette();
    labelPalette.setColor(QPalette::WindowText, WindowColors::secondaryText(palette()));
    m_label->setPalette(labelPalette);
}

Spinner::Spinner(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_timer.setInterval(50);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 30) % 360;
        update();
    });
}

void Spinner::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = std::min({width(), height(), 28});
    const QRectF box((width() - side) / 2.0, (height() - side) / 2.0, side, side);
    QPen pen(WindowColors::secondaryText(palette()), 3, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(pen);
    painter.drawArc(box, -m_angle * 16, 270 * 16);
}

void Spinner::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_timer.start();
}

void Spinner::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_timer.stop();
}

} // namespace quillora
