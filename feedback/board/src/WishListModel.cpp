#include "feedback/board/WishListModel.h"

#include "feedback/Plendra.h"
#include "feedback/board/BoardStyle.h"
#include "feedback/board/WishVoting.h"

#include <QAbstractScrollArea>
#include <QPainter>

#include <algorithm>

namespace plendra {

WishListModel::WishListModel(QObject* parent)
    : QAbstractListModel(parent)
{
}

void WishListModel::setWishes(const QList<WishResponse>& wishes, const QList<WishResponse>& everything)
{
    const bool sameRows = std::equal(wishes.begin(), wishes.end(), m_wishes.begin(), m_wishes.end(),
                                     [](const WishResponse& a, const WishResponse& b) { return a.id == b.id; });
    if (sameRows) {
        m_wishes = wishes;
        if (!m_wishes.isEmpty())
            emit dataChanged(index(0), index(int(m_wishes.size()) - 1));
    } else {
        beginResetModel();
        m_wishes = wishes;
        m_rows.clear();
        m_rows.reserve(m_wishes.size());
        for (int row = 0; row < m_wishes.size(); ++row)
            m_rows.insert(m_wishes[row].id, row);
        endResetModel();
    }
    if (m_votings.isEmpty())
        return;
    QHash<QUuid, const WishResponse*> newest;
    newest.reserve(everything.size());
    for (const WishResponse& wish : everything)
        newest.insert(wish.id, &wish);
    for (auto it = m_votings.cbegin(); it != m_votings.cend(); ++it) {
        if (const WishResponse* fresh = newest.value(it.key()))
            it.value()->update(*fresh);
    }
}

int WishListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_wishes.size());
}

QVariant WishListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_wishes.size())
        return {};
    const WishResponse& wish = m_wishes[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return wish.title;
    case Qt::AccessibleDescriptionRole:
        return wish.description;
    default:
        return {};
    }
}

WishVoting* WishListModel::voting(int row) const
{
    return m_votings.value(m_wishes.at(row).id);
}

WishVoting& WishListModel::votingFor(int row)
{
    const QUuid id = m_wishes.at(row).id;
    if (WishVoting* existing = m_votings.value(id))
        return *existing;
    auto* voting = new WishVoting(m_wishes[row], [this] {
        if (m_voteActionCompletion)
            m_voteActionCompletion();
    }, this);
    voting->setAlertParent(m_alertParent);
    connect(voting, &WishVoting::changed, this, [this, id] {
        const int shown = rowOf(id);
        if (shown >= 0)
            emit dataChanged(index(shown), index(shown));
    });
    m_votings.insert(id, voting);
    return *voting;
}

WishRowDelegate::WishRowDelegate(const WishListModel& model, QWidget* view)
    : QAbstractItemDelegate(view)
    , m_model(model)
    , m_view(view)
{
}

QRectF WishRowDelegate::cardRect(const QRect& rowRect)
{
    return QRectF(rowRect).adjusted(rowPadding, rowPadding, -rowPadding, -rowPadding);
}

QRectF WishRowDelegate::voteButtonRect(const QRect& rowRect, int row) const
{
    const WishResponse& wish = m_model.wish(row);
    return WishCardGeometry::place(WishCardLook::of(wish, m_model.voting(row)), WishViewKind::list, cardRect(rowRect),
                                   Plendra::config())
        .voteButton;
}

void WishRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const WishResponse& wish = m_model.wish(index.row());
    const QPalette& palette = m_view->palette();
    const Appearance appearance = appearanceOf(palette);
    const QRectF card = cardRect(option.rect);
    paintWishCard(*painter, WishCardLook::of(wish, m_model.voting(index.row())), WishViewKind::list, card,
                  Plendra::config(), Plendra::theme(), appearance, palette.color(QPalette::WindowText));
    if (option.state & QStyle::State_HasFocus && m_view->property("showsFocus").toBool()) {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(palette.color(QPalette::Highlight), 2));
        painter->setBrush(Qt::NoBrush);
        const qreal radius = Plendra::config().cornerRadius;
        painter->drawRoundedRect(card.adjusted(-1, -1, 1, 1), radius + 1, radius + 1);
        painter->restore();
    }
}

QSize WishRowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const
{
    const auto* scrollArea = qobject_cast<const QAbstractScrollArea*>(m_view);
    const int width = scrollArea ? scrollArea->viewport()->width() : m_view->width();
    const WishResponse& wish = m_model.wish(index.row());
    const Configuration config = Plendra::config();
    // Rows of one line each are all alike; wrapping rows are measured once per text and width.
    const bool wraps = config.expandDescriptionInList;
    if (wraps) {
        const auto found = m_heights.constFind(wish.id);
        if (found != m_heights.cend() && found->width == width && found->title == wish.title
            && found->description == wish.description)
            return {width, found->height};
    }
    const qreal card = WishCardGeometry::height(WishCardLook::of(wish, m_model.voting(index.row())), WishViewKind::list,
                                                width - 2 * rowPadding, config);
    const int height = qCeil(card) + 2 * rowPadding;
    if (wraps)
        m_heights.insert(wish.id, {width, wish.title, wish.description, height});
    return {width, height};
}

} // namespace plendra
