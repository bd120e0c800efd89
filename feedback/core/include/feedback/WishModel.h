#pragma once

#include "feedback/Api.h"
#include "feedback/Records.h"

#include <QList>
#include <QObject>
#include <QUuid>

#include <functional>
#include <optional>

namespace plendra {

// The requests of one list sorted by votes, most first (stable: equal counts keep the service's
// order), and split by state into the board's groups.
struct WishLists {
    QList<WishResponse> all; // the five groups together, sorted again by votes
    QList<WishResponse> pendingList; // pending, created by this installation's user
    QList<WishResponse> inReviewList; // inReview or approved
    QList<WishResponse> plannedList;
    QList<WishResponse> inProgressList;
    QList<WishResponse> completedList; // completed or implemented

    // Rejected requests and other users' pending ones are in no list.
    static WishLists partition(QList<WishResponse> list, const QUuid& currentUser);
};

// The board's requests: fetches the list and publishes it split by state.
//
// Fetches may overlap; a reply never replaces the result of a fetch started after its own, so
// the lists always show the newest answer. A failed fetch keeps the lists as they were and keeps
// its reason in lastFailure() until a later fetch succeeds.
class WishModel : public QObject {
    Q_OBJECT
public:
    // Fetches through Api::shared().
    explicit WishModel(QObject* parent = nullptr);
    explicit WishModel(Api api, QObject* parent = nullptr);

    const QList<WishResponse>& all() const { return m_lists.all; }
    const QList<WishResponse>& pendingList() const { return m_lists.pendingList; }
    const QList<WishResponse>& inReviewList() const { return m_lists.inReviewList; }
    const QList<WishResponse>& plannedList() const { return m_lists.plannedList; }
    const QList<WishResponse>& inProgressList() const { return m_lists.inProgressList; }
    const QList<WishResponse>& completedList() const { return m_lists.completedList; }
    // The service's flag from the last list applied.
    bool shouldShowWatermark() const { return m_shouldShowWatermark; }
    // While any fetch is under way.
    bool isLoading() const { return m_fetchesRunning > 0; }
    // Once the first fetch has ended, whatever its outcome.
    bool hasFetched() const { return m_hasFetched; }
    // Why the newest fetch that ended failed; nothing after a success.
    const std::optional<ApiError>& lastFailure() const { return m_lastFailure; }

    // Asks the service for the list. `completion` runs once the fetch has ended, after its result
    // is applied (or dropped as outdated); it is dropped with the model.
    void fetchList(std::function<void()> completion = {});

signals:
    void listsChanged();
    void shouldShowWatermarkChanged();
    void isLoadingChanged();
    void hasFetchedChanged();
    void lastFailureChanged();

private:
    void finish(quint64 fetch, const ApiResult<ListWishResponse>& result, const std::function<void()>& completion);

    Api m_api;
    WishLists m_lists;
    bool m_shouldShowWatermark = false;
    bool m_hasFetched = false;
    std::optional<ApiError> m_lastFailure;
    int m_fetchesRunning = 0;
    quint64 m_fetchesStarted = 0;
    quint64 m_newestApplied = 0;
};

} // namespace plendra
