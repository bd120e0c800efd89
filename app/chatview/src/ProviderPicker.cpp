#include "ProviderPicker.h"

#include "ChatStyle.h"

#include <QActionGroup>
#include <QMenu>
#include <QPainter>

namespace quillora::chat {

ProviderPicker::ProviderPicker(QWidget* parent) : QPushButton(parent), m_list(new QMenu(this))
{
    setFlat(true);
    setMaximumWidth(maxWidth);
    setCursor(Qt::PointingHandCursor);
    auto* group = new QActionGroup(this);
    for (const ChatProvider provider : allChatProviders) {
        QAction* action = m_list->addAction(displayName(provider));
        action->setCheckable(true);
        action->setData(int(provider));
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, provider] {
            if (onSelect)
                onSelect(provider);
        });
    }
    connect(this, &QPushButton::clicked, this, [this] { m_list->popup(mapToGlobal(QPoint(0, height()))); });
    setSelection(ChatProvider::codex);
}

void ProviderPicker::setSelection(ChatProvider provider)
{
    m_selection = provider;
    setText(displayName(provider));
    setAccessibleName(displayName(provider));
    for (QAction* action : m_list->actions())
        action->setChecked(action->data().toInt() == int(provider));
    updateGeometry();
}

QSize ProviderPicker::sizeHint() const
{
    return {std::min(maxWidth, fontMetrics().horizontalAdvance(text()) + 44), std::max(fontMetrics().height() + 12, 26)};
}

void ProviderPicker::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor text = palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText);
    style::paintPanel(painter, rect(), style::withOpacity(text, underMouse() && isEnabled() ? 0.12 : 0.06), {});
    painter.setPen(text);
    const QRect inner = rect().adjusted(10, 0, -22, 0);
    painter.drawText(inner, Qt::AlignVCenter | Qt::AlignLeft,
                     fontMetrics().elidedText(this->text(), Qt::ElideRight, inner.width()));
    QPen chevron(text, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(chevron);
    const QPointF c(width() - 13, height() / 2.0);
    painter.drawPolyline(QPolygonF{c + QPointF(-3.5, -1.8), c + QPointF(0, 1.8), c + QPointF(3.5, -1.8)});
}

} // namespace quillora::chat
