#include "window/DetailViews.h"

#include "window/SymbolIcons.h"
#include "window/ViewParts.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillora {

FileViewerEmptyStateView::FileViewerEmptyStateView(std::function<void()> onOpenProject, QWidget* parent)
    : QWidget(parent)
    , m_button(new QPushButton(QStringLiteral("Open Project")))
    , m_hint(plainLabel(QStringLiteral("Select a file.")))
{
    auto* unavailable = new ContentUnavailableView(QStringLiteral("doc.plaintext"), QStringLiteral("No file selected"));
    unavailable->addWidget(m_hint);
    unavailable->addWidget(m_button);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(unavailable);
    connect(m_button, &QPushButton::clicked, this, [onOpenProject = std::move(onOpenProject)] { onOpenProject(); });
    tint();
}

void FileViewerEmptyStateView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        tint();
}

void FileViewerEmptyStateView::tint()
{
    m_button->setIcon(symbolIcon(QStringLiteral("folder"), palette().color(QPalette::ButtonText)));
    QPalette hint = m_hint->palette();
    hint.setColor(QPalette::WindowText, WindowColors::secondaryText(palette()));
    m_hint->setPalette(hint);
}

DropOverlayView::DropOverlayView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
}

void DropOverlayView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(2, 2, -2, -2);
    QColor material = palette().color(QPalette::Window);
    material.setAlphaF(0.85);
    QPainterPath shape;
    shape.addRoundedRect(box, 12, 12);
    painter.fillPath(shape, material);
    // Stroked inside its border.
    QPainterPath border;
    border.addRoundedRect(box.adjusted(1, 1, -1, -1), 11, 11);
    painter.setPen(QPen(WindowColors::accent(palette()), 2, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    painter.drawPath(border);
    QFont headline = font();
    headline.setPixelSize(15);
    headline.setBold(true);
    painter.setFont(headline);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(box, Qt::AlignCenter, text());
}

} // namespace quillora
