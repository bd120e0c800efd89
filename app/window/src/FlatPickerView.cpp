#include "window/FlatPickerView.h"

#include "window/SymbolIcons.h"

#include <QActionGroup>
#include <QEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>

#include <cmath>

namespace quillora {
namespace {

constexpr int paddingX = 12;
constexpr int paddingY = 8;
constexpr int spacing = 8;
constexpr int chevronSize = 9;
constexpr int cornerRadius = 10;
constexpr int checkmarkSize = 12;
constexpr int rowPaddingX = 10;
constexpr int rowPaddingY = 6;

// Draws the picker's menu rows with the tick after the title, in the accent colour, instead of
// the style's check box or radio mark before it.
class PickerMenuStyle final : public QProxyStyle {
public:
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (element != CE_MenuItem || !item) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        QStyleOptionMenuItem plain = *item;
        plain.checkType = QStyleOptionMenuItem::NotCheckable;
        plain.checked = false;
        plain.menuHasCheckableItems = false;
        QProxyStyle::drawControl(element, &plain, painter, widget);
        if (!item->checked)
            return;
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        // On the highlighted row the accent is the background: the tick takes the row's text colour.
        const QColor color = item->state & State_Selected ? item->palette.color(QPalette::HighlightedText)
                                                          : WindowColors::accent(item->palette);
        const QPixmap tick = symbolPixmap(QStringLiteral("checkmark"), color, checkmarkSize, ratio);
        const QRect rect(item->rect.right() - rowPaddingX - checkmarkSize,
                         item->rect.center().y() - checkmarkSize / 2, checkmarkSize, checkmarkSize);
        painter->drawPixmap(rect, tick);
    }

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override
    {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (type != CT_MenuItem || !item || item->menuItemType == QStyleOptionMenuItem::Separator)
            return QProxyStyle::sizeFromContents(type, option, size, widget);
        QStyleOptionMenuItem plain = *item;
        plain.checkType = QStyleOptionMenuItem::NotCheckable;
        plain.menuHasCheckableItems = false;
        QSize result = QProxyStyle::sizeFromContents(type, &plain, size, widget);
        // Room for a flexible gap of at least 8 and the tick, and the row's own padding.
        result.rwidth() += spacing + checkmarkSize + rowPaddingX;
        result.setHeight(std::max(result.height(), item->fontMetrics.height() + 2 * rowPaddingY));
        return result;
    }
};

} // namespace

FlatPicker::FlatPicker(QWidget* parent)
    : QAbstractButton(parent)
    , m_menu(new QMenu(this))
{
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    auto* style = new PickerMenuStyle;
    style->setParent(m_menu);
    m_menu->setStyle(style);
    m_menu->setContentsMargins(8, 8, 8, 8);
    // A press on the button while the menu is open only closes the menu.
    m_menu->setNoReplayFor(this);
    connect(this, &QAbstractButton::clicked, this, [this] { setExpanded(!isExpanded()); });
    connect(m_menu, &QMenu::aboutToHide, this, [this] { update(); });
}

void FlatPicker::setRows(const QStringList& titles)
{
    m_rows = titles;
    m_menu->clear();
    delete m_group;
    auto* group = new QActionGroup(m_menu);
    group->setExclusive(true);
    m_group = group;
    for (int row = 0; row < titles.size(); ++row) {
        QAction* action = m_menu->addAction(titles[row]);
        action->setCheckable(true);
        action->setChecked(row == m_currentRow);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, row] {
            m_menu->close(); // however the row was chosen
            emit rowPicked(row);
        });
    }
    updateGeometry();
}

void FlatPicker::setCurrent(int row, const QString& title)
{
    m_currentRow = row;
    m_title = title;
    const QList<QAction*> actions = m_menu->actions();
    for (int i = 0; i < actions.size(); ++i)
        actions[i]->setChecked(i == row);
    setAccessibleName(title);
    updateGeometry();
    update();
}

void FlatPicker::setMaxWidth(std::optional<int> width)
{
    m_maxWidth = width;
    setMaximumWidth(width.value_or(QWIDGETSIZE_MAX));
    updateGeometry();
}

bool FlatPicker::isExpanded() const
{
    return m_menu->isVisible();
}

void FlatPicker::setExpanded(bool expanded)
{
    if (expanded == isExpanded())
        return;
    if (expanded)
        openMenu();
    else
        m_menu->close();
}

void FlatPicker::openMenu()
{
    if (!isEnabled())
        return;
    // Under the button, its leading edges aligned; as wide as the button at least.
    m_menu->setMinimumWidth(width());
    m_menu->popup(mapToGlobal(QPoint(0, height() + 4)));
    const QList<QAction*> actions = m_menu->actions();
    if (m_currentRow >= 0 && m_currentRow < actions.size())
        m_menu->setActiveAction(actions[m_currentRow]);
    else if (!actions.isEmpty())
        m_menu->setActiveAction(actions.first());
    update();
}

int FlatPicker::titleWidth() const
{
    // Whole pixels, rounded up: a title given the rounded-down width would be cut.
    return int(std::ceil(QFontMetricsF(font()).horizontalAdvance(m_title)));
}

QSize FlatPicker::contentSize() const
{
    const QFontMetrics metrics(font());
    const int width = paddingX + titleWidth() + spacing + chevronSize + paddingX;
    const int height = paddingY + std::max(metrics.height(), chevronSize) + paddingY;
    return {width, height};
}

QSize FlatPicker::sizeHint() const
{
    QSize size = contentSize();
    if (m_maxWidth)
        size.setWidth(std::min(size.width(), *m_maxWidth));
    return size;
}

QSize FlatPicker::minimumSizeHint() const
{
    return {paddingX + spacing + chevronSize + paddingX, contentSize().height()};
}

void FlatPicker::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
    QColor primary = palette().color(group, QPalette::ButtonText);
    QColor tint = palette().color(QPalette::Active, QPalette::WindowText);
    tint.setAlphaF(isDown() || isExpanded() ? 0.14 : 0.08);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    painter.fillPath(shape, tint);
    if (hasFocus()) {
        QPainterPath ring;
        ring.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
        painter.setPen(QPen(WindowColors::accent(palette()), 1));
        painter.drawPath(ring);
    }

    const QFontMetrics metrics(font());
    const int textWidth = std::max(0, width() - 2 * paddingX - spacing - chevronSize);
    const QString text = titleWidth() <= textWidth ? m_title : metrics.elidedText(m_title, Qt::ElideRight, textWidth);
    const int shownWidth = std::min(int(std::ceil(QFontMetricsF(font()).horizontalAdvance(text))), textWidth);
    const QRect textRect(paddingX, 0, shownWidth, height());
    painter.setPen(primary);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);

    QColor secondary = primary;
    secondary.setAlphaF(primary.alphaF() * 0.55);
    const QPixmap chevron = symbolPixmap(QStringLiteral("chevron.down"), secondary, chevronSize, devicePixelRatioF());
    painter.drawPixmap(QRect(textRect.right() + 1 + spacing, (height() - chevronSize) / 2, chevronSize, chevronSize), chevron);
}

void FlatPicker::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Down:
    case Qt::Key_Up:
        if (!event->isAutoRepeat())
            setExpanded(true);
        event->accept();
        return;
    default:
        QAbstractButton::keyPressEvent(event);
    }
}

void FlatPicker::changeEvent(QEvent* event)
{
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateGeometry();
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        m_menu->close();
}

} // namespace quillora
