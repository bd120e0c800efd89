#pragma once

#include "feedback/Records.h"
#include "feedback/board/WishCard.h"

#include <QAbstractItemDelegate>
#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QUuid>

#include <functional>

namespace plendra {

class WishVoting;

// The rows of the request list, keyed by request id. The vote state of a row lives here, by id,
// from the row's first vote on: a newer list updates it in place, a filter switch or a refetch
// leaves a vote in flight running, and the row shows it again whenever the request is listed.
class WishListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit WishListModel(QObject* parent = nullptr);

    // The rows to show. `everything` is the whole newest list, for the vote states of requests
    // that are not shown.
    void setWishes(const QList<WishResponse>& wishes, const QList<WishResponse>& everything);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    const WishResponse& wish(int row) const { return m_wishes.at(row); }
    int rowOf(const QUuid& id) const { return m_rows.value(id, -1); }
    // The row's vote state, or nothing while nobody voted on it.
    WishVoting* voting(int row) const;
    // The row's vote state, made on first use.
    WishVoting& votingFor(int row);

    // What runs after a successful vote, and where vote alerts open.
    void setVoteActionCompletion(std::function<void()> completion) { m_voteActionCompletion = std::move(completion); }
    void setAlertParent(QWidget* parent) { m_alertParent = parent; }

private:
    QList<WishResponse> m_wishes;
    QHash<QUuid, int> m_rows;
    QHash<QUuid, WishVoting*> m_votings;
    std::function<void()> m_voteActionCompletion;
    QPointer<QWidget> m_alertParent;
};

// Paints the rows of a WishListModel as request cards, 5 pixels apart from every edge.
class WishRowDelegate : public QAbstractItemDelegate {
    Q_OBJECT
public:
    static constexpr int rowPadding = 5;

    WishRowDelegate(const WishListModel& model, QWidget* view);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The card and its vote button of a row drawn in `rowRect`.
    static QRectF cardRect(const QRect& rowRect);
    QRectF voteButtonRect(const QRect& rowRect, int row) const;

private:
    // Heights of rows whose texts wrap, by request, for the texts and width they were measured at.
    struct MeasuredHeight {
        int width;
        QString title;
        QString description;
        int height;
    };

    const WishListModel& m_model;
    QWidget* m_view;
    mutable QHash<QUuid, MeasuredHeight> m_heights;
};

} // namespace plendra
